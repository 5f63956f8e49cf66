#include "Contender.h"

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

std::size_t CountLibxml2(void* tree) {
    const xmlNode* const top = reinterpret_cast<xmlNode*>(static_cast<xmlDoc*>(tree));
    std::size_t count = 0;
    const xmlNode* node = top->children;
    while (node != nullptr && node != top) {
        if (node->type == XML_ELEMENT_NODE) {
            ++count;
        }
        if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            continue;
        }
        while (node != top && node->next == nullptr) {
            node = node->parent;
        }
        if (node != top) {
            node = node->next;
        }
    }
    return count;
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
