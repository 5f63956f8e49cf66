#include "Contender.h"
#include "ElementCount.h"

#ifdef NKKIVO_BENCH_HAVE_TINYXML2

#include <tinyxml2.h>

#include <memory>

namespace {

void* ParseTinyxml2(const std::string& text) {
    auto doc = std::make_unique<tinyxml2::XMLDocument>();
    if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        return nullptr;
    }
    return doc.release();
}

using Tinyxml2Node = const tinyxml2::XMLNode*;

struct Tinyxml2Links {
    static Tinyxml2Node FirstChild(Tinyxml2Node node) { return node->FirstChild(); }
    static Tinyxml2Node NextSibling(Tinyxml2Node node) { return node->NextSibling(); }
    static Tinyxml2Node Parent(Tinyxml2Node node) { return node->Parent(); }
    static bool IsElement(Tinyxml2Node node) { return node->ToElement() != nullptr; }
};

std::size_t CountTinyxml2(void* tree) {
    const Tinyxml2Node top = static_cast<tinyxml2::XMLDocument*>(tree);
    return CountElementsBelow(top, Tinyxml2Links{});
}

void DestroyTinyxml2(void* tree) {
    delete static_cast<tinyxml2::XMLDocument*>(tree);
}

} // namespace

bool MakeTinyxml2Contender(Contender& contender) {
    contender = Contender{"tinyxml2", ParseTinyxml2, CountTinyxml2, DestroyTinyxml2};
    return true;
}

#else

bool MakeTinyxml2Contender(Contender& /*contender*/) {
    return false;
}

#endif
