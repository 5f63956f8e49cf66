#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

enum class Op { Set, Del, Clear };

struct AttrStep {
    Op op;
    const char* name;
    const char* value;
    int expected;
};

struct AttrCase {
    const char* label;
    std::vector<AttrStep> steps;
    // The dump of tag "t" after the steps; it lists the attributes by index.
    const char* dump;
};

// Every case starts from t[a="1" b="2" c="3"].
const std::vector<AttrCase>& AttrCases() {
    static const std::vector<AttrCase> cases = {
        {"replace keeps the position", {{Op::Set, "b", "9", 1}}, "t[a=\"1\" b=\"9\" c=\"3\"]"},
        {"replace the first", {{Op::Set, "a", "x", 1}}, "t[a=\"x\" b=\"2\" c=\"3\"]"},
        {"new name appends", {{Op::Set, "d", "4", 1}}, "t[a=\"1\" b=\"2\" c=\"3\" d=\"4\"]"},
        {"remove first moves later ones up", {{Op::Del, "a", nullptr, 1}}, "t[b=\"2\" c=\"3\"]"},
        {"remove middle", {{Op::Del, "b", nullptr, 1}}, "t[a=\"1\" c=\"3\"]"},
        {"remove last", {{Op::Del, "c", nullptr, 1}}, "t[a=\"1\" b=\"2\"]"},
        {"remove then set again appends at the end",
         {{Op::Del, "a", nullptr, 1}, {Op::Set, "a", "1", 1}},
         "t[b=\"2\" c=\"3\" a=\"1\"]"},
        {"remove a missing name", {{Op::Del, "zz", nullptr, 0}}, "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"remove twice",
         {{Op::Del, "b", nullptr, 1}, {Op::Del, "b", nullptr, 0}},
         "t[a=\"1\" c=\"3\"]"},
        {"remove with null name", {{Op::Del, nullptr, nullptr, 0}}, "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"set with null name", {{Op::Set, nullptr, "v", 0}}, "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"set new name with null value",
         {{Op::Set, "d", nullptr, 0}},
         "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"null value keeps an existing value",
         {{Op::Set, "b", nullptr, 0}},
         "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"empty value is stored", {{Op::Set, "b", "", 1}}, "t[a=\"1\" b=\"\" c=\"3\"]"},
        {"empty name is an ordinary name",
         {{Op::Set, "", "e", 1}, {Op::Set, "", "f", 1}},
         "t[a=\"1\" b=\"2\" c=\"3\" =\"f\"]"},
        {"empty name can be removed",
         {{Op::Set, "", "e", 1}, {Op::Del, "", nullptr, 1}},
         "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"names differ by case",
         {{Op::Set, "A", "big", 1}},
         "t[a=\"1\" b=\"2\" c=\"3\" A=\"big\"]"},
        {"remove is case-sensitive", {{Op::Del, "B", nullptr, 0}}, "t[a=\"1\" b=\"2\" c=\"3\"]"},
        {"a name is not its prefix",
         {{Op::Set, "ab", "p", 1}, {Op::Del, "a", nullptr, 1}},
         "t[b=\"2\" c=\"3\" ab=\"p\"]"},
        {"prefixed names",
         {{Op::Set, "xmlns:x", "urn:x", 1}, {Op::Set, "x:a", "1", 1}},
         "t[a=\"1\" b=\"2\" c=\"3\" xmlns:x=\"urn:x\" x:a=\"1\"]"},
        {"clear", {{Op::Clear, nullptr, nullptr, 1}}, "t"},
        {"clear twice", {{Op::Clear, nullptr, nullptr, 1}, {Op::Clear, nullptr, nullptr, 1}}, "t"},
        {"set after clear",
         {{Op::Clear, nullptr, nullptr, 1}, {Op::Set, "c", "new", 1}},
         "t[c=\"new\"]"},
        {"remove after clear", {{Op::Clear, nullptr, nullptr, 1}, {Op::Del, "a", nullptr, 0}}, "t"},
    };
    return cases;
}

int Apply(KivoTagHandle tag, const AttrStep& step) {
    switch (step.op) {
    case Op::Set:
        return nkSetKivoTagAttr(tag, step.name, step.value);
    case Op::Del:
        return nkDelKivoTagAttr(tag, step.name);
    case Op::Clear:
        return nkClearKivoTagAttr(tag);
    }
    return -1;
}

TEST(TagAttrs, SetRemoveAndClearKeepTheOrder) {
    for (const AttrCase& c : AttrCases()) {
        SCOPED_TRACE(c.label);
        OwnedTag tag = BuildTree({"t", "", {{"a", "1"}, {"b", "2"}, {"c", "3"}}});
        ASSERT_NE(tag, nullptr);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(Apply(tag.get(), c.steps[i]), c.steps[i].expected) << "step " << i;
            EXPECT_EQ(CheckInvariants(tag.get()), "") << "step " << i;
        }
        EXPECT_EQ(DumpTree(tag.get()), c.dump);
    }
}

