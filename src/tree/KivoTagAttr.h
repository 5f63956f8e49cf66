#ifndef NKKIVO_TREE_KIVOTAGATTR_H
#define NKKIVO_TREE_KIVOTAGATTR_H

#include "tree/KivoString.h"

// One attribute of a tag: a name/value pair of byte strings.
struct KivoTagAttr {
    KivoString name;
    KivoString value;
};

#endif
