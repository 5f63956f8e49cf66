#include "TagBuilder.h"
#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// Two separate trees, so moves between trees and between branches of one
// tree can both be checked by comparing the two dumps.
//   main:  root{a[k="v"]{a1 a2{a21}} b="text" c}
//   other: o{o1{o11} o2}
class Forest {
  public:
    Forest()
        : main_(BuildTree({"root",
                           "",
                           {},
                           {{"a", "", {{"k", "v"}}, {{"a1"}, {"a2", "", {}, {{"a21"}}}}},
                            {"b", "text"},
                            {"c"}}})),
          other_(BuildTree({"o", "", {}, {{"o1", "", {}, {{"o11"}}}, {"o2"}}})) {}

    bool Built() const { return main_ && other_; }

    // A tag of either tree by its (unique) name; "" gives null.
    KivoTagHandle Tag(const std::string& name) const {
        if (name.empty()) {
            return nullptr;
        }
        KivoTagHandle found = main_ ? FindByName(main_.get(), name) : nullptr;
        if (found == nullptr && other_) {
            found = FindByName(other_.get(), name);
        }
        return found;
    }

    std::string MainDump() const { return main_ ? DumpTree(main_.get()) : "(gone)"; }
    std::string OtherDump() const { return other_ ? DumpTree(other_.get()) : "(gone)"; }

    std::string Invariants() const {
        return (main_ ? CheckInvariants(main_.get()) : "") +
               (other_ ? CheckInvariants(other_.get()) : "");
    }

    // A top tag that was added under another tag is owned there now.
    void ReleaseAdoptedTops() {
        for (OwnedTag* top : {&main_, &other_}) {
            if (*top && nkGetKivoTagParentTag(top->get()) != nullptr) {
                static_cast<void>(top->release());
            }
        }
    }

  private:
    OwnedTag main_;
    OwnedTag other_;
};

const char* const kMainDump = "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c}";
const char* const kOtherDump = "o{o1{o11} o2}";

struct InsertCase {
    const char* label;
    int index;
    const char* dump;
};

TEST(HierarchyAdd, PositionIsClampedAndNegativeAppends) {
    const InsertCase cases[] = {
        {"index 0 goes first", 0, "root{x a[k=\"v\"]{a1 a2{a21}} b=\"text\" c}"},
        {"index 1 goes between", 1, "root{a[k=\"v\"]{a1 a2{a21}} x b=\"text\" c}"},
        {"index 2 goes before the last", 2, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" x c}"},
        {"index equal to the count appends", 3, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c x}"},
        {"index past the count appends", 4, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c x}"},
        {"huge index appends", INT_MAX, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c x}"},
        {"-1 appends", -1, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c x}"},
        {"most negative appends", INT_MIN, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c x}"},
    };
    for (const InsertCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        KivoTagHandle root = forest.Tag("root");
        OwnedTag x(nkCreateKivoTag("x"));
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(nkAddKivoTagSubTag(root, c.index, x.get()), x.get());
        EXPECT_EQ(nkGetKivoTagParentTag(x.get()), root);
        static_cast<void>(x.release());
        EXPECT_EQ(forest.MainDump(), c.dump);
        EXPECT_EQ(forest.Invariants(), "");
    }
}

TEST(HierarchyAdd, AnEmptyTagCanCollectManyChildrenAtTheFront) {
    OwnedTag top(nkCreateKivoTag("top"));
    ASSERT_NE(top, nullptr);
    for (const char* name : {"c", "b", "a"}) {
        KivoTagHandle child = nkCreateKivoTag(name);
        ASSERT_EQ(nkAddKivoTagSubTag(top.get(), 0, child), child);
    }
    EXPECT_EQ(DumpTree(top.get()), "top{a b c}");
    EXPECT_EQ(CheckInvariants(top.get()), "");
}

struct MoveCase {
    const char* label;
    const char* parent;
    int index;
    const char* sub; // "" for a null sub tag
    bool accepted;
    const char* mainDump;
    const char* otherDump;
};

