#ifndef NKKIVO_TESTS_TAGBUILDER_H
#define NKKIVO_TESTS_TAGBUILDER_H

#include "nkKivo.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// A tree written out as nested aggregates, so a test can state the shape it
// starts from in a few lines instead of a run of create and add calls.
struct TagShape {
    using Attrs = std::vector<std::pair<std::string, std::string>>;

    // Not explicit: nested brace lists of names are the point of the type.
    TagShape(std::string tagName, std::string tagValue = "", Attrs tagAttrs = {},
             std::vector<TagShape> tagSubTags = {})
        : name(std::move(tagName)), value(std::move(tagValue)), attrs(std::move(tagAttrs)),
          subTags(std::move(tagSubTags)) {}

    std::string name;
    std::string value;
    Attrs attrs;
    std::vector<TagShape> subTags;
};

struct TagDeleter {
    void operator()(KivoTagHandle tag) const { nkDeleteKivoTag(tag); }
};

// Holds a top tag for the length of a test, so a failed assertion cannot
// leak the tree and hide the fault behind a leak report.
using OwnedTag = std::unique_ptr<KivoTag, TagDeleter>;

// Builds the tree through the exported functions only. Returns null if any
// call refuses, which the caller asserts against.
OwnedTag BuildTree(const TagShape& shape);

// The first tag in a depth-first walk below `top` (top included) whose name
// is `name`, or null.
KivoTagHandle FindByName(KivoTagHandle top, const std::string& name);

#endif
