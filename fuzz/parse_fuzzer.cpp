// Parse target: one document, parsed whole and parsed in pieces, must give
// the same verdict as expat and, when accepted, the same tree as the expat
// reference builds, with sound parent links and attribute lists.
//
// Input: by default the whole input is the document and the cut positions
// come from a hash of it, so plain XML files are ready-made seeds. An input
// that starts with the two marker bytes FE C7 chooses its cuts itself: the
// next byte gives their number (low three bits), then two bytes per cut
// (little-endian, taken modulo the document's length plus one), then the
// document.

#include "ByteReader.h"
#include "ExpatReference.h"
#include "FuzzCheck.h"
#include "support/TreeDump.h"

#include "nkKivo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t kMarker0 = 0xFE;
constexpr std::uint8_t kMarker1 = 0xC7;
// Byte-at-a-time feeding costs one expat call per byte; keep it to inputs
// small enough that it does not dominate the run.
constexpr std::size_t kByteByByteLimit = 512;

struct Document {
    std::string text;
    std::vector<std::size_t> cuts;
};

std::uint64_t HashOf(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

std::vector<std::size_t> CutsFromHash(const std::string& text) {
    std::uint64_t state = HashOf(text);
    std::vector<std::size_t> cuts(1 + state % 4);
    for (std::size_t& cut : cuts) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        cut = static_cast<std::size_t>((state >> 33) % (text.size() + 1));
    }
    return cuts;
}

Document DecodeDocument(const std::uint8_t* data, std::size_t size) {
    Document document;
    if (size >= 2 && data[0] == kMarker0 && data[1] == kMarker1) {
        ByteReader reader(data + 2, size - 2);
        std::vector<std::uint16_t> raw(reader.Byte() & 7U);
        for (std::uint16_t& cut : raw) {
            cut = reader.Byte();
            cut = static_cast<std::uint16_t>(cut | (reader.Byte() << 8));
        }
        document.text = reader.Bytes(size);
        for (const std::uint16_t cut : raw) {
            document.cuts.push_back(cut % (document.text.size() + 1));
        }
    } else {
        document.text.assign(reinterpret_cast<const char*>(data), size);
        document.cuts = CutsFromHash(document.text);
    }
    std::sort(document.cuts.begin(), document.cuts.end());
    return document;
}

std::vector<std::size_t> EveryByte(std::size_t size) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < size; ++i) {
        cuts.push_back(i);
    }
    return cuts;
}

// The outcome of one parse through the library: the verdict and the dump of
// the tree it handed over (empty when it refused).
struct Outcome {
    bool accepted = false;
    std::string dump;
};

// Feeds each piece from its own exact-size heap block, so a read past the end
// of a piece is an out-of-bounds read the sanitizer reports.
bool FeedPiece(KivoParserHandle parser, const std::string& text, std::size_t begin, std::size_t end,
               bool isFinal) {
    const std::size_t length = end - begin;
    const auto piece = std::make_unique<char[]>(std::max<std::size_t>(length, 1));
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(begin),
              text.begin() + static_cast<std::ptrdiff_t>(end), piece.get());
    return nkParserKivoBuffer(parser, piece.get(), static_cast<int>(length), isFinal ? 1 : 0) == 1;
}

void CheckTreeInRootSlot(KivoParserHandle parser, Outcome& outcome) {
    KivoTagHandle kept = nkGetParserKivo(parser, 0);
    Require(kept != nullptr, "an accepted document leaves no tree");
    Require(nkGetParserKivo(parser, 0) == kept, "the root slot changes without detach");
    KivoTagHandle taken = nkGetParserKivo(parser, 1);
    Require(taken == kept, "detach hands out another tree");
    Require(nkGetParserKivo(parser, 0) == nullptr, "the root slot still holds a detached tree");
    const std::string problem = CheckInvariants(taken);
    Require(problem.empty(), "parsed tree breaks an invariant", problem);
    outcome.dump = DumpTree(taken);
    nkDeleteKivoTag(taken);
}

Outcome ParseInPieces(const std::string& text, const std::vector<std::size_t>& cuts) {
    KivoParserHandle parser = nkCreateKivoParser();
    Require(parser != nullptr, "no parser");
    Outcome outcome;
    outcome.accepted = true;
    std::size_t begin = 0;
    for (const std::size_t cut : cuts) {
        if (!FeedPiece(parser, text, begin, cut, false)) {
            outcome.accepted = false;
            break;
        }
        begin = cut;
    }
    if (outcome.accepted) {
        outcome.accepted = FeedPiece(parser, text, begin, text.size(), true);
    }
    if (outcome.accepted) {
        CheckTreeInRootSlot(parser, outcome);
    } else {
        Require(nkGetParserKivo(parser, 0) == nullptr, "a refused document leaves a tree");
    }
    nkDeleteKivoParser(parser);
    return outcome;
}

void RequireSameOutcome(const Outcome& actual, const Outcome& expected, const char* what) {
    Require(actual.accepted == expected.accepted, what, "verdicts differ");
    Require(actual.dump == expected.dump, what,
            "got      " + actual.dump + "\nexpected " + expected.dump);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Document document = DecodeDocument(data, size);
    const std::string& text = document.text;

    const std::optional<std::string> reference =
        ExpatReference::ExpectedDump(text.data(), text.size());
    Require(reference.has_value() == ExpatReference::BareExpatAccepts(text.data(), text.size()),
            "expat's verdict depends on the handlers");
    const Outcome expected{reference.has_value(), reference.value_or(std::string())};

    RequireSameOutcome(ParseInPieces(text, {}), expected, "whole document");
    RequireSameOutcome(ParseInPieces(text, document.cuts), expected, "document in pieces");
    if (text.size() <= kByteByByteLimit) {
        RequireSameOutcome(ParseInPieces(text, EveryByte(text.size())), expected,
                           "document byte by byte");
    }
    return 0;
}
