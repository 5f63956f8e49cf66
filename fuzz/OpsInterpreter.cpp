#include "OpsInterpreter.h"

#include "FuzzCheck.h"
#include "support/TreeDump.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

namespace {

// Bounds that keep one input fast: a program runs at most this many steps,
// and cloning stops once the trees hold this many tags (repeated cloning of
// a tree into itself doubles it each time).
constexpr std::size_t kMaxSteps = 512;
constexpr std::size_t kCloneLimit = 300;

// Names and values worth colliding on, plus the two null-ish ones.
const char* const kWords[] = {nullptr, "", "a", "b", "A", "id", "x:y", "a b", "\xC3\xA9", " "};

// Pieces of XML that assemble into documents, broken ones included.
const char* const kXmlPieces[] = {"<a>",
                                  "</a>",
                                  "<b>",
                                  "</b>",
                                  "<c/>",
                                  "<a x='1' y=\"2\">",
                                  "<b x='1' x='2'>",
                                  "text",
                                  " t ",
                                  "  ",
                                  "\n",
                                  "&amp;",
                                  "&#32;",
                                  "&#x20;",
                                  "<![CDATA[ cd ]]>",
                                  "<!-- note -->",
                                  "<?pi data?>",
                                  "<?xml version='1.0'?>",
                                  "<!DOCTYPE a [<!ENTITY e 'ent'><!ATTLIST a d CDATA 'def'>]>",
                                  "&e;",
                                  "<x:y xmlns:x='u'>",
                                  "</x:y>",
                                  "\xC3\xA9",
                                  "\xC3",
                                  "<",
                                  ">",
                                  "</",
                                  "=",
                                  "'",
                                  "&",
                                  "]]>"};

std::vector<KivoTagHandle> ChildrenOf(KivoTagHandle tag) {
    std::vector<KivoTagHandle> children;
    const int count = nkGetKivoTagSubTagCount(tag);
    for (int i = 0; i < count; ++i) {
        children.push_back(nkGetKivoTagSubTag(tag, i, 0));
    }
    return children;
}

std::vector<std::string> AttrNamesOf(KivoTagHandle tag) {
    std::vector<std::string> names;
    const int count = nkGetKivoTagAttrCount(tag);
    for (int i = 0; i < count; ++i) {
        names.emplace_back(nkGetKivoTagAttrName(tag, i));
    }
    return names;
}

int PositionOfAttr(KivoTagHandle tag, const char* name) {
    const int count = nkGetKivoTagAttrCount(tag);
    for (int i = 0; name != nullptr && i < count; ++i) {
        if (std::strcmp(nkGetKivoTagAttrName(tag, i), name) == 0) {
            return i;
        }
    }
    return -1;
}

bool IsAncestorOrSelf(KivoTagHandle candidate, KivoTagHandle tag) {
    for (KivoTagHandle walk = tag; walk != nullptr; walk = nkGetKivoTagParentTag(walk)) {
        if (walk == candidate) {
            return true;
        }
    }
    return false;
}

bool Contains(const std::vector<KivoTagHandle>& tags, KivoTagHandle tag) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

} // namespace

void OpsInterpreter::Run() {
    for (std::size_t step = 0; step < kMaxSteps && !reader_.Empty(); ++step) {
        Step();
        model_.Refresh();
    }
}

