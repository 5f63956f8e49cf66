#ifndef NKKIVO_TESTS_PARSEINPIECES_H
#define NKKIVO_TESTS_PARSEINPIECES_H

#include "nkKivo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TreeDeleter {
    void operator()(KivoTagHandle tag) const { nkDeleteKivoTag(tag); }
};
struct ParserDeleter {
    void operator()(KivoParserHandle parser) const { nkDeleteKivoParser(parser); }
};

// A tree or a parser the test owns; released however the test ends.
using OwnedTree = std::unique_ptr<KivoTag, TreeDeleter>;
using OwnedParser = std::unique_ptr<KivoParser, ParserDeleter>;

// What DumpOf answers for a document the library refused.
inline constexpr const char* kRefused = "(refused)";

// Feeds `text` to a new parser cut at the byte offsets in `cuts` (ascending,
// each at most text.size(); repeats give empty pieces), the last piece marked
// final, and takes the tree with detach. Returns null when any call answered
// 0 or no tree was complete after the final piece.
OwnedTree ParseInPieces(std::string_view text, const std::vector<std::size_t>& cuts = {});

// DumpTree of ParseInPieces, or kRefused.
std::string DumpOf(std::string_view text, const std::vector<std::size_t>& cuts = {});

// Offsets that cut `size` bytes into pieces of `pieceSize` bytes.
std::vector<std::size_t> EvenCuts(std::size_t size, std::size_t pieceSize);

// `count` cut offsets in [0, size], drawn from a generator seeded with `seed`
// and sorted; repeats are kept so that empty pieces occur too.
std::vector<std::size_t> RandomCuts(std::size_t size, std::size_t count, std::uint32_t seed);

// Sends `piece` to `parser`; false when the library answered 0. Pieces larger
// than the interface's int length are refused here rather than truncated.
bool FeedPiece(KivoParserHandle parser, std::string_view piece, bool isFinal);

#endif
