#include "support/ParseInPieces.h"

#include "support/TreeDump.h"

#include <algorithm>
#include <limits>
#include <random>

bool FeedPiece(KivoParserHandle parser, std::string_view piece, bool isFinal) {
    if (piece.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    return nkParserKivoBuffer(parser, piece.data(), static_cast<int>(piece.size()),
                              isFinal ? 1 : 0) == 1;
}

OwnedTree ParseInPieces(std::string_view text, const std::vector<std::size_t>& cuts) {
    const OwnedParser parser(nkCreateKivoParser());
    if (parser == nullptr) {
        return nullptr;
    }
    std::size_t start = 0;
    for (const std::size_t cut : cuts) {
        const std::size_t end = std::clamp(cut, start, text.size());
        if (!FeedPiece(parser.get(), text.substr(start, end - start), false)) {
            return nullptr;
        }
        start = end;
    }
    if (!FeedPiece(parser.get(), text.substr(start), true)) {
        return nullptr;
    }
    return OwnedTree(nkGetParserKivo(parser.get(), 1));
}

std::string DumpOf(std::string_view text, const std::vector<std::size_t>& cuts) {
    const OwnedTree tree = ParseInPieces(text, cuts);
    return tree == nullptr ? std::string(kRefused) : DumpTree(tree.get());
}

std::vector<std::size_t> EvenCuts(std::size_t size, std::size_t pieceSize) {
    std::vector<std::size_t> cuts;
    for (std::size_t offset = pieceSize; offset < size; offset += pieceSize) {
        cuts.push_back(offset);
    }
    return cuts;
}

std::vector<std::size_t> RandomCuts(std::size_t size, std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::size_t> offset(0, size);
    std::vector<std::size_t> cuts(count);
    for (std::size_t& cut : cuts) {
        cut = offset(generator);
    }
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}
