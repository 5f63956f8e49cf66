#include "tree/KivoTagAttrList.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool SameName(const KivoTagAttr& attr, const char* name) {
    return attr.name.size() == std::strlen(name) &&
           std::memcmp(attr.name.data(), name, attr.name.size()) == 0;
}

} // namespace

std::vector<KivoTagAttr>::iterator KivoTagAttrList::FindAttr(const char* name) {
    return std::find_if(attrs_.begin(), attrs_.end(),
                        [name](const KivoTagAttr& attr) { return SameName(attr, name); });
}

std::vector<KivoTagAttr>::const_iterator KivoTagAttrList::FindAttr(const char* name) const {
    return std::find_if(attrs_.begin(), attrs_.end(),
                        [name](const KivoTagAttr& attr) { return SameName(attr, name); });
}

const char* KivoTagAttrList::NameAt(std::uint32_t position) const {
    return position < Count() ? attrs_[position].name.c_str() : nullptr;
}

const char* KivoTagAttrList::ValueAt(std::uint32_t position) const {
    return position < Count() ? attrs_[position].value.c_str() : nullptr;
}

const char* KivoTagAttrList::Find(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    const auto found = FindAttr(name);
    return found == attrs_.end() ? nullptr : found->value.c_str();
}

bool KivoTagAttrList::Set(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) {
        return false;
    }
    const auto found = FindAttr(name);
    if (found == attrs_.end()) {
        Append(name, value);
        return true;
    }
    // Copy first, then swap: a failed allocation leaves the old value.
    KivoString copy(value);
    found->value.swap(copy);
    return true;
}

void KivoTagAttrList::Append(const char* name, const char* value) {
    // Build the pair completely before it enters the vector; push_back of
    // a nothrow-movable element leaves the vector unchanged if it throws.
    KivoTagAttr attr{KivoString(name), KivoString(value)};
    attrs_.push_back(std::move(attr));
}

bool KivoTagAttrList::Remove(const char* name) {
    if (name == nullptr) {
        return false;
    }
    const auto found = FindAttr(name);
    if (found == attrs_.end()) {
        return false;
    }
    attrs_.erase(found);
    return true;
}

bool KivoTagAttrList::Clear() {
    attrs_.clear();
    return true;
}