TEST(HierarchyAdd, MovesRefusalsAndReAdds) {
    const MoveCase cases[] = {
        {"leaf from another tree to the front", "root", 0, "o2", true,
         "root{o2 a[k=\"v\"]{a1 a2{a21}} b=\"text\" c}", "o{o1{o11}}"},
        {"subtree from another tree; later siblings move up", "root", 1, "o1", true,
         "root{a[k=\"v\"]{a1 a2{a21}} o1{o11} b=\"text\" c}", "o{o2}"},
        {"another tree's top tag with its subtree", "c", 0, "o", true,
         "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\" c{o{o1{o11} o2}}}", "(gone)"},
        {"between branches of one tree", "b", 0, "a2", true,
         "root{a[k=\"v\"]{a1} b=\"text\"{a2{a21}} c}", kOtherDump},
        {"grandchild up to the top", "root", 0, "a21", true,
         "root{a21 a[k=\"v\"]{a1 a2} b=\"text\" c}", kOtherDump},
        {"into a former sibling", "b", 0, "c", true, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\"{c}}",
         kOtherDump},
        {"into a former sibling's descendant", "a21", 0, "b", true,
         "root{a[k=\"v\"]{a1 a2{a21{b=\"text\"}}} c}", kOtherDump},
        {"a tag with children into a leaf of another branch", "c", 0, "a", true,
         "root{b=\"text\" c{a[k=\"v\"]{a1 a2{a21}}}}", kOtherDump},
        {"re-adding a child at the front keeps its place", "root", 0, "c", true, kMainDump,
         kOtherDump},
        {"re-adding a child at the end keeps its place", "root", -1, "a", true, kMainDump,
         kOtherDump},
        {"re-adding the only child", "a2", 0, "a21", true, kMainDump, kOtherDump},
        {"a leaf under itself", "b", 0, "b", false, kMainDump, kOtherDump},
        {"a tag with children under itself", "a", 0, "a", false, kMainDump, kOtherDump},
        {"under its own child", "a2", 0, "a", false, kMainDump, kOtherDump},
        {"under its own grandchild", "a21", 0, "a", false, kMainDump, kOtherDump},
        {"the top under a leaf of its tree", "a21", 0, "root", false, kMainDump, kOtherDump},
        {"the top under its direct child", "c", 0, "root", false, kMainDump, kOtherDump},
        {"a null sub tag", "root", 0, "", false, kMainDump, kOtherDump},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        KivoTagHandle parent = forest.Tag(c.parent);
        KivoTagHandle sub = forest.Tag(c.sub);
        KivoTagHandle oldParent = nkGetKivoTagParentTag(sub);
        const int oldParentCount = nkGetKivoTagSubTagCount(oldParent);
        ASSERT_NE(parent, nullptr);
        KivoTagHandle result = nkAddKivoTagSubTag(parent, c.index, sub);
        EXPECT_EQ(result, c.accepted ? sub : nullptr);
        if (c.accepted) {
            EXPECT_EQ(nkGetKivoTagParentTag(sub), parent);
            if (oldParent != nullptr && oldParent != parent) {
                EXPECT_EQ(nkGetKivoTagSubTagCount(oldParent), oldParentCount - 1);
            }
        }
        forest.ReleaseAdoptedTops();
        EXPECT_EQ(forest.MainDump(), c.mainDump);
        EXPECT_EQ(forest.OtherDump(), c.otherDump);
        EXPECT_EQ(forest.Invariants(), "");
    }
}

struct GetCase {
    const char* label;
    int index;
    int detach;
    const char* got; // null: no tag
    const char* mainDump;
};

