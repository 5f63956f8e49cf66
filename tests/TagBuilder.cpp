#include "TagBuilder.h"

#include <utility>

namespace {

bool FillTag(KivoTagHandle tag, const TagSpec& spec) {
    if (nkSetKivoTagValue(tag, spec.value.c_str()) != 1) {
        return false;
    }
    for (const auto& [name, value] : spec.attrs) {
        if (nkSetKivoTagAttr(tag, name.c_str(), value.c_str()) != 1) {
            return false;
        }
    }
    return true;
}

} // namespace

OwnedTag BuildTree(const TagSpec& spec) {
    OwnedTag top(nkCreateKivoTag(spec.name.c_str()));
    if (!top || !FillTag(top.get(), spec)) {
        return nullptr;
    }
    // Explicit work list: a spec, and the tag already made for it.
    std::vector<std::pair<const TagSpec*, KivoTagHandle>> pending{{&spec, top.get()}};
    while (!pending.empty()) {
        const auto [parentSpec, parent] = pending.back();
        pending.pop_back();
        for (const TagSpec& childSpec : parentSpec->subTags) {
            KivoTagHandle child = nkCreateKivoTag(childSpec.name.c_str());
            if (child == nullptr) {
                return nullptr;
            }
            if (nkAddKivoTagSubTag(parent, nkGetKivoTagSubTagCount(parent), child) != child) {
                nkDeleteKivoTag(child);
                return nullptr;
            }
            if (!FillTag(child, childSpec)) {
                return nullptr;
            }
            pending.emplace_back(&childSpec, child);
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
