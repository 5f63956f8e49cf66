#include "alloc/CountingAllocator.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

// The trees a host script holds: its top tags, which it must destroy, and
// the tags it refers to by role.
class EditHost {
  public:
    KivoTagHandle& operator[](const std::string& role) { return roles_[role]; }

    void Own(KivoTagHandle top) { tops_.push_back(top); }
    void Disown(KivoTagHandle top) {
        tops_.erase(std::remove(tops_.begin(), tops_.end(), top), tops_.end());
    }

    std::string DumpAll() const {
        std::string dumps;
        for (KivoTagHandle top : tops_) {
            dumps += DumpTree(top) + "\n";
        }
        return dumps;
    }

    std::string CheckAll() const {
        std::string breaches;
        for (KivoTagHandle top : tops_) {
            breaches += CheckInvariants(top);
        }
        return breaches;
    }

    void DestroyAll() {
        for (KivoTagHandle top : tops_) {
            nkDeleteKivoTag(top);
        }
        tops_.clear();
        roles_.clear();
    }

  private:
    std::vector<KivoTagHandle> tops_;
    std::map<std::string, KivoTagHandle> roles_;
};

// Long enough that every copy needs a heap block of its own rather than the
// string's inline buffer, so each string copy is an allocation point.
const char* const kLongName = "an-element-name-longer-than-any-inline-buffer";
const char* const kLongValue = "a value long enough that copying it has to allocate memory";

// One call of the script. Returns true when the call succeeded; the lambda
// makes exactly one library call with the allocator armed and keeps the
// host's books only on success.
struct EditStep {
    const char* label;
    bool (*run)(EditHost& host);
};

bool Create(EditHost& host, const char* role, const char* name) {
    KivoTagHandle tag = CallArmed([name] { return nkCreateKivoTag(name); });
    if (tag == nullptr) {
        return false;
    }
    host[role] = tag;
    host.Own(tag);
    return true;
}

bool Add(EditHost& host, const char* parent, int index, const char* sub) {
    KivoTagHandle parentTag = host[parent];
    KivoTagHandle subTag = host[sub];
    const bool wasTop = nkGetKivoTagParentTag(subTag) == nullptr;
    KivoTagHandle added = CallArmed([=] { return nkAddKivoTagSubTag(parentTag, index, subTag); });
    if (added != subTag) {
        return false;
    }
    if (wasTop) {
        host.Disown(subTag);
    }
    return true;
}

bool Clone(EditHost& host, const char* source, const char* role) {
    KivoTagHandle sourceTag = host[source];
    KivoTagHandle clone = CallArmed([=] { return nkCloneKivoTag(sourceTag); });
    if (clone == nullptr) {
        return false;
    }
    host[role] = clone;
    host.Own(clone);
    return true;
}

bool SetAttr(EditHost& host, const char* role, const char* name, const char* value) {
    KivoTagHandle tag = host[role];
    return CallArmed([=] { return nkSetKivoTagAttr(tag, name, value); }) == 1;
}