void OpsInterpreter::Step() {
    using Operation = void (OpsInterpreter::*)();
    static const Operation kOperations[] = {
        &OpsInterpreter::CreateParser,  &OpsInterpreter::DeleteParser,
        &OpsInterpreter::ParseBuffer,   &OpsInterpreter::GetParserTree,
        &OpsInterpreter::CreateTag,     &OpsInterpreter::DeleteTag,
        &OpsInterpreter::ReadName,      &OpsInterpreter::SetName,
        &OpsInterpreter::ReadValue,     &OpsInterpreter::SetValue,
        &OpsInterpreter::ReadAttrCount, &OpsInterpreter::ReadAttrAt,
        &OpsInterpreter::FindAttr,      &OpsInterpreter::SetAttr,
        &OpsInterpreter::DelAttr,       &OpsInterpreter::ClearAttrs,
        &OpsInterpreter::ReadParent,    &OpsInterpreter::ReadSubTagCount,
        &OpsInterpreter::GetSubTag,     &OpsInterpreter::AddSubTag,
        &OpsInterpreter::DelSubTag,     &OpsInterpreter::ClearSubTags,
        &OpsInterpreter::CloneTag};
    (this->*kOperations[reader_.Below(std::size(kOperations))])();
}

int OpsInterpreter::Flag() {
    static const int kFlags[] = {0, 1, 2, -1};
    return kFlags[reader_.Below(std::size(kFlags))];
}

int OpsInterpreter::Index(int count) {
    const int choices[] = {0, 1, 2, 3, -1, count - 1, count, count + 1, INT_MIN, INT_MAX};
    return choices[reader_.Below(std::size(choices))];
}

OpsInterpreter::Text OpsInterpreter::ReadText() {
    const std::uint8_t choice = reader_.Byte();
    if (choice < 0x80) {
        const char* word = kWords[choice % std::size(kWords)];
        return word != nullptr ? Text(word) : std::nullopt;
    }
    // Raw bytes, cut at an embedded NUL as the C string handed over would be.
    std::string raw = reader_.Bytes(choice % 8U);
    raw.resize(std::strlen(raw.c_str()));
    return raw;
}

std::string OpsInterpreter::ReadDocumentPiece() {
    std::string piece;
    const std::size_t count = 1 + reader_.Below(6);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t choice = reader_.Byte();
        if (choice < 0xE0) {
            piece += kXmlPieces[choice % std::size(kXmlPieces)];
        } else {
            piece += reader_.Bytes(choice % 16U);
        }
    }
    return piece;
}

void OpsInterpreter::CreateParser() {
    const std::size_t slot = Slot();
    KivoParserHandle parser = nkCreateKivoParser();
    Require(parser != nullptr, "no parser");
    Require(nkGetParserKivo(parser, 0) == nullptr, "a fresh parser holds a tree");
    model_.SetParser(slot, parser);
}

void OpsInterpreter::DeleteParser() {
    model_.DeleteParser(Slot());
}

void OpsInterpreter::ParseBuffer() {
    KivoParserHandle parser = model_.Parser(Slot());
    const std::size_t mode = reader_.Below(8);
    const int isFinal = reader_.Below(4) == 0 ? Flag() : 0;
    if (mode < 2) {
        // A null buffer or a negative length is refused before the parser
        // sees it, so the tree built so far survives.
        const std::string before = HostModel::Snapshot({nkGetParserKivo(parser, 0)});
        const char text[] = "<a>";
        const int result = mode == 0 ? nkParserKivoBuffer(parser, nullptr, 0, isFinal)
                                     : nkParserKivoBuffer(parser, text, -1, isFinal);
        Require(result == 0, "a null buffer or negative length is accepted");
        Require(HostModel::Snapshot({nkGetParserKivo(parser, 0)}) == before,
                "a refused buffer changed a tree");
        return;
    }
    const std::string piece = ReadDocumentPiece();
    const int result =
        nkParserKivoBuffer(parser, piece.data(), static_cast<int>(piece.size()), isFinal);
    Require(result == 0 || result == 1, "parse result is not 0 or 1");
    Require(parser != nullptr || result == 0, "a null parser parses");
    if (result == 0) {
        Require(nkGetParserKivo(parser, 0) == nullptr, "a failed parse leaves a tree");
    }
}

