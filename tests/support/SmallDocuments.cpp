#include "support/SmallDocuments.h"

#include "support/ParseInPieces.h"

#include <string>

namespace {

using namespace std::string_literals;

std::vector<SmallDocument> WhiteSpaceCases() {
    return {
        {"a run of only tab, LF, CR and space gives no value", "<a> \t\r\n \r\n\t </a>", "a"},
        {"tab, LF, CR and space are trimmed at both ends", "<a>\t\n\r x \t\n\r</a>", R"(a="x")"},
        {"white space inside a run stays", "<a> x \t y </a>", R"(a="x \x09 y")"},
        {"a CR inside a run arrives as LF", "<a>x\r\ny\rz</a>", R"(a="x\x0Ay\x0Az")"},
        {"a no-break space is not trimmed", "<a>\xC2\xA0x\xC2\xA0</a>", R"(a="\xC2\xA0x\xC2\xA0")"},
        {"ideographic space and NEL are not trimmed", "<a>\xE3\x80\x80x&#x85;</a>",
         R"(a="\xE3\x80\x80x\xC2\x85")"},
        {"a space reference at either end is trimmed", "<a>&#32;x&#x20;</a>", R"(a="x")"},
        {"tab, LF and CR references are trimmed", "<a>&#9;&#10;&#13;x&#13;</a>", R"(a="x")"},
        {"a CR reference inside a run stays a CR", "<a>x&#13;y</a>", R"(a="x\x0Dy")"},
        {"a vertical tab never reaches a value", "<a>\v</a>", kRefused},
        {"a form feed reference never reaches a value", "<a>&#12;</a>", kRefused},
    };
}

std::vector<SmallDocument> RunCases() {
    return {
        {"runs around an empty child are joined", "<a> x <b/> y </a>", R"(a="xy"{b})"},
        {"runs around a blank child are joined", "<a> x <b> </b> y </a>", R"(a="xy"{b})"},
        {"each element keeps its own runs", "<a>1<b>2<c>3</c>4</b>5</a>",
         R"(a="15"{b="24"{c="3"}})"},
        {"indentation between children adds nothing", "<a>\n  <b>1</b>\n  <c>2</c>\n</a>",
         R"(a{b="1" c="2"})"},
        {"a comment does not end a run", "<a> x <!-- c --> y </a>", R"(a="x  y")"},
        {"a processing instruction does not end a run", "<a> x <?p d?> y </a>", R"(a="x  y")"},
        {"CDATA joins the run it stands in", "<a> p <![CDATA[ <b>&amp; ]]> q </a>",
         R"(a="p  <b>&amp;  q")"},
        {"white space from CDATA is trimmed like text", "<a><![CDATA[ \t ]]>x<![CDATA[\n]]></a>",
         R"(a="x")"},
        {"predefined entities are replaced", "<a>&lt;&gt;&amp;&apos;&quot;</a>", R"(a="<>&'\x22")"},
        {"internal entity text is trimmed as part of its run",
         "<!DOCTYPE a [<!ENTITY e ' sp '>]><a>&e;|&e;</a>", R"(a="sp | sp")"},
        {"an entity holding an element ends the run",
         "<!DOCTYPE a [<!ENTITY e '<b>in</b>'>]><a>x &e; y</a>", R"(a="xy"{b="in"})"},
    };
}

std::vector<SmallDocument> AttributeCases() {
    return {
        {"attributes keep document order", "<a z='1' y='2' x='3'/>", R"(a[z="1" y="2" x="3"])"},
        {"DTD defaults follow the written attributes",
         "<!DOCTYPE a [<!ATTLIST a d CDATA 'dv' z CDATA 'zd' f CDATA #FIXED 'fx'"
         " i CDATA #IMPLIED>]><a z='1' y='2'/>",
         R"(a[z="1" y="2" d="dv" f="fx"])"},
        {"a default fills only the elements that omit it",
         "<!DOCTYPE r [<!ATTLIST b k CDATA 'v'>]><r><b/><b k='w'/></r>", R"(r{b[k="v"] b[k="w"]})"},
        {"attribute values are normalized, not trimmed", "<a v=' x&#10;y\tz ' e=''/>",
         R"(a[v=" x\x0Ay z " e=""])"},
        {"references in attribute values are replaced", "<a v='&lt;&amp;&#x41;&quot;'/>",
         R"(a[v="<&A\x22"])"},
        {"a declared token list is collapsed",
         "<!DOCTYPE a [<!ATTLIST a t NMTOKENS #IMPLIED>]><a t='  x   y  '/>", R"(a[t="x y"])"},
    };
}

std::vector<SmallDocument> NameCases() {
    return {
        {"prefixed names and namespace declarations are kept whole",
         "<p:a xmlns:p='urn:p' p:x='1'><p:b xmlns='urn:d'/></p:a>",
         R"(p:a[xmlns:p="urn:p" p:x="1"]{p:b[xmlns="urn:d"]})"},
        {"an undeclared prefix is just part of the name", "<q:a q:b='1'/>", R"(q:a[q:b="1"])"},
        {"multi-byte names and values are stored as UTF-8",
         "<\xC3\xA4 \xC3\xB6='\xC3\xBC'>\xE2\x82\xAC</\xC3\xA4>",
         R"(\xC3\xA4[\xC3\xB6="\xC3\xBC"]="\xE2\x82\xAC")"},
        {"xml:space does not stop trimming", "<a xml:space='preserve'> x </a>",
         R"(a[xml:space="preserve"]="x")"},
        {"siblings keep document order", "<r><a/><b/><c/></r>", "r{a b c}"},
    };
}

std::vector<SmallDocument> OutsideCases() {
    return {
        {"text outside the document element adds nothing",
         "<?xml version='1.0'?>\n<!-- c -->\n<?pi x?>\n<a>x</a>\n<!-- t -->\n", R"(a="x")"},
        {"a byte order mark is not text", "\xEF\xBB\xBF<a>x</a>", R"(a="x")"},
        {"Latin-1 text is delivered as UTF-8",
         "<?xml version='1.0' encoding='ISO-8859-1'?><a \xE9='\xE8'>\xE9</a>",
         R"(a[\xC3\xA9="\xC3\xA8"]="\xC3\xA9")"},
        {"UTF-16 text is delivered as UTF-8", "\xFF\xFE<\0a\0>\0\xE9\0<\0/\0a\0>\0"s,
         R"(a="\xC3\xA9")"},
    };
}

std::vector<SmallDocument> RefusedCases() {
    return {
        {"an empty document", "", kRefused},
        {"text without an element", "x", kRefused},
        {"an element left open", "<a><b/>", kRefused},
        {"a mismatched end tag", "<a></b>", kRefused},
        {"a second document element", "<a/><b/>", kRefused},
        {"a repeated attribute", "<a x='1' x='2'/>", kRefused},
        {"an undeclared entity", "<a>&u;</a>", kRefused},
        {"a byte that is not UTF-8", "<a>\xFF</a>", kRefused},
    };
}

std::vector<SmallDocument> AllCases() {
    std::vector<SmallDocument> all;
    for (auto group : {WhiteSpaceCases(), RunCases(), AttributeCases(), NameCases(), OutsideCases(),
                       RefusedCases()}) {
        all.insert(all.end(), group.begin(), group.end());
    }
    return all;
}

} // namespace

const std::vector<SmallDocument>& SmallDocuments() {
    static const std::vector<SmallDocument> documents = AllCases();
    return documents;
}
