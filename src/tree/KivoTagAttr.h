#ifndef NKKIVO_TREE_KIVOTAGATTR_H
#define NKKIVO_TREE_KIVOTAGATTR_H

#include <string>

// One attribute of a tag: a name/value pair of byte strings.
struct KivoTagAttr {
    std::string name;
    std::string value;
};

#endif