void OpsInterpreter::GetParserTree() {
    KivoParserHandle parser = model_.Parser(Slot());
    const int detach = Flag();
    const std::size_t slot = Slot();
    KivoTagHandle held = nkGetParserKivo(parser, 0);
    KivoTagHandle tree = nkGetParserKivo(parser, detach);
    Require(tree == held, "the parser hands out another tree");
    if (detach != 0 && tree != nullptr) {
        Require(nkGetParserKivo(parser, 0) == nullptr, "a detached tree stays in the parser");
        model_.AdoptTop(tree);
    }
    model_.SetTag(slot, tree);
}

void OpsInterpreter::CreateTag() {
    const Text name = ReadText();
    const std::size_t slot = Slot();
    KivoTagHandle tag = nkCreateKivoTag(CString(name));
    const bool refused = !name || name->empty();
    Require((tag == nullptr) == refused, "creation refuses the wrong names");
    if (tag == nullptr) {
        return;
    }
    Require(*name == nkGetKivoTagName(tag), "a new tag has another name");
    Require(nkGetKivoTagValue(tag)[0] == '\0' && nkGetKivoTagAttrCount(tag) == 0 &&
                nkGetKivoTagSubTagCount(tag) == 0 && nkGetKivoTagParentTag(tag) == nullptr,
            "a new tag is not empty");
    model_.AdoptTop(tag);
    model_.SetTag(slot, tag);
}

void OpsInterpreter::DeleteTag() {
    KivoTagHandle tag = AnyTag();
    if (model_.IsParserRoot(tag)) {
        return; // the parser owns that tree; deleting it is the host's fault
    }
    KivoTagHandle parent = nkGetKivoTagParentTag(tag);
    std::vector<KivoTagHandle> siblings = ChildrenOf(parent);
    model_.ForgetTop(tag);
    nkDeleteKivoTag(tag);
    if (parent != nullptr) {
        siblings.erase(std::find(siblings.begin(), siblings.end(), tag));
        Require(ChildrenOf(parent) == siblings, "deleting a sub tag left its parent wrong");
    }
}

void OpsInterpreter::ReadName() {
    KivoTagHandle tag = AnyTag();
    Require((nkGetKivoTagName(tag) == nullptr) == (tag == nullptr), "name null exactly for null");
}

void OpsInterpreter::SetName() {
    KivoTagHandle tag = AnyTag();
    const Text name = ReadText();
    const int result = nkSetKivoTagName(tag, CString(name));
    Require(result == (tag != nullptr ? 1 : 0), "renaming gives the wrong result");
    if (tag != nullptr) {
        Require(name.value_or("") == nkGetKivoTagName(tag), "renaming stored another name");
    }
}

void OpsInterpreter::ReadValue() {
    KivoTagHandle tag = AnyTag();
    Require((nkGetKivoTagValue(tag) == nullptr) == (tag == nullptr), "value null exactly for null");
}

void OpsInterpreter::SetValue() {
    KivoTagHandle tag = AnyTag();
    const Text value = ReadText();
    const int result = nkSetKivoTagValue(tag, CString(value));
    Require(result == (tag != nullptr ? 1 : 0), "setting the value gives the wrong result");
    if (tag != nullptr) {
        Require(value.value_or("") == nkGetKivoTagValue(tag), "the value stored differs");
    }
}

void OpsInterpreter::ReadAttrCount() {
    KivoTagHandle tag = AnyTag();
    const int count = nkGetKivoTagAttrCount(tag);
    Require(count >= 0 && (tag != nullptr || count == 0), "attribute count out of bounds");
}

void OpsInterpreter::ReadAttrAt() {
    KivoTagHandle tag = AnyTag();
    const int count = nkGetKivoTagAttrCount(tag);
    const int index = Index(count);
    const bool inside = index >= 0 && index < count;
    Require((nkGetKivoTagAttrName(tag, index) != nullptr) == inside &&
                (nkGetKivoTagAttrValue(tag, index) != nullptr) == inside,
            "attribute read answers outside the count or not inside it");
}

