#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CreateCase {
    const char* label;
    const char* name;
    bool created;
};

TEST(TagCreate, RefusesOnlyANullOrEmptyNameAndStartsEmpty) {
    const CreateCase cases[] = {
        {"null name", nullptr, false},
        {"empty name", "", false},
        {"one letter", "a", true},
        {"prefixed name kept whole", "x:item", true},
        {"blank name is not empty", " ", true},
        {"utf-8 bytes kept as bytes", "\xC3\xA9l\xC3\xA9ment", true},
    };
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(c.label);
        OwnedTag tag(nkCreateKivoTag(c.name));
        if (!c.created) {
            EXPECT_EQ(tag, nullptr);
            continue;
        }
        ASSERT_NE(tag, nullptr);
        EXPECT_STREQ(nkGetKivoTagName(tag.get()), c.name);
        ASSERT_NE(nkGetKivoTagValue(tag.get()), nullptr);
        EXPECT_STREQ(nkGetKivoTagValue(tag.get()), "");
        EXPECT_EQ(nkGetKivoTagAttrCount(tag.get()), 0);
        EXPECT_EQ(nkGetKivoTagSubTagCount(tag.get()), 0);
        EXPECT_EQ(nkGetKivoTagParentTag(tag.get()), nullptr);
    }
}

TEST(TagCreate, CopiesTheNameItIsGiven) {
    char name[] = "before";
    OwnedTag tag(nkCreateKivoTag(name));
    ASSERT_NE(tag, nullptr);
    name[0] = 'X';
    EXPECT_STREQ(nkGetKivoTagName(tag.get()), "before");
}

enum class Field { Name, Value };

struct SetStringCase {
    const char* label;
    Field field;
    const char* input;
    const char* stored;
};

TEST(TagStrings, SetNameAndValueAlwaysSucceedAndNullMeansEmpty) {
    const SetStringCase cases[] = {
        {"rename", Field::Name, "renamed", "renamed"},
        {"rename to empty is accepted", Field::Name, "", ""},
        {"rename to null gives empty", Field::Name, nullptr, ""},
        {"rename keeps prefix", Field::Name, "ns:b", "ns:b"},
        {"value", Field::Value, "some text", "some text"},
        {"value with inner and outer blanks kept as given", Field::Value, "  a b  ", "  a b  "},
        {"empty value", Field::Value, "", ""},
        {"null value gives empty, not null", Field::Value, nullptr, ""},
    };
    for (const SetStringCase& c : cases) {
        SCOPED_TRACE(c.label);
        OwnedTag tag = BuildTree({"orig", "old value", {{"k", "v"}}, {{"child"}}});
        ASSERT_NE(tag, nullptr);
        const bool isName = c.field == Field::Name;
        const int result =
            isName ? nkSetKivoTagName(tag.get(), c.input) : nkSetKivoTagValue(tag.get(), c.input);
        EXPECT_EQ(result, 1);
        const char* name = nkGetKivoTagName(tag.get());
        const char* value = nkGetKivoTagValue(tag.get());
        ASSERT_NE(name, nullptr);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(isName ? name : value, c.stored);
        // The other field, the attributes and the sub tags are untouched.
        EXPECT_STREQ(isName ? value : name, isName ? "old value" : "orig");
        EXPECT_EQ(nkGetKivoTagAttrCount(tag.get()), 1);
        EXPECT_EQ(nkGetKivoTagSubTagCount(tag.get()), 1);
    }
}

TEST(TagStrings, StoresCopiesSoTheCallersBufferCanChange) {
    OwnedTag tag(nkCreateKivoTag("t"));
    ASSERT_NE(tag, nullptr);
    std::string name = "name";
    std::string value = "value";
    ASSERT_EQ(nkSetKivoTagName(tag.get(), name.c_str()), 1);
    ASSERT_EQ(nkSetKivoTagValue(tag.get(), value.c_str()), 1);
    name.assign(100, 'n');
    value.assign(100, 'v');
    EXPECT_STREQ(nkGetKivoTagName(tag.get()), "name");
    EXPECT_STREQ(nkGetKivoTagValue(tag.get()), "value");
}

TEST(TagStrings, SettingATagToItsOwnStringKeepsIt) {
    // The getter's pointer is into the tag; setting from it must copy before
    // the old string is released.
    OwnedTag tag = BuildTree({"self", "own value"});
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(nkSetKivoTagName(tag.get(), nkGetKivoTagName(tag.get())), 1);
    EXPECT_EQ(nkSetKivoTagValue(tag.get(), nkGetKivoTagValue(tag.get())), 1);
    EXPECT_EQ(DumpTree(tag.get()), "self=\"own value\"");
}

TEST(TagStrings, LongValuesAreStoredWhole) {
    OwnedTag tag(nkCreateKivoTag("t"));
    ASSERT_NE(tag, nullptr);
    const std::string value(1 << 20, 'q');
    ASSERT_EQ(nkSetKivoTagValue(tag.get(), value.c_str()), 1);
    EXPECT_EQ(std::string(nkGetKivoTagValue(tag.get())), value);
}

TEST(TagDelete, DestroysTheWholeSubtree) {
    // Under ASan/LeakSanitizer a subtree left behind shows up as a leak.
    OwnedTag tag = BuildTree({"top",
                              "",
                              {{"a", "1"}},
                              {{"c1", "", {}, {{"g1"}, {"g2", "", {{"x", "y"}}, {{"gg"}}}}},
                               {"c2", "v"},
                               {"c3", "", {}, {{"g3"}}}}});
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(CheckInvariants(tag.get()), "");
    nkDeleteKivoTag(tag.release());
}

} // namespace
