#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

namespace {

std::vector<KivoTagHandle> AllTags(KivoTagHandle top) {
    std::vector<KivoTagHandle> tags{top};
    for (size_t i = 0; i < tags.size(); ++i) {
        for (int j = 0; j < nkGetKivoTagSubTagCount(tags[i]); ++j) {
            tags.push_back(nkGetKivoTagSubTag(tags[i], j, 0));
        }
    }
    return tags;
}

// Every string the tree hands out, by address.
std::unordered_set<const void*> AllStrings(KivoTagHandle top) {
    std::unordered_set<const void*> strings;
    for (KivoTagHandle tag : AllTags(top)) {
        strings.insert(nkGetKivoTagName(tag));
        strings.insert(nkGetKivoTagValue(tag));
        for (int i = 0; i < nkGetKivoTagAttrCount(tag); ++i) {
            strings.insert(nkGetKivoTagAttrName(tag, i));
            strings.insert(nkGetKivoTagAttrValue(tag, i));
        }
    }
    return strings;
}

const TagShape kRichTree = {
    "doc",
    "top text",
    {{"id", "1"}, {"xmlns:x", "urn:x"}, {"", "unnamed"}, {"empty", ""}},
    {{"x:first", "one", {{"z", "26"}, {"y", "25"}}, {{"leaf"}, {"leaf2", "v"}}},
     {"second"},
     {"third", "", {}, {{"deep", "", {}, {{"deeper", "", {}, {{"deepest", "bottom"}}}}}}}}};

struct CloneCase {
    const char* label;
    TagShape source;
};

TEST(Clone, ReproducesTheTreeAndSharesNothing) {
    const CloneCase cases[] = {
        {"a bare tag", {"t"}},
        {"value and attributes", {"t", "v", {{"b", "2"}, {"a", "1"}}}},
        {"rich tree", kRichTree},
        {"wide", {"w", "", {}, {{"c1"}, {"c2"}, {"c3"}, {"c4"}, {"c5"}, {"c6"}, {"c7"}}}},
        {"chain", {"l0", "", {}, {{"l1", "", {}, {{"l2", "", {}, {{"l3", "", {}, {{"l4"}}}}}}}}}},
    };
    for (const CloneCase& c : cases) {
        SCOPED_TRACE(c.label);
        OwnedTag source = BuildTree(c.source);
        ASSERT_NE(source, nullptr);
        const std::string before = DumpTree(source.get());
        OwnedTag clone(nkCloneKivoTag(source.get()));
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(DumpTree(clone.get()), before);
        EXPECT_EQ(DumpTree(source.get()), before);
        EXPECT_EQ(CheckInvariants(clone.get()), "");
        EXPECT_EQ(CheckInvariants(source.get()), "");

        const std::vector<KivoTagHandle> sourceTags = AllTags(source.get());
        const std::unordered_set<KivoTagHandle> sourceSet(sourceTags.begin(), sourceTags.end());
        for (KivoTagHandle tag : AllTags(clone.get())) {
            EXPECT_EQ(sourceSet.count(tag), 0u) << nkGetKivoTagName(tag);
        }
        const auto sourceStrings = AllStrings(source.get());
        for (const void* text : AllStrings(clone.get())) {
            EXPECT_EQ(sourceStrings.count(text), 0u);
        }
    }
}

TEST(Clone, KeepsAnEmptyNameGivenByRenaming) {
    OwnedTag source = BuildTree({"named", "", {}, {{"child"}}});
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(nkSetKivoTagName(nkGetKivoTagSubTag(source.get(), 0, 0), ""), 1);
    OwnedTag clone(nkCloneKivoTag(source.get()));
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(DumpTree(clone.get()), DumpTree(source.get()));
    EXPECT_STREQ(nkGetKivoTagName(nkGetKivoTagSubTag(clone.get(), 0, 0)), "");
}

TEST(Clone, TheCloneOfASubTagIsATopTag) {
    OwnedTag source = BuildTree(kRichTree);
    ASSERT_NE(source, nullptr);
    const std::string before = DumpTree(source.get());
    for (const char* name : {"x:first", "third", "deeper", "deepest"}) {
        SCOPED_TRACE(name);
        KivoTagHandle original = FindByName(source.get(), name);
        ASSERT_NE(original, nullptr);
        OwnedTag clone(nkCloneKivoTag(original));
        ASSERT_NE(clone, nullptr);
        EXPECT_EQ(nkGetKivoTagParentTag(clone.get()), nullptr);
        EXPECT_EQ(DumpTree(clone.get()), DumpTree(original));
        EXPECT_EQ(CheckInvariants(clone.get()), "");
        EXPECT_NE(nkGetKivoTagParentTag(original), nullptr);
    }
    EXPECT_EQ(DumpTree(source.get()), before);
    EXPECT_EQ(CheckInvariants(source.get()), "");
}

struct Edit {
    const char* label;
    void (*apply)(KivoTagHandle top);
};

const Edit kEdits[] = {
    {"rename the top", [](KivoTagHandle top) { nkSetKivoTagName(top, "renamed"); }},
    {"set a deep value",
     [](KivoTagHandle top) { nkSetKivoTagValue(FindByName(top, "deepest"), "changed"); }},
    {"replace an attribute value", [](KivoTagHandle top) { nkSetKivoTagAttr(top, "id", "2"); }},
    {"add an attribute",
     [](KivoTagHandle top) { nkSetKivoTagAttr(FindByName(top, "second"), "new", "n"); }},
    {"remove an attribute",
     [](KivoTagHandle top) { nkDelKivoTagAttr(FindByName(top, "x:first"), "z"); }},
    {"clear attributes", [](KivoTagHandle top) { nkClearKivoTagAttr(top); }},
    {"add a sub tag",
     [](KivoTagHandle top) {
         nkAddKivoTagSubTag(FindByName(top, "leaf"), 0, nkCreateKivoTag("n"));
     }},
    {"move a sub tag within the tree",
     [](KivoTagHandle top) { nkAddKivoTagSubTag(top, 0, FindByName(top, "deeper")); }},
    {"delete a sub tag",
     [](KivoTagHandle top) { nkDelKivoTagSubTag(top, FindByName(top, "second")); }},
    {"detach and destroy a sub tag",
     [](KivoTagHandle top) { nkDeleteKivoTag(nkGetKivoTagSubTag(top, 0, 1)); }},
    {"clear the sub tags", [](KivoTagHandle top) { nkClearKivoTagSubTag(top); }},
};

TEST(Clone, EditingTheCloneLeavesTheSourceAlone) {
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(edit.label);
        OwnedTag source = BuildTree(kRichTree);
        ASSERT_NE(source, nullptr);
        const std::string before = DumpTree(source.get());
        OwnedTag clone(nkCloneKivoTag(source.get()));
        ASSERT_NE(clone, nullptr);
        edit.apply(clone.get());
        EXPECT_NE(DumpTree(clone.get()), before) << "the edit changed nothing";
        EXPECT_EQ(DumpTree(source.get()), before);
        clone.reset();
        EXPECT_EQ(DumpTree(source.get()), before);
        EXPECT_EQ(CheckInvariants(source.get()), "");
    }
}

TEST(Clone, EditingTheSourceLeavesTheCloneAlone) {
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(edit.label);
        OwnedTag source = BuildTree(kRichTree);
        ASSERT_NE(source, nullptr);
        OwnedTag clone(nkCloneKivoTag(source.get()));
        ASSERT_NE(clone, nullptr);
        const std::string before = DumpTree(clone.get());
        edit.apply(source.get());
        EXPECT_NE(DumpTree(source.get()), before) << "the edit changed nothing";
        EXPECT_EQ(DumpTree(clone.get()), before);
        source.reset();
        EXPECT_EQ(DumpTree(clone.get()), before);
        EXPECT_EQ(CheckInvariants(clone.get()), "");
    }
}

TEST(Clone, ACloneCanBeAddedIntoItsSource) {
    OwnedTag source = BuildTree(kRichTree);
    ASSERT_NE(source, nullptr);
    const std::string before = DumpTree(source.get());
    KivoTagHandle clone = nkCloneKivoTag(source.get());
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(nkAddKivoTagSubTag(FindByName(source.get(), "deepest"), 0, clone), clone);
    EXPECT_EQ(DumpTree(clone), before);
    EXPECT_EQ(CheckInvariants(source.get()), "");
}

} // namespace
