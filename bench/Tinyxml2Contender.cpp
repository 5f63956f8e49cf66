#include "Contender.h"

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

std::size_t CountTinyxml2(void* tree) {
    const tinyxml2::XMLNode* const top = static_cast<tinyxml2::XMLDocument*>(tree);
    std::size_t count = 0;
    const tinyxml2::XMLNode* node = top->FirstChild();
    while (node != nullptr && node != top) {
        if (node->ToElement() != nullptr) {
            ++count;
        }
        if (node->FirstChild() != nullptr) {
            node = node->FirstChild();
            continue;
        }
        while (node != top && node->NextSibling() == nullptr) {
            node = node->Parent();
        }
        if (node != top) {
            node = node->NextSibling();
        }
    }
    return count;
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
