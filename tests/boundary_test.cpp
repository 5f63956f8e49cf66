#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A call of one exported function with a null first handle; the other
// arguments are real, taken from a witness tree, so that a function that
// ignored the null check would visibly touch the witness. Returns true when
// the call gave its function's null result.
struct NullCall {
    const char* function;
    bool (*call)(KivoTagHandle witness, KivoTagHandle witnessChild);
};

const NullCall kNullCalls[] = {
    {"nkDeleteKivoParser",
     [](KivoTagHandle, KivoTagHandle) {
         nkDeleteKivoParser(nullptr);
         return true;
     }},
    {"nkParserKivoBuffer",
     [](KivoTagHandle, KivoTagHandle) { return nkParserKivoBuffer(nullptr, "<a/>", 4, 1) == 0; }},
    {"nkGetParserKivo", [](KivoTagHandle, KivoTagHandle) { return !nkGetParserKivo(nullptr, 1); }},
    {"nkCreateKivoTag", [](KivoTagHandle, KivoTagHandle) { return !nkCreateKivoTag(nullptr); }},
    {"nkDeleteKivoTag",
     [](KivoTagHandle, KivoTagHandle) {
         nkDeleteKivoTag(nullptr);
         return true;
     }},
    {"nkGetKivoTagName", [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagName(nullptr); }},
    {"nkSetKivoTagName",
     [](KivoTagHandle, KivoTagHandle) { return nkSetKivoTagName(nullptr, "n") == 0; }},
    {"nkGetKivoTagValue", [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagValue(nullptr); }},
    {"nkSetKivoTagValue",
     [](KivoTagHandle, KivoTagHandle) { return nkSetKivoTagValue(nullptr, "v") == 0; }},
    {"nkGetKivoTagAttrCount",
     [](KivoTagHandle, KivoTagHandle) { return nkGetKivoTagAttrCount(nullptr) == 0; }},
    {"nkGetKivoTagAttrName",
     [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagAttrName(nullptr, 0); }},
    {"nkGetKivoTagAttrValue",
     [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagAttrValue(nullptr, 0); }},
    {"nkGetKivoTagAttr",
     [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagAttr(nullptr, "k"); }},
    {"nkSetKivoTagAttr",
     [](KivoTagHandle, KivoTagHandle) { return nkSetKivoTagAttr(nullptr, "k", "x") == 0; }},
    {"nkDelKivoTagAttr",
     [](KivoTagHandle, KivoTagHandle) { return nkDelKivoTagAttr(nullptr, "k") == 0; }},
    {"nkClearKivoTagAttr",
     [](KivoTagHandle, KivoTagHandle) { return nkClearKivoTagAttr(nullptr) == 0; }},
    {"nkGetKivoTagParentTag",
     [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagParentTag(nullptr); }},
    {"nkGetKivoTagSubTagCount",
     [](KivoTagHandle, KivoTagHandle) { return nkGetKivoTagSubTagCount(nullptr) == 0; }},
    {"nkGetKivoTagSubTag",
     [](KivoTagHandle, KivoTagHandle) { return !nkGetKivoTagSubTag(nullptr, 0, 1); }},
    {"nkAddKivoTagSubTag (moving a witness child)",
     [](KivoTagHandle, KivoTagHandle child) { return !nkAddKivoTagSubTag(nullptr, 0, child); }},
    {"nkAddKivoTagSubTag (moving the witness top)",
     [](KivoTagHandle top, KivoTagHandle) { return !nkAddKivoTagSubTag(nullptr, -1, top); }},
    {"nkDelKivoTagSubTag",
     [](KivoTagHandle, KivoTagHandle child) { return nkDelKivoTagSubTag(nullptr, child) == 0; }},
    {"nkClearKivoTagSubTag",
     [](KivoTagHandle, KivoTagHandle) { return nkClearKivoTagSubTag(nullptr) == 0; }},
    {"nkCloneKivoTag", [](KivoTagHandle, KivoTagHandle) { return !nkCloneKivoTag(nullptr); }},
};

