#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

constexpr std::size_t kSmallStackBytes = 256 * 1024;
constexpr int kMillion = 1000000;

#if defined(_WIN32)
unsigned __stdcall SmallStackEntry(void* work) {
    (*static_cast<std::function<void()>*>(work))();
    return 0;
}

bool RunOnSmallStack(std::function<void()> work) {
    const std::uintptr_t started =
        _beginthreadex(nullptr, static_cast<unsigned>(kSmallStackBytes), SmallStackEntry, &work,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (started == 0) {
        return false;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return true;
}
#else
void* SmallStackEntry(void* work) {
    (*static_cast<std::function<void()>*>(work))();
    return nullptr;
}

// std::thread cannot choose its stack size; a recursion whose depth follows
// the tree overflows 256 KiB long before it reaches a million levels.
bool RunOnSmallStack(std::function<void()> work) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, kSmallStackBytes) == 0 &&
                         pthread_create(&thread, &attributes, SmallStackEntry, &work) == 0;
    pthread_attr_destroy(&attributes);
    if (started) {
        pthread_join(thread, nullptr);
    }
    return started;
}
#endif

// Builds the chain as a host would: each new leaf is added under the deepest
// tag so far. Returns null if any call refuses.
KivoTagHandle BuildChain(int depth) {
    KivoTagHandle top = nkCreateKivoTag("level");
    KivoTagHandle deepest = top;
    for (int i = 1; i < depth && top != nullptr; ++i) {
        KivoTagHandle leaf = nkCreateKivoTag("level");
        if (nkAddKivoTagSubTag(deepest, 0, leaf) != leaf) {
            nkDeleteKivoTag(leaf);
            nkDeleteKivoTag(top);
            return nullptr;
        }
        deepest = leaf;
    }
    return top;
}

KivoTagHandle BuildWide(int width) {
    KivoTagHandle top = nkCreateKivoTag("wide");
    for (int i = 0; i < width && top != nullptr; ++i) {
        KivoTagHandle child = nkCreateKivoTag("child");
        if (nkAddKivoTagSubTag(top, i, child) != child) {
            nkDeleteKivoTag(child);
            nkDeleteKivoTag(top);
            return nullptr;
        }
    }
    return top;
}

// Walks down the first sub tags and counts the levels, checking that each
// level reports the one above it and holds exactly one sub tag (the last
// none). Returns -1 on the first broken link.
int ChainDepth(KivoTagHandle top) {
    int depth = 1;
    for (KivoTagHandle tag = top; nkGetKivoTagSubTagCount(tag) != 0; ++depth) {
        KivoTagHandle next = nkGetKivoTagSubTag(tag, 0, 0);
        if (nkGetKivoTagSubTagCount(tag) != 1 || nkGetKivoTagParentTag(next) != tag) {
            return -1;
        }
        tag = next;
    }
    return depth;
}

TEST(DeepTree, AMillionLevelsCloneAndDestroyOnA256KiBStack) {
    KivoTagHandle chain = BuildChain(kMillion);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(ChainDepth(chain), kMillion);

    int cloneDepth = 0;
    bool cloneIsTop = false;
    const bool ran = RunOnSmallStack([&] {
        KivoTagHandle clone = nkCloneKivoTag(chain);
        cloneIsTop = clone != nullptr && nkGetKivoTagParentTag(clone) == nullptr;
        cloneDepth = clone == nullptr ? 0 : ChainDepth(clone);
        nkDeleteKivoTag(clone);
        nkDeleteKivoTag(chain);
    });
    ASSERT_TRUE(ran) << "could not start a thread with a 256 KiB stack";
    EXPECT_TRUE(cloneIsTop);
    EXPECT_EQ(cloneDepth, kMillion);
}

TEST(DeepTree, ClearingAndDeletingAMillionLevelsBelowAChildWork) {
    // The same walk through other entry points: clearing a tag's sub tags,
    // and deleting a deep sub tag that still has a parent.
    KivoTagHandle chain = BuildChain(kMillion);
    ASSERT_NE(chain, nullptr);
    KivoTagHandle second = nkGetKivoTagSubTag(chain, 0, 0);
    const bool ran = RunOnSmallStack([&] {
        nkDeleteKivoTag(nkGetKivoTagSubTag(second, 0, 0));
        nkClearKivoTagSubTag(chain);
    });
    ASSERT_TRUE(ran);
    EXPECT_EQ(nkGetKivoTagSubTagCount(chain), 0);
    nkDeleteKivoTag(chain);
}

TEST(DeepTree, AMillionSubTagsOfOneTagCloneAndDestroy) {
    KivoTagHandle wide = BuildWide(kMillion);
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(nkGetKivoTagSubTagCount(wide), kMillion);
    EXPECT_EQ(nkGetKivoTagParentTag(nkGetKivoTagSubTag(wide, kMillion - 1, 0)), wide);

    int cloneCount = 0;
    std::string invariants;
    const bool ran = RunOnSmallStack([&] {
        KivoTagHandle clone = nkCloneKivoTag(wide);
        cloneCount = nkGetKivoTagSubTagCount(clone);
        invariants = clone == nullptr ? "no clone" : CheckInvariants(clone);
        nkDeleteKivoTag(clone);
        nkDeleteKivoTag(wide);
    });
    ASSERT_TRUE(ran);
    EXPECT_EQ(cloneCount, kMillion);
    EXPECT_EQ(invariants, "");
}

// CPU seconds for one build, clone and destroy of a tree of `size` tags; the
// best of three, so a moment of preemption does not count.
double BestCpuSeconds(KivoTagHandle (*build)(int), int size) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const std::clock_t start = std::clock();
        KivoTagHandle tree = build(size);
        KivoTagHandle clone = nkCloneKivoTag(tree);
        nkDeleteKivoTag(clone);
        nkDeleteKivoTag(tree);
        const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        best = seconds < best ? seconds : best;
    }
    return best;
}

struct GrowthCase {
    const char* label;
    KivoTagHandle (*build)(int);
};

TEST(DeepTree, CostGrowsLinearlyWithTheSize) {
    // Eight times the tags must cost far less than the 64 times a quadratic
    // step (an ancestor walk or a scan per add) would cost. The bound is
    // loose on purpose: it separates the growth shapes, not speeds.
    const GrowthCase cases[] = {{"chain", BuildChain}, {"wide", BuildWide}};
    constexpr int kSmall = 20000;
    for (const GrowthCase& c : cases) {
        SCOPED_TRACE(c.label);
        const double small = BestCpuSeconds(c.build, kSmall);
        const double large = BestCpuSeconds(c.build, 8 * kSmall);
        // A floor keeps a too-fast-to-measure small run from inflating the
        // ratio.
        const double floor = 0.002;
        EXPECT_LT(large, 32 * (small > floor ? small : floor))
            << "small " << small << " s, large " << large << " s";
    }
}

} // namespace
