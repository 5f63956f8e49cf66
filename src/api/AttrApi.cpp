#include "nkKivo.h"

#include "api/Boundary.h"
#include "tree/KivoTag.h"

int nkGetKivoTagAttrCount(KivoTagHandle tag) {
    if (tag == nullptr) {
        return 0;
    }
    return static_cast<int>(tag->Attrs().Count());
}

const char* nkGetKivoTagAttrName(KivoTagHandle tag, int index) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Attrs().NameAt(ToPosition(index));
}

const char* nkGetKivoTagAttrValue(KivoTagHandle tag, int index) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Attrs().ValueAt(ToPosition(index));
}

const char* nkGetKivoTagAttr(KivoTagHandle tag, const char* name) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Attrs().Find(name);
}

int nkSetKivoTagAttr(KivoTagHandle tag, const char* name, const char* value) {
    if (tag == nullptr) {
        return 0;
    }
    return CallGuarded(0, [tag, name, value] { return ToInt(tag->Attrs().Set(name, value)); });
}

int nkDelKivoTagAttr(KivoTagHandle tag, const char* name) {
    if (tag == nullptr) {
        return 0;
    }
    return ToInt(tag->Attrs().Remove(name));
}

int nkClearKivoTagAttr(KivoTagHandle tag) {
    if (tag == nullptr) {
        return 0;
    }
    return ToInt(tag->Attrs().Clear());
}