const EditStep kScript[] = {
    {"create the document", [](EditHost& h) { return Create(h, "doc", "doc"); }},
    {"rename it to a long name",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         return CallArmed([=] { return nkSetKivoTagName(doc, kLongName); }) == 1;
     }},
    {"set a long value",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         return CallArmed([=] { return nkSetKivoTagValue(doc, kLongValue); }) == 1;
     }},
    {"append a first attribute",
     [](EditHost& h) { return SetAttr(h, "doc", "first", kLongValue); }},
    {"append a long-named attribute",
     [](EditHost& h) { return SetAttr(h, "doc", kLongName, "short"); }},
    {"append a third attribute", [](EditHost& h) { return SetAttr(h, "doc", "third", "3"); }},
    {"append a fourth attribute", [](EditHost& h) { return SetAttr(h, "doc", "fourth", "4"); }},
    {"append a fifth attribute, growing the list",
     [](EditHost& h) { return SetAttr(h, "doc", "fifth", kLongValue); }},
    {"replace an attribute's value in place",
     [](EditHost& h) {
         return SetAttr(h, "doc", "first", "another long value, replaced in place");
     }},
    {"create a section", [](EditHost& h) { return Create(h, "section", kLongName); }},
    {"add it under the document", [](EditHost& h) { return Add(h, "doc", 0, "section"); }},
    {"create a second section",
     [](EditHost& h) { return Create(h, "section2", "section-two-of-the-doc"); }},
    {"add it at the front", [](EditHost& h) { return Add(h, "doc", 0, "section2"); }},
    {"create an item", [](EditHost& h) { return Create(h, "item", "item"); }},
    {"give the item an attribute",
     [](EditHost& h) { return SetAttr(h, "item", "sku", kLongValue); }},
    {"add the item under the section", [](EditHost& h) { return Add(h, "section", -1, "item"); }},
    {"create a third section", [](EditHost& h) { return Create(h, "section3", "third"); }},
    {"add it in the middle", [](EditHost& h) { return Add(h, "doc", 1, "section3"); }},
    {"create a fourth section", [](EditHost& h) { return Create(h, "section4", "fourth"); }},
    {"add it at the end, growing the list",
     [](EditHost& h) { return Add(h, "doc", 99, "section4"); }},
    {"create a fifth section", [](EditHost& h) { return Create(h, "section5", "fifth"); }},
    {"add it, growing the list again", [](EditHost& h) { return Add(h, "doc", 2, "section5"); }},
    {"clone the whole document", [](EditHost& h) { return Clone(h, "doc", "copy"); }},
    {"clone a section out of the tree",
     [](EditHost& h) { return Clone(h, "section", "sectionCopy"); }},
    {"move the item into the cloned section",
     [](EditHost& h) { return Add(h, "sectionCopy", 0, "item"); }},
    {"move a section from the clone's tree into the document",
     [](EditHost& h) {
         KivoTagHandle copy = h["copy"];
         h["copied"] = nkGetKivoTagSubTag(copy, 0, 0);
         return Add(h, "section2", 0, "copied");
     }},
    {"move the cloned section under the clone",
     [](EditHost& h) { return Add(h, "copy", 0, "sectionCopy"); }},
    {"re-add a child where it is", [](EditHost& h) { return Add(h, "doc", 0, "section3"); }},
    {"refuse a cycle", [](EditHost& h) { return !Add(h, "item", 0, "copy"); }},
    {"detach a section",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         KivoTagHandle detached = CallArmed([=] { return nkGetKivoTagSubTag(doc, 0, 1); });
         if (detached == nullptr) {
             return false;
         }
         h["detached"] = detached;
         h.Own(detached);
         return true;
     }},
    {"add the detached section into the clone",
     [](EditHost& h) { return Add(h, "copy", 1, "detached"); }},
    {"remove an attribute",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         return CallArmed([=] { return nkDelKivoTagAttr(doc, kLongName); }) == 1;
     }},
    {"set an attribute again, appending",
     [](EditHost& h) { return SetAttr(h, "doc", kLongName, kLongValue); }},
    {"delete a sub tag",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         KivoTagHandle section4 = h["section4"];
         return CallArmed([=] { return nkDelKivoTagSubTag(doc, section4); }) == 1;
     }},
    {"delete a tag that has a parent",
     [](EditHost& h) {
         KivoTagHandle section5 = h["section5"];
         return CallArmed([=] {
             nkDeleteKivoTag(section5);
             return true;
         });
     }},
    {"clear the clone's attributes",
     [](EditHost& h) {
         KivoTagHandle copy = h["copy"];
         return CallArmed([=] { return nkClearKivoTagAttr(copy); }) == 1;
     }},
    {"clear the document's sub tags",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         return CallArmed([=] { return nkClearKivoTagSubTag(doc); }) == 1;
     }},
    {"set the value to null",
     [](EditHost& h) {
         KivoTagHandle doc = h["doc"];
         return CallArmed([=] { return nkSetKivoTagValue(doc, nullptr); }) == 1;
     }},
    {"set an empty name",
     [](EditHost& h) {
         KivoTagHandle copy = h["copy"];
         return CallArmed([=] { return nkSetKivoTagName(copy, ""); }) == 1;
     }},
    {"clone the edited clone", [](EditHost& h) { return Clone(h, "copy", "copyOfCopy"); }},
};

// Runs the script with the k-th allocation failing. Returns true when an
// allocation failed on the way, that is, when k was inside the script.
bool RunScriptFailingAt(std::uint64_t failAt) {
    CountingAllocator::StartScenario(failAt);
    EditHost host;
    bool failedOnce = false;
    for (const EditStep& step : kScript) {
        const std::string before = host.DumpAll();
        const std::uint64_t injectedBefore = CountingAllocator::Injected();
        const bool succeeded = step.run(host);
        const bool injectedHere = CountingAllocator::Injected() != injectedBefore;
        EXPECT_EQ(host.CheckAll(), "") << "k=" << failAt << ", step: " << step.label;
        if (!injectedHere) {
            EXPECT_TRUE(succeeded) << "k=" << failAt << ", step: " << step.label;
            continue;
        }
        EXPECT_FALSE(succeeded) << "k=" << failAt << ", step: " << step.label
                                << " succeeded although an allocation failed";
        EXPECT_EQ(host.DumpAll(), before) << "k=" << failAt << ", step: " << step.label;
        failedOnce = true;
        // Later allocation points are reached by larger k; the script stops
        // here, because what follows depends on this call's result.
        break;
    }
    host.DestroyAll();
    EXPECT_EQ(CountingAllocator::LiveCount(), 0u)
        << "k=" << failAt << ": " << CountingAllocator::LiveBytes() << " bytes leaked";
    return failedOnce;
}

TEST(AllocationFailure, EveryAllocationOfAnEditingScriptFailsCleanly) {
    std::uint64_t failAt = 1;
    while (RunScriptFailingAt(failAt) && !HasFailure()) {
        ++failAt;
    }
    // The last run completed without a failure: it had failAt - 1 points.
    const std::uint64_t points = CountingAllocator::Counted();
    EXPECT_EQ(points, failAt - 1);
    EXPECT_GT(points, 40u) << "the script no longer reaches the allocations it was made for";
    std::cout << "[ sweep    ] editing script: " << points << " allocation points\n";
    RecordProperty("allocation_points", static_cast<int>(points));
}

} // namespace
