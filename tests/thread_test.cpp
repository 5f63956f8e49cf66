#include "nkKivo.h"
#include "support/ParseInPieces.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreadCount = 8;
constexpr int kRoundsPerThread = 200;

std::string DocumentFor(int thread, int round) {
    const std::string id = std::to_string(thread) + "-" + std::to_string(round);
    return "<?xml version='1.0'?><!DOCTYPE r [<!ATTLIST i d CDATA 'dflt'>]>"
           "<r id='" +
           id + "'> head <i/><p:n xmlns:p='urn:p'>&#x20AC; " + id +
           " <![CDATA[<c>]]></p:n><i k='v'>x<i/>y</i> tail </r>";
}

std::string ExpectedFor(int thread, int round) {
    const std::string id = std::to_string(thread) + "-" + std::to_string(round);
    return R"(r[id=")" + id + R"("]="headtail"{i[d="dflt"] p:n[xmlns:p="urn:p"]="\xE2\x82\xAC )" +
           id + R"( <c>" i[k="v" d="dflt"]="xy"{i[d="dflt"]}})";
}

// One thread's work on its own parsers and trees: parse in pieces, edit,
// move, clone and destroy. Returns "" or the first thing that went wrong.
std::string RunRound(int thread, int round) {
    const std::string document = DocumentFor(thread, round);
    const auto cuts = RandomCuts(document.size(), 1 + static_cast<std::size_t>(round % 9),
                                 static_cast<std::uint32_t>(thread * 10'000 + round));
    const OwnedTree tree = ParseInPieces(document, cuts);
    if (tree == nullptr) {
        return "refused";
    }
    if (DumpTree(tree.get()) != ExpectedFor(thread, round)) {
        return "parsed " + DumpTree(tree.get());
    }
    KivoTagHandle root = tree.get();
    nkSetKivoTagAttr(root, "edited", "yes");
    nkSetKivoTagValue(nkGetKivoTagSubTag(root, 0, 0), "v");
    OwnedTree detached(nkGetKivoTagSubTag(root, 2, 1));
    nkAddKivoTagSubTag(root, 0, detached.release());
    OwnedTree copy(nkCloneKivoTag(root));
    if (copy == nullptr || DumpTree(copy.get()) != DumpTree(root)) {
        return "clone differs";
    }
    nkClearKivoTagSubTag(copy.get());
    nkDelKivoTagAttr(root, "edited");
    if (nkGetKivoTagSubTagCount(root) != 3 || nkGetKivoTagAttrCount(copy.get()) != 2) {
        return "edits of one tree reached the other";
    }
    return CheckInvariants(root);
}

} // namespace

// The library keeps no shared state, so threads that each use their own
// parsers and trees need no locks. Run under ThreadSanitizer (ci/tsan.sh),
// any hidden sharing shows as a report; here it shows as wrong trees.
TEST(Threads, EightThreadsParseEditCloneAndDestroyTheirOwnTrees) {
    std::atomic<int> ready{0};
    std::vector<std::string> faults(kThreadCount);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreadCount; ++thread) {
        threads.emplace_back([thread, &ready, &faults] {
            // Start together so the threads overlap as much as possible.
            ++ready;
            while (ready.load() < kThreadCount) {
                std::this_thread::yield();
            }
            for (int round = 0; round < kRoundsPerThread; ++round) {
                std::string fault = RunRound(thread, round);
                if (!fault.empty()) {
                    faults[static_cast<std::size_t>(thread)] =
                        "round " + std::to_string(round) + ": " + fault;
                    return;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int thread = 0; thread < kThreadCount; ++thread) {
        EXPECT_EQ(faults[static_cast<std::size_t>(thread)], "") << "thread " << thread;
    }
}
