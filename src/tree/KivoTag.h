#ifndef NKKIVO_TREE_KIVOTAG_H
#define NKKIVO_TREE_KIVOTAG_H

#include "tree/KivoString.h"
#include "tree/KivoTagAttrList.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One element of a tree: name, value (its own text), attributes, owned sub
// tags in order, and a non-owning link to the parent.
//
// Invariants kept by every operation:
//   1. A tag stands in the subTags_ of at most one tag, exactly when parent_
//      is non-null, and parent_ is that tag.
//   2. A tag occurs at most once in any subTags_.
//   3. No tag is its own ancestor.
//
// Destruction and cloning walk the tree with loops, never with recursion whose
// depth follows the tree, so any depth works on a small stack. Every mutating
// operation either completes or, when an allocation throws, leaves every tree
// exactly as it was.
//
// The class is declared as a struct so that the public header's opaque handle
// names this very type.
struct KivoTag {
  public:
    explicit KivoTag(const char* name);
    ~KivoTag();
    KivoTag(const KivoTag&) = delete;
    KivoTag& operator=(const KivoTag&) = delete;
    KivoTag(KivoTag&&) = delete;
    KivoTag& operator=(KivoTag&&) = delete;

    const char* Name() const { return name_.c_str(); }
    void SetName(const char* name);
    const char* Value() const { return value_.c_str(); }
    void SetValue(const char* value);
    bool AppendValue(const char* characters, std::size_t length);

    KivoTagAttrList& Attrs() { return attrs_; }
    const KivoTagAttrList& Attrs() const { return attrs_; }

    std::uint32_t SubTagCount() const { return static_cast<std::uint32_t>(subTags_.size()); }
    KivoTag* Parent() const { return parent_; }
    KivoTag* GetSubTag(std::uint32_t position, bool detach);
    KivoTag* AddSubTag(std::uint32_t position, KivoTag* tag);
    bool DetachSubTag(KivoTag* tag);
    bool DeleteSubTag(KivoTag* tag);
    bool ClearSubTags();
    KivoTag* Clone() const;

    // For the document builder: gives this tag, which has no sub tags yet,
    // its whole list at once in one exactly sized array. Each given tag is a
    // top tag outside this tag's ancestry; this tag owns them afterwards. If
    // the array cannot be allocated, this throws and nothing changes.
    void AdoptNewSubTags(KivoTag* const* tags, std::size_t count);

    // Removes this tag from its parent, if any, then destroys it and its
    // whole subtree.
    static void Destroy(KivoTag* tag);

  private:
    bool IsAncestorOrSelf(const KivoTag* tag) const;
    KivoTag* CopyNodeUnder(KivoTag* parent) const;

    KivoString value_;
    KivoString name_;
    KivoTagAttrList attrs_;
    std::vector<KivoTag*> subTags_;
    KivoTag* parent_ = nullptr;
};

#endif
