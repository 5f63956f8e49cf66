#include "alloc/CountingAllocator.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

namespace {

// A document that reaches most of what expat allocates for: a document type
// declaration with internal entities and default attributes, namespace
// prefixes, character references, CDATA, comments, processing instructions
// and mixed content.
const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE inv:inventory [\n"
    "  <!ENTITY company \"Northwind Traders and Sons, Incorporated\">\n"
    "  <!ENTITY notice \"&#169; &company;\">\n"
    "  <!ATTLIST inv:item status CDATA \"in-stock-unless-stated-otherwise\">\n"
    "  <!ATTLIST inv:note xml:lang CDATA \"en\">\n"
    "]>\n"
    "<!-- weekly stock list -->\n"
    "<inv:inventory xmlns:inv=\"urn:example:inventory\" generated=\"2024-01-01T00:00:00Z\">\n"
    "  <inv:owner>&notice;</inv:owner>\n"
    "  <inv:item sku=\"A-100\" qty=\"12\">Widget <b>bold</b> and <i>more</i> text</inv:item>\n"
    "  <inv:item sku=\"B-200\" status=\"back-ordered\"><![CDATA[<raw> & unescaped]]></inv:item>\n"
    "  <?render compact?>\n"
    "  <inv:note>  Mixed &amp; matched &#x41;&#66; text  <!-- inline --> continues </inv:note>\n"
    "</inv:inventory>\n";

const char kExpectedDump[] =
    "inv:inventory[xmlns:inv=\"urn:example:inventory\" generated=\"2024-01-01T00:00:00Z\"]"
    "{inv:owner=\"\\xC2\\xA9 Northwind Traders and Sons, Incorporated\" "
    "inv:item[sku=\"A-100\" qty=\"12\" status=\"in-stock-unless-stated-otherwise\"]"
    "=\"Widgetandtext\"{b=\"bold\" i=\"more\"} "
    "inv:item[sku=\"B-200\" status=\"back-ordered\"]=\"<raw> & unescaped\" "
    "inv:note[xml:lang=\"en\"]=\"Mixed & matched AB text   continues\"}";

// Three pieces, cut inside the document type declaration and inside an
// element name.
std::vector<std::string> Pieces() {
    const std::string text = kDocument;
    const std::size_t first = text.find("Traders");
    const std::size_t second = text.find("item sku=\"B-200\"") + 3;
    return {text.substr(0, first), text.substr(first, second - first), text.substr(second)};
}

struct ParseOutcome {
    bool injected;
    bool parsed;
};

// Parses the pieces with the k-th allocation failing and checks the
// outcome: every call answers 1 or 0, and either the parse failed and no
// tree is left, or the tree is complete and exact. Nothing may be leaked.
ParseOutcome ParseFailingAt(std::uint64_t failAt, const std::vector<std::string>& pieces) {
    CountingAllocator::StartScenario(failAt);
    KivoParserHandle parser = CallArmed([] { return nkCreateKivoParser(); });
    bool parsed = parser != nullptr;
    for (std::size_t i = 0; i < pieces.size() && parser != nullptr; ++i) {
        const std::string& piece = pieces[i];
        const bool isFinal = i + 1 == pieces.size();
        const int result = CallArmed([&] {
            return nkParserKivoBuffer(parser, piece.data(), static_cast<int>(piece.size()),
                                      isFinal ? 1 : 0);
        });
        EXPECT_TRUE(result == 0 || result == 1) << "k=" << failAt << " piece " << i;
        if (!parsed) {
            EXPECT_EQ(result, 0) << "k=" << failAt << ": piece " << i
                                 << " accepted after a failed piece";
        }
        parsed = parsed && result == 1;
    }
    KivoTagHandle tree = CallArmed([parser] { return nkGetParserKivo(parser, 1); });
    CallArmed([parser] {
        nkDeleteKivoParser(parser);
        return true;
    });
    const bool injected = CountingAllocator::Injected() != 0;
    if (parsed) {
        EXPECT_EQ(DumpTree(tree), kExpectedDump) << "k=" << failAt;
    } else {
        EXPECT_EQ(tree, nullptr) << "k=" << failAt;
        EXPECT_TRUE(injected) << "k=" << failAt << ": failed without an allocation failure";
    }
    nkDeleteKivoTag(tree);
    EXPECT_EQ(CountingAllocator::LiveCount(), 0u)
        << "k=" << failAt << ": " << CountingAllocator::LiveBytes() << " bytes leaked";
    return {injected, parsed};
}

TEST(AllocationFailure, EveryAllocationOfAThreePieceParseFailsCleanly) {
    const std::vector<std::string> pieces = Pieces();
    std::uint64_t failAt = 1;
    int absorbed = 0;
    for (;; ++failAt) {
        const ParseOutcome outcome = ParseFailingAt(failAt, pieces);
        if (!outcome.injected || HasFailure()) {
            break;
        }
        // expat recovers from a few failures on its own (an optional
        // buffer it can do without); the tree must still be exact.
        absorbed += outcome.parsed ? 1 : 0;
    }
    ASSERT_FALSE(HasFailure()) << "stopped at k=" << failAt;
    const std::uint64_t points = CountingAllocator::Counted();
    EXPECT_EQ(points, failAt - 1);
    EXPECT_GT(points, 30u) << "the parse no longer reaches the allocations it was made for";
    std::cout << "[ sweep    ] three-piece parse: " << points << " allocation points, " << absorbed
              << " absorbed without failing the parse\n";
    RecordProperty("allocation_points", static_cast<int>(points));
    RecordProperty("absorbed", absorbed);
}

TEST(AllocationFailure, TheSweptDocumentParsesToTheExpectedTree) {
    // Without any failure, one piece and three pieces give the same tree.
    const std::vector<std::string> pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0] + pieces[1] + pieces[2], kDocument);
    EXPECT_TRUE(ParseFailingAt(0, pieces).parsed);
    EXPECT_TRUE(ParseFailingAt(0, {kDocument}).parsed);
}

} // namespace