TEST(NullHandle, EveryFunctionAnswersNullWithItsNullResultAndTouchesNothing) {
    for (const NullCall& c : kNullCalls) {
        SCOPED_TRACE(c.function);
        OwnedTag witness = BuildTree({"w", "v", {{"k", "1"}}, {{"c", "cv", {{"j", "2"}}}}});
        ASSERT_NE(witness, nullptr);
        KivoTagHandle child = nkGetKivoTagSubTag(witness.get(), 0, 0);
        const std::string before = DumpTree(witness.get());
        EXPECT_TRUE(c.call(witness.get(), child));
        EXPECT_EQ(DumpTree(witness.get()), before);
        EXPECT_EQ(nkGetKivoTagParentTag(child), witness.get());
        EXPECT_EQ(CheckInvariants(witness.get()), "");
    }
}

TEST(NullHandle, CreateParserNeedsNoHandleAndANullBufferIsRefused) {
    KivoParserHandle parser = nkCreateKivoParser();
    ASSERT_NE(parser, nullptr);
    EXPECT_EQ(nkParserKivoBuffer(parser, nullptr, 0, 1), 0);
    EXPECT_EQ(nkParserKivoBuffer(parser, nullptr, 4, 0), 0);
    // The refused calls did not reach the parser: the document still parses.
    const char text[] = "<r a='1'>t</r>";
    EXPECT_EQ(nkParserKivoBuffer(parser, text, static_cast<int>(std::strlen(text)), 1), 1);
    OwnedTag tree(nkGetParserKivo(parser, 1));
    nkDeleteKivoParser(parser);
    EXPECT_EQ(DumpTree(tree.get()), "r[a=\"1\"]=\"t\"");
}

struct FlagCase {
    const char* label;
    int flag;
    bool yes;
};

const FlagCase kFlags[] = {
    {"0 is no", 0, false},   {"1 is yes", 1, true},           {"2 is yes", 2, true},
    {"-1 is yes", -1, true}, {"large is yes", 1 << 30, true},
};

TEST(Flags, AnyNonZeroDetachFlagDetachesASubTag) {
    for (const FlagCase& c : kFlags) {
        SCOPED_TRACE(c.label);
        OwnedTag top = BuildTree({"p", "", {}, {{"a"}, {"b"}}});
        ASSERT_NE(top, nullptr);
        KivoTagHandle a = nkGetKivoTagSubTag(top.get(), 0, c.flag);
        ASSERT_NE(a, nullptr);
        OwnedTag owned(c.yes ? a : nullptr);
        EXPECT_EQ(nkGetKivoTagParentTag(a), c.yes ? nullptr : top.get());
        EXPECT_EQ(DumpTree(top.get()), c.yes ? "p{b}" : "p{a b}");
        EXPECT_EQ(CheckInvariants(top.get()), "");
    }
}

TEST(Flags, AnyNonZeroDetachFlagTakesTheParsersTree) {
    for (const FlagCase& c : kFlags) {
        SCOPED_TRACE(c.label);
        KivoParserHandle parser = nkCreateKivoParser();
        ASSERT_NE(parser, nullptr);
        ASSERT_EQ(nkParserKivoBuffer(parser, "<r/>", 4, 1), 1);
        KivoTagHandle first = nkGetParserKivo(parser, c.flag);
        ASSERT_NE(first, nullptr);
        KivoTagHandle second = nkGetParserKivo(parser, 0);
        EXPECT_EQ(second, c.yes ? nullptr : first);
        nkDeleteKivoParser(parser);
        // The parser never destroys the tree in its root slot, so the tree is
        // the host's to destroy either way.
        nkDeleteKivoTag(first);
    }
}

TEST(Flags, AnyNonZeroFinalFlagEndsTheDocument) {
    for (const FlagCase& c : kFlags) {
        SCOPED_TRACE(c.label);
        KivoParserHandle parser = nkCreateKivoParser();
        ASSERT_NE(parser, nullptr);
        // An open element is fine in a middle piece and an error at the end.
        EXPECT_EQ(nkParserKivoBuffer(parser, "<r>", 3, c.flag), c.yes ? 0 : 1);
        nkDeleteKivoParser(parser);
    }
}

} // namespace
