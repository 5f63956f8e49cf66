#include "nkKivo.h"
#include "support/ParseInPieces.h"
#include "support/SmallDocuments.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ParseTable, EachSmallDocumentGivesItsTreeInOnePiece) {
    for (const SmallDocument& document : SmallDocuments()) {
        SCOPED_TRACE(document.label);
        const OwnedTree tree = ParseInPieces(document.text);
        EXPECT_EQ(tree == nullptr ? std::string(kRefused) : DumpTree(tree.get()),
                  document.expected);
        if (tree != nullptr) {
            EXPECT_EQ(CheckInvariants(tree.get()), "");
        }
    }
}

// The dump cannot tell an empty value from a missing one, nor show that the
// strings stop where they should, so the parsed tags are also read directly.
TEST(ParseTable, ParsedTagsAnswerThroughEveryGetter) {
    const OwnedTree tree = ParseInPieces("<r k='v' e=''> t <c/><c>u</c></r>");
    ASSERT_NE(tree, nullptr);
    KivoTagHandle root = tree.get();
    EXPECT_STREQ(nkGetKivoTagName(root), "r");
    EXPECT_STREQ(nkGetKivoTagValue(root), "t");
    EXPECT_STREQ(nkGetKivoTagAttr(root, "k"), "v");
    EXPECT_STREQ(nkGetKivoTagAttr(root, "e"), "");
    EXPECT_EQ(nkGetKivoTagAttr(root, "K"), nullptr);
    EXPECT_EQ(nkGetKivoTagParentTag(root), nullptr);
    ASSERT_EQ(nkGetKivoTagSubTagCount(root), 2);
    KivoTagHandle empty = nkGetKivoTagSubTag(root, 0, 0);
    EXPECT_STREQ(nkGetKivoTagValue(empty), "");
    EXPECT_EQ(nkGetKivoTagAttrCount(empty), 0);
    EXPECT_EQ(nkGetKivoTagParentTag(empty), root);
    EXPECT_STREQ(nkGetKivoTagValue(nkGetKivoTagSubTag(root, 1, 0)), "u");
}

// A parsed tree is an ordinary tree: the host edits and moves its tags like
// ones it built by hand.
TEST(ParseTable, ParsedTreesCanBeEditedAndMoved) {
    const OwnedTree tree = ParseInPieces("<r><a x='1'>t</a><b/></r>");
    ASSERT_NE(tree, nullptr);
    KivoTagHandle a = nkGetKivoTagSubTag(tree.get(), 0, 0);
    KivoTagHandle b = nkGetKivoTagSubTag(tree.get(), 1, 0);
    EXPECT_EQ(nkSetKivoTagAttr(a, "x", "2"), 1);
    EXPECT_EQ(nkSetKivoTagValue(a, "new"), 1);
    EXPECT_EQ(nkAddKivoTagSubTag(b, 0, a), a);
    EXPECT_EQ(nkAddKivoTagSubTag(a, 0, tree.get()), nullptr);
    EXPECT_EQ(DumpTree(tree.get()), R"(r{b{a[x="2"]="new"}})");
    EXPECT_EQ(CheckInvariants(tree.get()), "");
}