void OpsInterpreter::FindAttr() {
    KivoTagHandle tag = AnyTag();
    const Text name = ReadText();
    const int position = PositionOfAttr(tag, CString(name));
    const char* expected = position >= 0 ? nkGetKivoTagAttrValue(tag, position) : nullptr;
    Require(nkGetKivoTagAttr(tag, CString(name)) == expected, "lookup by name disagrees");
}

void OpsInterpreter::SetAttr() {
    KivoTagHandle tag = AnyTag();
    const Text name = ReadText();
    const Text value = ReadText();
    const std::string before = HostModel::Snapshot({tag});
    const int count = nkGetKivoTagAttrCount(tag);
    const int position = PositionOfAttr(tag, CString(name));
    const int result = nkSetKivoTagAttr(tag, CString(name), CString(value));
    if (tag == nullptr || !name || !value) {
        Require(result == 0, "setting a null attribute succeeds");
        Require(HostModel::Snapshot({tag}) == before, "a refused attribute changed a tree");
        return;
    }
    Require(result == 1, "setting an attribute fails");
    const int expectedAt = position >= 0 ? position : count;
    Require(nkGetKivoTagAttrCount(tag) == (position >= 0 ? count : count + 1),
            "setting an attribute gives the wrong count");
    Require(*name == nkGetKivoTagAttrName(tag, expectedAt) &&
                *value == nkGetKivoTagAttrValue(tag, expectedAt),
            "the attribute is not where it belongs");
}

void OpsInterpreter::DelAttr() {
    KivoTagHandle tag = AnyTag();
    const Text name = ReadText();
    const std::string before = HostModel::Snapshot({tag});
    std::vector<std::string> names = AttrNamesOf(tag);
    const int position = PositionOfAttr(tag, CString(name));
    const int result = nkDelKivoTagAttr(tag, CString(name));
    Require(result == (position >= 0 ? 1 : 0), "removing an attribute gives the wrong result");
    if (result == 0) {
        Require(HostModel::Snapshot({tag}) == before, "a refused removal changed a tree");
        return;
    }
    names.erase(names.begin() + position);
    Require(AttrNamesOf(tag) == names, "removal did not close the gap in order");
}

void OpsInterpreter::ClearAttrs() {
    KivoTagHandle tag = AnyTag();
    Require(nkClearKivoTagAttr(tag) == (tag != nullptr ? 1 : 0), "clearing gives the wrong result");
    Require(nkGetKivoTagAttrCount(tag) == 0, "clearing left attributes");
}

void OpsInterpreter::ReadParent() {
    KivoTagHandle tag = AnyTag();
    const std::size_t slot = Slot();
    KivoTagHandle parent = nkGetKivoTagParentTag(tag);
    Require(parent == nullptr || Contains(ChildrenOf(parent), tag),
            "the parent does not list the tag");
    model_.SetTag(slot, parent);
}

void OpsInterpreter::ReadSubTagCount() {
    KivoTagHandle tag = AnyTag();
    const int count = nkGetKivoTagSubTagCount(tag);
    Require(count >= 0 && (tag != nullptr || count == 0), "sub tag count out of bounds");
}

void OpsInterpreter::GetSubTag() {
    KivoTagHandle tag = AnyTag();
    std::vector<KivoTagHandle> children = ChildrenOf(tag);
    const int index = Index(static_cast<int>(children.size()));
    const int detach = Flag();
    const std::size_t slot = Slot();
    const std::string before = HostModel::Snapshot({tag});
    KivoTagHandle child = nkGetKivoTagSubTag(tag, index, detach);
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < children.size();
    Require(child == (inside ? children[static_cast<std::size_t>(index)] : nullptr),
            "the sub tag read is not the one at the index");
    if (detach != 0 && child != nullptr) {
        children.erase(children.begin() + index);
        Require(ChildrenOf(tag) == children, "detaching left the other sub tags wrong");
        Require(nkGetKivoTagParentTag(child) == nullptr, "a detached tag keeps its parent");
        model_.AdoptTop(child);
    } else {
        Require(HostModel::Snapshot({tag}) == before, "reading a sub tag changed a tree");
    }
    model_.SetTag(slot, child);
}