struct LookupCase {
    const char* label;
    const char* name;
    const char* value; // null: not found
};

TEST(TagAttrs, LookupByNameIsExactAndCaseSensitive) {
    OwnedTag tag = BuildTree(
        {"t", "", {{"id", "7"}, {"Id", "8"}, {"", "empty name"}, {"x:lang", "fi"}, {"blank", ""}}});
    ASSERT_NE(tag, nullptr);
    const LookupCase cases[] = {
        {"exact name", "id", "7"},
        {"other case is another attribute", "Id", "8"},
        {"upper case absent", "ID", nullptr},
        {"empty name", "", "empty name"},
        {"prefixed", "x:lang", "fi"},
        {"local part alone is not the name", "lang", nullptr},
        {"prefix of a name", "i", nullptr},
        {"longer than a name", "idx", nullptr},
        {"empty value is found, not null", "blank", ""},
        {"null name", nullptr, nullptr},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.label);
        const char* found = nkGetKivoTagAttr(tag.get(), c.name);
        if (c.value == nullptr) {
            EXPECT_EQ(found, nullptr);
        } else {
            ASSERT_NE(found, nullptr);
            EXPECT_STREQ(found, c.value);
        }
    }
}

TEST(TagAttrs, IndexAccessIsBoundedByTheCount) {
    OwnedTag tag = BuildTree({"t", "", {{"a", "1"}, {"b", "2"}}});
    ASSERT_NE(tag, nullptr);
    ASSERT_EQ(nkGetKivoTagAttrCount(tag.get()), 2);
    for (const int index : {2, 3, 1000, INT_MAX, -1, -2, INT_MIN}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(nkGetKivoTagAttrName(tag.get(), index), nullptr);
        EXPECT_EQ(nkGetKivoTagAttrValue(tag.get(), index), nullptr);
    }
    EXPECT_STREQ(nkGetKivoTagAttrName(tag.get(), 1), "b");
    EXPECT_STREQ(nkGetKivoTagAttrValue(tag.get(), 1), "2");
}

TEST(TagAttrs, StoresCopiesOfNameAndValue) {
    OwnedTag tag(nkCreateKivoTag("t"));
    ASSERT_NE(tag, nullptr);
    char name[] = "key";
    char value[] = "val";
    ASSERT_EQ(nkSetKivoTagAttr(tag.get(), name, value), 1);
    name[0] = 'X';
    value[0] = 'X';
    EXPECT_EQ(DumpTree(tag.get()), "t[key=\"val\"]");
}

TEST(TagAttrs, ReplacingWithTheCurrentValueKeepsIt) {
    OwnedTag tag = BuildTree({"t", "", {{"a", "same"}}});
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(nkSetKivoTagAttr(tag.get(), "a", nkGetKivoTagAttr(tag.get(), "a")), 1);
    EXPECT_EQ(nkSetKivoTagAttr(tag.get(), nkGetKivoTagAttrName(tag.get(), 0), "new"), 1);
    EXPECT_EQ(DumpTree(tag.get()), "t[a=\"new\"]");
}

TEST(TagAttrs, ManyAttributesKeepInsertionOrder) {
    OwnedTag tag(nkCreateKivoTag("t"));
    ASSERT_NE(tag, nullptr);
    const int count = 500;
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(nkSetKivoTagAttr(tag.get(), ("n" + std::to_string(i)).c_str(),
                                   std::to_string(i).c_str()),
                  1);
    }
    // Remove every even one; the odd ones close up in order.
    for (int i = 0; i < count; i += 2) {
        ASSERT_EQ(nkDelKivoTagAttr(tag.get(), ("n" + std::to_string(i)).c_str()), 1);
    }
    ASSERT_EQ(nkGetKivoTagAttrCount(tag.get()), count / 2);
    for (int i = 0; i < count / 2; ++i) {
        EXPECT_EQ(std::string(nkGetKivoTagAttrName(tag.get(), i)), "n" + std::to_string(2 * i + 1));
    }
}

} // namespace
