#include "nkKivo.h"

#include "api/Boundary.h"
#include "tree/KivoTag.h"

KivoTagHandle nkGetKivoTagParentTag(KivoTagHandle tag) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->Parent();
}

int nkGetKivoTagSubTagCount(KivoTagHandle tag) {
    if (tag == nullptr) {
        return 0;
    }
    return static_cast<int>(tag->SubTagCount());
}

KivoTagHandle nkGetKivoTagSubTag(KivoTagHandle tag, int index, int detach) {
    if (tag == nullptr) {
        return nullptr;
    }
    return tag->GetSubTag(ToPosition(index), detach != 0);
}

KivoTagHandle nkAddKivoTagSubTag(KivoTagHandle tag, int index, KivoTagHandle subTag) {
    if (tag == nullptr) {
        return nullptr;
    }
    return CallGuarded<KivoTag*>(nullptr,
                                 [=] { return tag->AddSubTag(ToPosition(index), subTag); });
}

int nkDelKivoTagSubTag(KivoTagHandle tag, KivoTagHandle subTag) {
    if (tag == nullptr) {
        return 0;
    }
    return ToInt(tag->DeleteSubTag(subTag));
}

int nkClearKivoTagSubTag(KivoTagHandle tag) {
    if (tag == nullptr) {
        return 0;
    }
    return ToInt(tag->ClearSubTags());
}

KivoTagHandle nkCloneKivoTag(KivoTagHandle tag) {
    if (tag == nullptr) {
        return nullptr;
    }
    return CallGuarded<KivoTag*>(nullptr, [tag] { return tag->Clone(); });
}