void OpsInterpreter::AddSubTag() {
    KivoTagHandle tag = AnyTag();
    KivoTagHandle sub = AnyTag();
    if (model_.IsParserRoot(sub)) {
        return; // the parser owns that tree; moving it is the host's fault
    }
    std::vector<KivoTagHandle> children = ChildrenOf(tag);
    const int index = Index(static_cast<int>(children.size()));
    KivoTagHandle oldParent = nkGetKivoTagParentTag(sub);
    std::vector<KivoTagHandle> oldSiblings = ChildrenOf(oldParent);
    const bool unchanged =
        tag == nullptr || sub == nullptr || Contains(children, sub) || IsAncestorOrSelf(sub, tag);
    const std::string before = HostModel::Snapshot({tag, sub});
    KivoTagHandle result = nkAddKivoTagSubTag(tag, index, sub);
    if (unchanged) {
        const bool alreadyThere = tag != nullptr && Contains(children, sub);
        Require(result == (alreadyThere ? sub : nullptr), "a refused move gives the wrong result");
        Require(HostModel::Snapshot({tag, sub}) == before, "a refused move changed a tree");
        return;
    }
    Require(result == sub && nkGetKivoTagParentTag(sub) == tag, "the move failed");
    const std::size_t position =
        std::min(static_cast<std::size_t>(static_cast<unsigned>(index)), children.size());
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(position), sub);
    Require(ChildrenOf(tag) == children, "the moved tag is not at its index");
    if (oldParent != nullptr) {
        oldSiblings.erase(std::find(oldSiblings.begin(), oldSiblings.end(), sub));
        Require(ChildrenOf(oldParent) == oldSiblings, "the former parent still lists the tag");
    }
    model_.ForgetTop(sub);
}

void OpsInterpreter::DelSubTag() {
    KivoTagHandle tag = AnyTag();
    KivoTagHandle sub = AnyTag();
    std::vector<KivoTagHandle> children = ChildrenOf(tag);
    const bool isChild = tag != nullptr && sub != nullptr && Contains(children, sub);
    const std::string before = HostModel::Snapshot({tag, sub});
    const int result = nkDelKivoTagSubTag(tag, sub);
    Require(result == (isChild ? 1 : 0), "deleting a sub tag gives the wrong result");
    if (!isChild) {
        Require(HostModel::Snapshot({tag, sub}) == before, "a refused delete changed a tree");
        return;
    }
    children.erase(std::find(children.begin(), children.end(), sub));
    Require(ChildrenOf(tag) == children, "deleting left the other sub tags wrong");
}

void OpsInterpreter::ClearSubTags() {
    KivoTagHandle tag = AnyTag();
    Require(nkClearKivoTagSubTag(tag) == (tag != nullptr ? 1 : 0),
            "clearing sub tags gives the wrong result");
    Require(nkGetKivoTagSubTagCount(tag) == 0, "clearing left sub tags");
}

void OpsInterpreter::CloneTag() {
    KivoTagHandle tag = AnyTag();
    const std::size_t slot = Slot();
    if (model_.LiveCount() > kCloneLimit) {
        return;
    }
    KivoTagHandle copy = nkCloneKivoTag(tag);
    Require((copy == nullptr) == (tag == nullptr), "cloning failed");
    if (copy == nullptr) {
        return;
    }
    model_.AdoptTop(copy);
    Require(copy != tag && nkGetKivoTagParentTag(copy) == nullptr, "the clone is not a new top");
    Require(DumpTree(copy) == DumpTree(tag), "the clone differs", DumpTree(copy));
    model_.SetTag(slot, copy);
}
