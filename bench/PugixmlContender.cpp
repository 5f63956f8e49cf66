#include "Contender.h"
#include "ElementCount.h"

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

struct PugixmlLinks {
    static pugi::xml_node FirstChild(pugi::xml_node node) { return node.first_child(); }
    static pugi::xml_node NextSibling(pugi::xml_node node) { return node.next_sibling(); }
    static pugi::xml_node Parent(pugi::xml_node node) { return node.parent(); }
    static bool IsElement(pugi::xml_node node) { return node.type() == pugi::node_element; }
};

std::size_t CountPugixml(void* tree) {
    return CountElementsBelow(static_cast<pugi::xml_document*>(tree)->root(), PugixmlLinks{});
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