TEST(HierarchyGet, ReadsOrDetachesBySignedIndex) {
    const GetCase cases[] = {
        {"read first", 0, 0, "a", kMainDump},
        {"read last", 2, 0, "c", kMainDump},
        {"read at the count", 3, 0, nullptr, kMainDump},
        {"read at -1", -1, 0, nullptr, kMainDump},
        {"read at INT_MIN", INT_MIN, 0, nullptr, kMainDump},
        {"detach first; later ones move up", 0, 1, "a", "root{b=\"text\" c}"},
        {"detach middle", 1, 1, "b", "root{a[k=\"v\"]{a1 a2{a21}} c}"},
        {"detach last", 2, 1, "c", "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\"}"},
        {"detach flag 2 is yes", 1, 2, "b", "root{a[k=\"v\"]{a1 a2{a21}} c}"},
        {"detach flag -1 is yes", 1, -1, "b", "root{a[k=\"v\"]{a1 a2{a21}} c}"},
        {"detach at the count changes nothing", 3, 1, nullptr, kMainDump},
        {"detach at -1 changes nothing", -1, 1, nullptr, kMainDump},
    };
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        KivoTagHandle root = forest.Tag("root");
        KivoTagHandle expected = c.got == nullptr ? nullptr : forest.Tag(c.got);
        const std::string expectedSubtree = expected == nullptr ? "" : DumpTree(expected);
        KivoTagHandle got = nkGetKivoTagSubTag(root, c.index, c.detach);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(forest.MainDump(), c.mainDump);
        EXPECT_EQ(forest.Invariants(), "");
        if (got == nullptr || c.detach == 0) {
            if (got != nullptr) {
                EXPECT_EQ(nkGetKivoTagParentTag(got), root);
            }
            continue;
        }
        // The host owns the detached tag: a top tag with its subtree intact.
        OwnedTag detached(got);
        EXPECT_EQ(nkGetKivoTagParentTag(got), nullptr);
        EXPECT_EQ(DumpTree(got), expectedSubtree);
        EXPECT_EQ(CheckInvariants(got), "");
    }
}

TEST(HierarchyGet, ADetachedTagCanBeAddedElsewhere) {
    Forest forest;
    ASSERT_TRUE(forest.Built());
    KivoTagHandle expected = forest.Tag("a");
    KivoTagHandle a = nkGetKivoTagSubTag(forest.Tag("root"), 0, 1);
    ASSERT_EQ(a, expected);
    EXPECT_EQ(nkAddKivoTagSubTag(forest.Tag("o2"), 0, a), a);
    EXPECT_EQ(forest.MainDump(), "root{b=\"text\" c}");
    EXPECT_EQ(forest.OtherDump(), "o{o1{o11} o2{a[k=\"v\"]{a1 a2{a21}}}}");
    EXPECT_EQ(forest.Invariants(), "");
}

struct DelCase {
    const char* label;
    const char* parent;
    const char* sub; // "" for null
    int expected;
    const char* mainDump;
};

TEST(HierarchyDel, DestroysOnlyADirectSubTag) {
    const DelCase cases[] = {
        {"first child", "root", "a", 1, "root{b=\"text\" c}"},
        {"last child", "root", "c", 1, "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\"}"},
        {"deep child", "a2", "a21", 1, "root{a[k=\"v\"]{a1 a2} b=\"text\" c}"},
        {"grandchild", "root", "a2", 0, kMainDump},
        {"great-grandchild", "root", "a21", 0, kMainDump},
        {"the parent of the tag", "a2", "a", 0, kMainDump},
        {"the tag itself", "root", "root", 0, kMainDump},
        {"a sibling", "b", "c", 0, kMainDump},
        {"a child in another tree", "root", "o1", 0, kMainDump},
        {"another tree's top", "root", "o", 0, kMainDump},
        {"null", "root", "", 0, kMainDump},
    };
    for (const DelCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        const int before = nkGetKivoTagSubTagCount(forest.Tag(c.parent));
        EXPECT_EQ(nkDelKivoTagSubTag(forest.Tag(c.parent), forest.Tag(c.sub)), c.expected);
        EXPECT_EQ(nkGetKivoTagSubTagCount(forest.Tag(c.parent)), before - c.expected);
        // Dumping reads every remaining tag, so a tag destroyed by mistake
        // shows up under AddressSanitizer as a use after free.
        EXPECT_EQ(forest.MainDump(), c.mainDump);
        EXPECT_EQ(forest.OtherDump(), kOtherDump);
        EXPECT_EQ(forest.Invariants(), "");
    }
}

