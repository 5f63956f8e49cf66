#include "Contender.h"

#include <nkKivo.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kPieceBytes = 4096;

// Runs one document through a parser, cut into pieces of at most pieceBytes,
// and returns the detached tree, or null when the library refused it.
KivoTagHandle ParseInPieces(const std::string& text, std::size_t pieceBytes) {
    KivoParserHandle parser = nkCreateKivoParser();
    if (parser == nullptr) {
        return nullptr;
    }
    bool accepted = true;
    std::size_t offset = 0;
    do {
        const std::size_t piece = std::min(pieceBytes, text.size() - offset);
        const bool isFinal = offset + piece == text.size();
        accepted = nkParserKivoBuffer(parser, text.data() + offset, static_cast<int>(piece),
                                      isFinal ? 1 : 0) != 0;
        offset += piece;
    } while (accepted && offset < text.size());
    KivoTagHandle tree = accepted ? nkGetParserKivo(parser, 1) : nullptr;
    nkDeleteKivoParser(parser);
    return tree;
}

void* ParseKivo(const std::string& text) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    return ParseInPieces(text, text.size());
}

void* ParseKivoPieces(const std::string& text) {
    return ParseInPieces(text, kPieceBytes);
}

std::size_t CountKivo(void* tree) {
    // Depth-first with an explicit stack of (tag, next child index).
    std::size_t count = 1;
    std::vector<std::pair<KivoTagHandle, int>> stack;
    stack.emplace_back(static_cast<KivoTagHandle>(tree), 0);
    while (!stack.empty()) {
        auto& [tag, next] = stack.back();
        if (next == nkGetKivoTagSubTagCount(tag)) {
            stack.pop_back();
            continue;
        }
        KivoTagHandle child = nkGetKivoTagSubTag(tag, next++, 0);
        ++count;
        stack.emplace_back(child, 0);
    }
    return count;
}

void DestroyKivo(void* tree) {
    nkDeleteKivoTag(static_cast<KivoTagHandle>(tree));
}

} // namespace

Contender MakeKivoContender() {
    return Contender{"nkKivo", ParseKivo, CountKivo, DestroyKivo};
}

Contender MakeKivoPiecesContender() {
    return Contender{"nkKivo, 4 KiB pieces", ParseKivoPieces, CountKivo, DestroyKivo};
}

void* CloneKivoTree(void* tree) {
    return nkCloneKivoTag(static_cast<KivoTagHandle>(tree));
}
