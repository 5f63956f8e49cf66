#include "nkKivo.h"
#include "support/ParseInPieces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

// A document of more than 2 GiB, mostly one text run, so that it fits in a
// few GiB of memory: every length and offset on the way (expat's counters,
// the text buffer, the value) must be wider than 32 bits. The document is
// made piece by piece and never held whole.

namespace {

constexpr std::uint64_t kGiB = 1024ULL * 1024 * 1024;
// Text buffer, value and the buffer's last growth step together, with room.
constexpr std::uint64_t kNeededMemory = 8 * kGiB;
constexpr std::size_t kPieceSize = 1024 * 1024;

// MemAvailable from /proc/meminfo, or 0 where there is no such file.
std::uint64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kib = 0;
        if (fields >> key >> kib && key == "MemAvailable:") {
            return kib * 1024;
        }
    }
    return 0;
}

} // namespace

TEST(LargeDocument, ATextRunOfMoreThan2GiBKeepsItsExactLength) {
    const std::uint64_t available = AvailableMemory();
    if (available < kNeededMemory) {
        GTEST_SKIP() << "needs about " << kNeededMemory / kGiB << " GiB of available memory, "
                     << "has " << available / (1024 * 1024) << " MiB";
    }
    // Past 2^31 by an odd amount, so a length cut to 32 bits or rounded to
    // whole pieces shows.
    const std::uint64_t runLength = 2 * kGiB + 3 * kPieceSize + 12345;
    const std::string piece(kPieceSize, 'x');
    const OwnedParser parser(nkCreateKivoParser());
    ASSERT_TRUE(FeedPiece(parser.get(), " \n<doc>\t", false));
    std::uint64_t sent = 0;
    while (sent < runLength) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, runLength - sent));
        ASSERT_TRUE(FeedPiece(parser.get(), std::string_view(piece).substr(0, size), false))
            << "refused after " << sent << " bytes";
        sent += size;
    }
    // A reference and a child past the 2 GiB mark: the run must still be
    // joined and trimmed as one.
    ASSERT_TRUE(FeedPiece(parser.get(), "&#65;<end k='v'/> \r\n</doc>\n", true));
    const OwnedTree tree(nkGetParserKivo(parser.get(), 1));
    ASSERT_NE(tree, nullptr);
    const char* value = nkGetKivoTagValue(tree.get());
    const std::size_t length = std::strlen(value);
    EXPECT_EQ(length, static_cast<std::size_t>(runLength + 1));
    EXPECT_EQ(value[0], 'x');
    EXPECT_EQ(value[length - 1], 'A');
    EXPECT_EQ(nkGetKivoTagSubTagCount(tree.get()), 1);
    EXPECT_STREQ(nkGetKivoTagAttr(nkGetKivoTagSubTag(tree.get(), 0, 0), "k"), "v");
}
