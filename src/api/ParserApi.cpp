#include "nkKivo.h"

#include "api/Boundary.h"
#include "parser/KivoParser.h"

KivoParserHandle nkCreateKivoParser(void) {
    return CallGuarded<KivoParser*>(nullptr, [] { return new KivoParser(); });
}

void nkDeleteKivoParser(KivoParserHandle parser) {
    delete parser;
}

int nkParserKivoBuffer(KivoParserHandle parser, const char* buffer, int length, int isFinal) {
    // A negative length is a caller's mistake, refused like a null buffer
    // before the parser sees it, so it cannot cost the tree already built.
    if (parser == nullptr || buffer == nullptr || length < 0) {
        return 0;
    }
    return CallGuarded(0, [=] { return ToInt(parser->ParseBuffer(buffer, length, isFinal != 0)); });
}

KivoTagHandle nkGetParserKivo(KivoParserHandle parser, int detach) {
    if (parser == nullptr) {
        return nullptr;
    }
    return parser->TakeRoot(detach != 0);
}
