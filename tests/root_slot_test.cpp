#include "nkKivo.h"
#include "support/ParseInPieces.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Every block the library gets from operator new is counted, so a test can
// see that a failed or abandoned parse gave back everything it built, also
// without LeakSanitizer. expat allocates with malloc and is not counted.
namespace {
std::atomic<long> liveBlocks{0};
} // namespace

void* operator new(std::size_t size) {
    void* const block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    ++liveBlocks;
    return block;
}

void operator delete(void* block) noexcept {
    if (block != nullptr) {
        --liveBlocks;
        std::free(block);
    }
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
    operator delete(block);
}

namespace {

// One call of a sequence: how it is made, what it must answer, and what the
// root slot must then hold (the dump of nkGetParserKivo without detach).
enum class Buffer { Text, Null, NegativeLength, MinimumLength };

struct Call {
    std::string text;
    int isFinal;
    int result;
    std::string rootAfter;
    Buffer buffer = Buffer::Text;
};

struct Sequence {
    const char* label;
    std::vector<Call> calls;
};

const std::string kNoTree = "(null)";

int MakeCall(KivoParserHandle parser, const Call& call) {
    switch (call.buffer) {
    case Buffer::Null:
        return nkParserKivoBuffer(parser, nullptr, 0, call.isFinal);
    case Buffer::NegativeLength:
        return nkParserKivoBuffer(parser, call.text.data(), -1, call.isFinal);
    case Buffer::MinimumLength:
        return nkParserKivoBuffer(parser, call.text.data(), INT_MIN, call.isFinal);
    case Buffer::Text:
        break;
    }
    return nkParserKivoBuffer(parser, call.text.data(), static_cast<int>(call.text.size()),
                              call.isFinal);
}

const std::vector<Sequence>& Sequences() {
    static const std::vector<Sequence> sequences = {
        {"the tree appears when the document element ends, before the final piece",
         {{"<a><b>", 0, 1, kNoTree},
          {"x</b>", 0, 1, kNoTree},
          {"</a>", 0, 1, R"(a{b="x"})"},
          {"<!-- after -->", 0, 1, R"(a{b="x"})"},
          {"", 1, 1, R"(a{b="x"})"}}},
        {"a failure mid-document leaves no tree, and the parser stays failed",
         {{"<a><b>x</b><c>", 0, 1, kNoTree}, {"</d>", 0, 0, kNoTree}, {"</c></a>", 1, 0, kNoTree}}},
        {"refused input after a complete document destroys the tree",
         {{"<a>t</a>", 0, 1, R"(a="t")"}, {"<b/>", 0, 0, kNoTree}}},
        {"input after the final piece is refused and destroys the tree",
         {{"<a/>", 1, 1, "a"}, {"<b/>", 1, 0, kNoTree}}},
        {"an element left open is refused at the final piece",
         {{"<a><b/>", 0, 1, kNoTree}, {"", 1, 0, kNoTree}}},
        {"a failure in the prolog leaves nothing",
         {{"<?xml version='1.0'?><!DOCTYPE", 0, 1, kNoTree}, {" a [<!ENTITY>]>", 0, 0, kNoTree}}},
        {"a null buffer is refused without reaching the parser, even when final",
         {{"<a>", 0, 1, kNoTree}, {"", 1, 0, kNoTree, Buffer::Null}, {"</a>", 1, 1, "a"}}},
        {"a negative length is refused and keeps the tree in the root slot",
         {{"<a/>", 0, 1, "a"},
          {"<b/>", 1, 0, "a", Buffer::NegativeLength},
          {"<b/>", 1, 0, "a", Buffer::MinimumLength},
          {"", 1, 1, "a"}}},
        {"a negative length mid-document does not end the document",
         {{"<a>", 0, 1, kNoTree},
          {"</a>", 1, 0, kNoTree, Buffer::NegativeLength},
          {"x</a>", 1, 1, R"(a="x")"}}},
        {"a final flag of 2 ends the document", {{"<a/>", 2, 1, "a"}, {"<b/>", 0, 0, kNoTree}}},
        {"a final flag of -1 ends the document", {{"<a/>", -1, 1, "a"}, {"", 1, 0, kNoTree}}},
    };
    return sequences;
}

} // namespace

TEST(RootSlot, EachCallSequenceAnswersAndLeavesTheRootSlotAsListed) {
    for (const Sequence& sequence : Sequences()) {
        SCOPED_TRACE(sequence.label);
        const OwnedParser parser(nkCreateKivoParser());
        ASSERT_NE(parser, nullptr);
        for (std::size_t i = 0; i < sequence.calls.size(); ++i) {
            SCOPED_TRACE("call " + std::to_string(i));
            const Call& call = sequence.calls[i];
            EXPECT_EQ(MakeCall(parser.get(), call), call.result);
            EXPECT_EQ(DumpTree(nkGetParserKivo(parser.get(), 0)), call.rootAfter);
        }
        // The parser never destroys a completed tree it still holds.
        nkDeleteKivoTag(nkGetParserKivo(parser.get(), 1));
    }
}

