#include "Contender.h"

#ifdef NKKIVO_BENCH_HAVE_PUGIXML

#include <pugixml.hpp>

#include <memory>

namespace {

void* ParsePugixml(const std::string& text) {
    auto doc = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result result =
        doc->load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    return result ? doc.release() : nullptr;
}

std::size_t CountPugixml(void* tree) {
    const pugi::xml_node top = static_cast<pugi::xml_document*>(tree)->root();
    std::size_t count = 0;
    pugi::xml_node node = top.first_child();
    while (node && node != top) {
        if (node.type() == pugi::node_element) {
            ++count;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != top && !node.next_sibling()) {
            node = node.parent();
        }
        if (node != top) {
            node = node.next_sibling();
        }
    }
    return count;
}

void DestroyPugixml(void* tree) {
    delete static_cast<pugi::xml_document*>(tree);
}

} // namespace

bool MakePugixmlContender(Contender& contender) {
    contender = Contender{"pugixml", ParsePugixml, CountPugixml, DestroyPugixml};
    return true;
}

#else

bool MakePugixmlContender(Contender& /*contender*/) {
    return false;
}

#endif
