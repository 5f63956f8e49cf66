#include "TagBuilder.h"

#include <utility>

namespace {

bool FillTag(KivoTagHandle tag, const TagShape& shape) {
    if (nkSetKivoTagValue(tag, shape.value.c_str()) != 1) {
        return false;
    }
    for (const auto& [name, value] : shape.attrs) {
        if (nkSetKivoTagAttr(tag, name.c_str(), value.c_str()) != 1) {
            return false;
        }
    }
    return true;
}

} // namespace

OwnedTag BuildTree(const TagShape& shape) {
    OwnedTag top(nkCreateKivoTag(shape.name.c_str()));
    if (!top || !FillTag(top.get(), shape)) {
        return nullptr;
    }
    // Explicit work list: a shape, and the tag already made for it.
    std::vector<std::pair<const TagShape*, KivoTagHandle>> pending{{&shape, top.get()}};
    while (!pending.empty()) {
        const auto [parentShape, parent] = pending.back();
        pending.pop_back();
        for (const TagShape& childShape : parentShape->subTags) {
            KivoTagHandle child = nkCreateKivoTag(childShape.name.c_str());
            if (child == nullptr) {
                return nullptr;
            }
            if (nkAddKivoTagSubTag(parent, nkGetKivoTagSubTagCount(parent), child) != child) {
                nkDeleteKivoTag(child);
                return nullptr;
            }
            if (!FillTag(child, childShape)) {
                return nullptr;
            }
            pending.emplace_back(&childShape, child);
        }
    }
    return top;
}

KivoTagHandle FindByName(KivoTagHandle top, const std::string& name) {
    std::vector<KivoTagHandle> pending{top};
    while (!pending.empty()) {
        KivoTagHandle tag = pending.back();
        pending.pop_back();
        if (name == nkGetKivoTagName(tag)) {
            return tag;
        }
        for (int i = nkGetKivoTagSubTagCount(tag) - 1; i >= 0; --i) {
            pending.push_back(nkGetKivoTagSubTag(tag, i, 0));
        }
    }
    return nullptr;
}