struct DeleteTagCase {
    const char* label;
    const char* tag;
    const char* mainDump;
};

TEST(HierarchyDelete, DeletingATagWithAParentDetachesItFirst) {
    const DeleteTagCase cases[] = {
        {"first child", "a", "root{b=\"text\" c}"},
        {"middle child", "b", "root{a[k=\"v\"]{a1 a2{a21}} c}"},
        {"last child", "c", "root{a[k=\"v\"]{a1 a2{a21}} b=\"text\"}"},
        {"first grandchild", "a1", "root{a[k=\"v\"]{a2{a21}} b=\"text\" c}"},
        {"only great-grandchild", "a21", "root{a[k=\"v\"]{a1 a2} b=\"text\" c}"},
    };
    for (const DeleteTagCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        KivoTagHandle tag = forest.Tag(c.tag);
        KivoTagHandle parent = nkGetKivoTagParentTag(tag);
        const int before = nkGetKivoTagSubTagCount(parent);
        nkDeleteKivoTag(tag);
        EXPECT_EQ(nkGetKivoTagSubTagCount(parent), before - 1);
        EXPECT_EQ(forest.MainDump(), c.mainDump);
        EXPECT_EQ(forest.Invariants(), "");
    }
}

TEST(HierarchyClear, DestroysEverySubTagAndKeepsTheTagItself) {
    const DeleteTagCase cases[] = {
        {"the top", "root", "root"},
        {"a branch", "a", "root{a[k=\"v\"] b=\"text\" c}"},
        {"a leaf", "b", kMainDump},
    };
    for (const DeleteTagCase& c : cases) {
        SCOPED_TRACE(c.label);
        Forest forest;
        ASSERT_TRUE(forest.Built());
        EXPECT_EQ(nkClearKivoTagSubTag(forest.Tag(c.tag)), 1);
        EXPECT_EQ(nkGetKivoTagSubTagCount(forest.Tag(c.tag)), 0);
        EXPECT_EQ(forest.MainDump(), c.mainDump);
        EXPECT_EQ(forest.OtherDump(), kOtherDump);
        EXPECT_EQ(forest.Invariants(), "");
    }
}

TEST(HierarchyClear, AClearedTagTakesNewSubTags) {
    Forest forest;
    ASSERT_TRUE(forest.Built());
    KivoTagHandle root = forest.Tag("root");
    ASSERT_EQ(nkClearKivoTagSubTag(root), 1);
    KivoTagHandle o1 = forest.Tag("o1");
    EXPECT_EQ(nkAddKivoTagSubTag(root, 0, o1), o1);
    EXPECT_EQ(forest.MainDump(), "root{o1{o11}}");
    EXPECT_EQ(forest.OtherDump(), "o{o2}");
    EXPECT_EQ(forest.Invariants(), "");
}

TEST(HierarchyParent, EveryTagReportsTheTagHoldingIt) {
    Forest forest;
    ASSERT_TRUE(forest.Built());
    const char* const pairs[][2] = {
        {"a", "root"}, {"a1", "a"}, {"a21", "a2"}, {"c", "root"}, {"o11", "o1"}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        EXPECT_EQ(nkGetKivoTagParentTag(forest.Tag(pair[0])), forest.Tag(pair[1]));
    }
    EXPECT_EQ(nkGetKivoTagParentTag(forest.Tag("root")), nullptr);
    EXPECT_EQ(nkGetKivoTagParentTag(forest.Tag("o")), nullptr);
}

} // namespace
