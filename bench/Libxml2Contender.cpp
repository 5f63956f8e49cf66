#include "Contender.h"
#include "ElementCount.h"

#ifdef NKKIVO_BENCH_HAVE_LIBXML2

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>

namespace {

void IgnoreError(void* /*context*/, xmlErrorPtr /*error*/) {}

void* ParseLibxml2(const std::string& text) {
    // Refusals (its depth limit on the deep shape) are reported by a null
    // result, not on the terminal.
    xmlSetStructuredErrorFunc(nullptr, IgnoreError);
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    return xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                         XML_PARSE_NONET | XML_PARSE_HUGE);
}

using Libxml2Node = const xmlNode*;

struct Libxml2Links {
    // Only elements are descended into: an entity reference's children are
    // the shared entity content, not part of this document's tree.
    static Libxml2Node FirstChild(Libxml2Node node) {
        return IsElement(node) || node->type == XML_DOCUMENT_NODE ? node->children : nullptr;
    }
    static Libxml2Node NextSibling(Libxml2Node node) { return node->next; }
    static Libxml2Node Parent(Libxml2Node node) { return node->parent; }
    static bool IsElement(Libxml2Node node) { return node->type == XML_ELEMENT_NODE; }
};

std::size_t CountLibxml2(void* tree) {
    const Libxml2Node top = reinterpret_cast<xmlNode*>(static_cast<xmlDoc*>(tree));
    return CountElementsBelow(top, Libxml2Links{});
}

void DestroyLibxml2(void* tree) {
    xmlFreeDoc(static_cast<xmlDoc*>(tree));
}

} // namespace

bool MakeLibxml2Contender(Contender& contender) {
    contender = Contender{"libxml2", ParseLibxml2, CountLibxml2, DestroyLibxml2};
    return true;
}

#else

bool MakeLibxml2Contender(Contender& /*contender*/) {
    return false;
}

#endif
