#include "tree/KivoTag.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <memory>
#include <utility>

KivoTag::KivoTag(const char* name) : name_(name == nullptr ? "" : name) {}

KivoTag::~KivoTag() {
    ClearSubTags();
}

void KivoTag::SetName(const char* name) {
    // Copy, then swap: if the copy cannot be allocated the old name stays.
    KivoString copy(name == nullptr ? "" : name);
    name_.swap(copy);
}

void KivoTag::SetValue(const char* value) {
    KivoString copy(value == nullptr ? "" : value);
    value_.swap(copy);
}

bool KivoTag::AppendValue(const char* characters, std::size_t length) {
    if (characters == nullptr) {
        return false;
    }
    if (value_.empty()) {
        // Most values are a single run: a string built at its final length
        // takes exactly what it needs, where appending to the empty string
        // would round the first allocation up.
        KivoString first(characters, length);
        value_.swap(first);
        return true;
    }
    value_.append(characters, length);
    return true;
}

KivoTag* KivoTag::GetSubTag(std::uint32_t position, bool detach) {
    if (position >= SubTagCount()) {
        return nullptr;
    }
    KivoTag* const child = subTags_[position];
    if (detach) {
        subTags_.erase(subTags_.begin() + static_cast<std::ptrdiff_t>(position));
        child->parent_ = nullptr;
    }
    return child;
}

KivoTag* KivoTag::AddSubTag(std::uint32_t position, KivoTag* tag) {
    position = std::min(position, SubTagCount());
    if (tag == nullptr) {
        return nullptr;
    }
    // By invariant 1 the parent link answers "already one of my sub tags"
    // without scanning them.
    if (tag->parent_ == this) {
        return tag;
    }
    if (IsAncestorOrSelf(tag)) {
        return nullptr;
    }
    // Grow first: the only step that can fail comes before anything changes,
    // so a failed allocation leaves both the old and the new parent intact.
    if (subTags_.size() == subTags_.capacity()) {
        subTags_.reserve(std::max<std::size_t>(4, subTags_.size() * 2));
    }
    if (tag->parent_ != nullptr) {
        tag->parent_->DetachSubTag(tag);
    }
    subTags_.insert(subTags_.begin() + static_cast<std::ptrdiff_t>(position), tag);
    tag->parent_ = this;
    return tag;
}

void KivoTag::AdoptNewSubTags(KivoTag* const* tags, std::size_t count) {
    assert(subTags_.empty());
    if (count == 0) {
        return;
    }
    subTags_.assign(tags, tags + count);
    for (KivoTag* const tag : subTags_) {
        tag->parent_ = this;
    }
}

bool KivoTag::IsAncestorOrSelf(const KivoTag* tag) const {
    // A tag without sub tags is nobody's ancestor; only identity is left.
    if (tag->subTags_.empty()) {
        return tag == this;
    }
    for (const KivoTag* walk = this; walk != nullptr; walk = walk->parent_) {
        if (walk == tag) {
            return true;
        }
    }
    return false;
}

bool KivoTag::DetachSubTag(KivoTag* tag) {
    const auto found = std::find(subTags_.begin(), subTags_.end(), tag);
    if (tag == nullptr || found == subTags_.end()) {
        return false;
    }
    subTags_.erase(found);
    tag->parent_ = nullptr;
    return true;
}

bool KivoTag::DeleteSubTag(KivoTag* tag) {
    if (!DetachSubTag(tag)) {
        return false;
    }
    delete tag;
    return true;
}

bool KivoTag::ClearSubTags() {
    // Post-order walk that uses only the tree's own links: go down through the
    // last entry of each list and destroy leaves on the way back up. Reversing
    // a list on entry makes its first child the last entry, so children die
    // first to last. No allocation and no recursion, so this is safe in a
    // destructor and for any depth.
    std::reverse(subTags_.begin(), subTags_.end());
    KivoTag* current = this;
    for (;;) {
        if (!current->subTags_.empty()) {
            KivoTag* const child = current->subTags_.back();
            std::reverse(child->subTags_.begin(), child->subTags_.end());
            current = child;
            continue;
        }
        if (current == this) {
            return true;
        }
        KivoTag* const parent = current->parent_;
        parent->subTags_.pop_back();
        delete current; // a leaf now: its destructor does not descend
        current = parent;
    }
}

KivoTag* KivoTag::CopyNodeUnder(KivoTag* parent) const {
    auto copy = std::make_unique<KivoTag>(nullptr);
    copy->value_ = value_;
    copy->name_ = name_;
    copy->attrs_ = attrs_;
    if (parent != nullptr) {
        parent->subTags_.push_back(copy.get());
        copy->parent_ = parent;
    }
    return copy.release();
}

KivoTag* KivoTag::Clone() const {
    // Until it is returned, the partial copy belongs to `top`: if any
    // allocation throws, unwinding destroys all of it.
    std::unique_ptr<KivoTag> top(CopyNodeUnder(nullptr));
    // Source tags whose sub tags still have to be copied, with their copies.
    // An explicit work list instead of recursion keeps the stack flat.
    std::vector<std::pair<const KivoTag*, KivoTag*>> pending;
    pending.emplace_back(this, top.get());
    while (!pending.empty()) {
        const auto [source, copy] = pending.back();
        pending.pop_back();
        copy->subTags_.reserve(source->subTags_.size());
        for (const KivoTag* child : source->subTags_) {
            KivoTag* const childCopy = child->CopyNodeUnder(copy);
            if (!child->subTags_.empty()) {
                pending.emplace_back(child, childCopy);
            }
        }
    }
    return top.release();
}

void KivoTag::Destroy(KivoTag* tag) {
    if (tag->parent_ != nullptr) {
        tag->parent_->DetachSubTag(tag);
    }
    delete tag;
}
