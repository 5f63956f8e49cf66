#include "HostModel.h"

#include "FuzzCheck.h"
#include "support/TreeDump.h"

#include <algorithm>
#include <climits>

HostModel::~HostModel() {
    for (std::size_t slot = 0; slot < kParserSlots; ++slot) {
        DeleteParser(slot);
    }
    for (KivoTagHandle top : tops_) {
        nkDeleteKivoTag(top);
    }
}

void HostModel::SetParser(std::size_t slot, KivoParserHandle parser) {
    DeleteParser(slot);
    parsers_[slot % kParserSlots] = parser;
}

void HostModel::DeleteParser(std::size_t slot) {
    KivoParserHandle& parser = parsers_[slot % kParserSlots];
    AdoptTop(nkGetParserKivo(parser, 0));
    nkDeleteKivoParser(parser);
    parser = nullptr;
}

void HostModel::AdoptTop(KivoTagHandle tag) {
    if (tag != nullptr && !OwnsTop(tag)) {
        tops_.push_back(tag);
    }
}

void HostModel::ForgetTop(KivoTagHandle tag) {
    tops_.erase(std::remove(tops_.begin(), tops_.end(), tag), tops_.end());
}

bool HostModel::OwnsTop(KivoTagHandle tag) const {
    return std::find(tops_.begin(), tops_.end(), tag) != tops_.end();
}

bool HostModel::IsParserRoot(KivoTagHandle tag) const {
    return std::any_of(parsers_.begin(), parsers_.end(), [tag](KivoParserHandle parser) {
        return tag != nullptr && nkGetParserKivo(parser, 0) == tag;
    });
}

std::vector<KivoTagHandle> HostModel::AllTops() const {
    std::vector<KivoTagHandle> all = tops_;
    for (KivoParserHandle parser : parsers_) {
        if (KivoTagHandle root = nkGetParserKivo(parser, 0)) {
            all.push_back(root);
        }
    }
    return all;
}

std::string HostModel::Snapshot(std::initializer_list<KivoTagHandle> tags) {
    std::vector<KivoTagHandle> tops;
    for (KivoTagHandle tag : tags) {
        KivoTagHandle top = tag;
        while (nkGetKivoTagParentTag(top) != nullptr) {
            top = nkGetKivoTagParentTag(top);
        }
        if (top != nullptr && std::find(tops.begin(), tops.end(), top) == tops.end()) {
            tops.push_back(top);
        }
    }
    std::string out;
    for (KivoTagHandle top : tops) {
        out += DumpTree(top);
        out += '\n';
    }
    return out;
}

void HostModel::Refresh() {
    live_.clear();
    for (KivoTagHandle top : AllTops()) {
        CheckTree(top);
    }
    for (KivoTagHandle& tag : tags_) {
        if (live_.count(tag) == 0) {
            tag = nullptr;
        }
    }
}

void HostModel::CheckTree(KivoTagHandle top) {
    const std::string problem = CheckInvariants(top);
    Require(problem.empty(), "tree breaks an invariant", problem);
    std::vector<KivoTagHandle> pending{top};
    while (!pending.empty()) {
        KivoTagHandle tag = pending.back();
        pending.pop_back();
        Require(live_.insert(tag).second, "one tag stands in two trees");
        CheckTag(tag);
        const int count = nkGetKivoTagSubTagCount(tag);
        for (int i = 0; i < count; ++i) {
            pending.push_back(nkGetKivoTagSubTag(tag, i, 0));
        }
    }
}

// The getters must agree with each other: every position inside the count
// answers, none outside it does, and a lookup by name finds the very value
// stored at that name's position.
void HostModel::CheckTag(KivoTagHandle tag) {
    Require(nkGetKivoTagName(tag) != nullptr, "a live tag has no name");
    Require(nkGetKivoTagValue(tag) != nullptr, "a live tag has no value");
    const int count = nkGetKivoTagAttrCount(tag);
    Require(count >= 0, "negative attribute count");
    for (int i = 0; i < count; ++i) {
        const char* name = nkGetKivoTagAttrName(tag, i);
        const char* value = nkGetKivoTagAttrValue(tag, i);
        Require(name != nullptr && value != nullptr, "attribute missing inside the count");
        Require(nkGetKivoTagAttr(tag, name) == value, "lookup by name finds another value", name);
    }
    for (const int outside : {-1, count, INT_MIN}) {
        Require(nkGetKivoTagAttrName(tag, outside) == nullptr &&
                    nkGetKivoTagAttrValue(tag, outside) == nullptr,
                "attribute readable outside the count");
    }
    Require(nkGetKivoTagSubTagCount(tag) >= 0, "negative sub tag count");
    Require(nkGetKivoTagSubTag(tag, -1, 0) == nullptr, "sub tag readable at -1");
}