TEST(RootSlot, TakingWithoutDetachRepeatsAndTakingWithDetachEmptiesTheSlot) {
    for (const int detach : {1, 2, -1}) {
        SCOPED_TRACE("detach flag " + std::to_string(detach));
        const OwnedParser parser(nkCreateKivoParser());
        const std::string text = "<a><b/></a>";
        ASSERT_EQ(FeedPiece(parser.get(), text, true), true);
        KivoTagHandle first = nkGetParserKivo(parser.get(), 0);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(nkGetParserKivo(parser.get(), 0), first);
        const OwnedTree taken(nkGetParserKivo(parser.get(), detach));
        EXPECT_EQ(taken.get(), first);
        EXPECT_EQ(nkGetParserKivo(parser.get(), 0), nullptr);
        EXPECT_EQ(nkGetParserKivo(parser.get(), 1), nullptr);
        EXPECT_EQ(DumpTree(taken.get()), "a{b}");
    }
}

TEST(RootSlot, ADetachedTreeSurvivesALaterFailure) {
    const OwnedParser parser(nkCreateKivoParser());
    ASSERT_TRUE(FeedPiece(parser.get(), "<a>t</a>", false));
    const OwnedTree tree(nkGetParserKivo(parser.get(), 1));
    EXPECT_FALSE(FeedPiece(parser.get(), "<b/>", true));
    EXPECT_EQ(DumpTree(tree.get()), R"(a="t")");
    EXPECT_EQ(CheckInvariants(tree.get()), "");
}

TEST(RootSlot, DeletingTheParserLeavesATreeTakenWithoutDetach) {
    KivoParserHandle parser = nkCreateKivoParser();
    ASSERT_TRUE(FeedPiece(parser, "<a k='v'>t<b/></a>", true));
    const OwnedTree tree(nkGetParserKivo(parser, 0));
    nkDeleteKivoParser(parser);
    EXPECT_EQ(DumpTree(tree.get()), R"(a[k="v"]="t"{b})");
    EXPECT_EQ(CheckInvariants(tree.get()), "");
}

TEST(RootSlot, NullArgumentsAreAnsweredWithZeroOrNull) {
    EXPECT_EQ(nkParserKivoBuffer(nullptr, "<a/>", 4, 1), 0);
    EXPECT_EQ(nkParserKivoBuffer(nullptr, nullptr, 0, 1), 0);
    EXPECT_EQ(nkGetParserKivo(nullptr, 0), nullptr);
    EXPECT_EQ(nkGetParserKivo(nullptr, 1), nullptr);
    nkDeleteKivoParser(nullptr);
}

// Each scenario creates a parser, drives it, deletes it, and destroys any
// tree it took; afterwards every block the library allocated must be free.
struct Piece {
    std::string text;
    bool isFinal;
};

struct LeakScenario {
    const char* label;
    std::vector<Piece> pieces;
    bool takeTree;
};

TEST(RootSlot, NoScenarioLeavesAnythingAllocated) {
    const std::vector<LeakScenario> scenarios = {
        {"a parser deleted mid-document frees the unfinished tree",
         {{"<a k='v'><b><c>t", false}, {"ext<d/>", false}},
         false},
        {"a failure mid-document frees every tag built so far",
         {{"<a k='v'><b><c>t</c>", false}, {"<d/></b><e></a>", true}},
         false},
        {"refused input after a complete document frees the tree in the root slot",
         {{"<a><b>t</b></a>", false}, {"<c/>", false}},
         false},
        {"input after the final piece frees the tree in the root slot",
         {{"<a><b>t</b></a>", true}, {"<c/>", true}},
         false},
        {"a tree taken with detach is freed by the host", {{"<a><b>t</b></a>", true}}, true},
        {"a parser deleted before any input frees itself", {}, false},
    };
    for (const LeakScenario& scenario : scenarios) {
        const long before = liveBlocks.load();
        KivoParserHandle parser = nkCreateKivoParser();
        for (const Piece& piece : scenario.pieces) {
            FeedPiece(parser, piece.text, piece.isFinal);
        }
        if (scenario.takeTree) {
            nkDeleteKivoTag(nkGetParserKivo(parser, 1));
        }
        const bool rootEmpty = nkGetParserKivo(parser, 0) == nullptr;
        nkDeleteKivoParser(parser);
        const long after = liveBlocks.load();
        SCOPED_TRACE(scenario.label);
        EXPECT_TRUE(rootEmpty);
        EXPECT_EQ(after, before);
    }
}
