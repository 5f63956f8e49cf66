#ifndef NKKIVO_TREE_KIVOTAGATTRLIST_H
#define NKKIVO_TREE_KIVOTAGATTRLIST_H

#include "tree/KivoTagAttr.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A tag's attributes in insertion order. Names are unique because Set
// replaces the value of a name already present; lookups are linear scans and
// take the first match. Every mutating operation either completes or, when an
// allocation throws, leaves the list exactly as it was.
class KivoTagAttrList {
  public:
    std::uint32_t Count() const { return static_cast<std::uint32_t>(attrs_.size()); }
    const char* NameAt(std::uint32_t position) const;
    const char* ValueAt(std::uint32_t position) const;
    const char* Find(const char* name) const;
    bool Set(const char* name, const char* value);
    bool Remove(const char* name);
    bool Clear();

    // For the document builder: the parser has already refused duplicate
    // names, so appending in document order gives what Set would, without
    // a scan per attribute.
    void Reserve(std::size_t count) { attrs_.reserve(count); }
    void Append(const char* name, const char* value);

  private:
    std::vector<KivoTagAttr>::iterator FindAttr(const char* name);
    std::vector<KivoTagAttr>::const_iterator FindAttr(const char* name) const;

    std::vector<KivoTagAttr> attrs_;
};

#endif
