#include "Contender.h"

#include <expat.h>

#include <algorithm>
#include <climits>

namespace {

int gParsedMarker = 0;

constexpr std::size_t kPieceBytes = 4096;

void XMLCALL IgnoreStart(void* /*userData*/, const XML_Char* /*name*/,
                         const XML_Char** /*attributes*/) {}
void XMLCALL IgnoreEnd(void* /*userData*/, const XML_Char* /*name*/) {}
void XMLCALL IgnoreText(void* /*userData*/, const XML_Char* /*text*/, int /*length*/) {}

// One expat pass over the text in pieces of at most pieceBytes, with or
// without (empty) handlers for the three events a tree builder needs.
void* ParseWithExpat(const std::string& text, std::size_t pieceBytes, bool withHandlers) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) {
        return nullptr;
    }
    if (withHandlers) {
        XML_SetElementHandler(parser, IgnoreStart, IgnoreEnd);
        XML_SetCharacterDataHandler(parser, IgnoreText);
    }
    XML_Status status = XML_STATUS_OK;
    std::size_t offset = 0;
    do {
        const std::size_t piece = std::min(pieceBytes, text.size() - offset);
        const bool isFinal = offset + piece == text.size();
        status = XML_Parse(parser, text.data() + offset, static_cast<int>(piece), isFinal ? 1 : 0);
        offset += piece;
    } while (status == XML_STATUS_OK && offset < text.size());
    XML_ParserFree(parser);
    return status == XML_STATUS_OK ? &gParsedMarker : nullptr;
}

void* ParseBareExpat(const std::string& text) {
    return ParseWithExpat(text, text.size(), false);
}

void* ParseBareExpatPieces(const std::string& text) {
    return ParseWithExpat(text, kPieceBytes, false);
}

void* ParseExpatEmptyHandlers(const std::string& text) {
    return ParseWithExpat(text, text.size(), true);
}

void DestroyNothing(void* /*tree*/) {}

} // namespace

Contender MakeBareExpatContender() {
    return Contender{"expat (no handlers)", ParseBareExpat, nullptr, DestroyNothing};
}

Contender MakeBareExpatPiecesContender() {
    return Contender{"expat (no handlers), 4 KiB pieces", ParseBareExpatPieces, nullptr,
                     DestroyNothing};
}

Contender MakeExpatEmptyHandlersContender() {
    return Contender{"expat (empty handlers)", ParseExpatEmptyHandlers, nullptr, DestroyNothing};
}
