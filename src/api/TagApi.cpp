#include "nkKivo.h"

#include "api/Boundary.h"
#include "tree/KivoTag.h"

KivoTagHandle nkCreateKivoTag(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        return nullptr;
    }
    return CallGuarded<KivoTag*>(nullptr, [name] { return new KivoTag(name); });
}

void nkDeleteKivoTag(KivoTagHandle tag) {
    if (tag == nullptr) {
        return;
    }
    KivoTag::Destroy(tag);
}

const char* nkGetKivoTagName(KivoTagHandle tag) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Name();
}

int nkSetKivoTagName(KivoTagHandle tag, const char* name) {
    if (tag == nullptr) {
        return 0;
    }
    return CallGuarded(0, [tag, name] {
        tag->SetName(name);
        return 1;
    });
}

const char* nkGetKivoTagValue(KivoTagHandle tag) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Value();
}

int nkSetKivoTagValue(KivoTagHandle tag, const char* value) {
    if (tag == nullptr) {
        return 0;
    }
    return CallGuarded(0, [tag, value] {
        tag->SetValue(value);
        return 1;
    });
}
