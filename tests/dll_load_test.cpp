#include "nkKivo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// Loads nkKivo.dll the way a host with only a function-name table would: by
// module name, then every function by its plain name. Catches a DLL that
// fails to load (a missing runtime DLL, an entry point that refuses), names
// exported decorated or not at all, and a calling convention that does not
// match the header's.

namespace {

std::vector<std::string> ReadExportList() {
    std::ifstream list(NKKIVO_EXPORTS_LIST);
    std::vector<std::string> names;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            names.push_back(line);
        }
    }
    return names;
}

// Converts a procedure address to the function pointer type the header
// declares for it; the header's own functions are never referenced, so the
// test links nothing of the library.
template <typename Function> Function Resolve(HMODULE module, const char* name) {
    FARPROC const address = GetProcAddress(module, name);
    Function function = nullptr;
    static_assert(sizeof(function) == sizeof(address), "code pointers differ in size");
    std::memcpy(&function, &address, sizeof(function));
    return function;
}

class LoadedDll : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA("nkKivo.dll");
        ASSERT_NE(module_, nullptr) << "LoadLibrary failed with error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) {
            EXPECT_NE(FreeLibrary(module_), 0);
        }
    }
    HMODULE module_ = nullptr;
};

TEST_F(LoadedDll, ExportsEveryListedNameUnderItsPlainName) {
    const std::vector<std::string> names = ReadExportList();
    ASSERT_EQ(names.size(), 24u) << "cannot read " << NKKIVO_EXPORTS_LIST;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_NE(GetProcAddress(module_, name.c_str()), nullptr);
    }
}

TEST_F(LoadedDll, ParsesAndEditsThroughResolvedNames) {
    auto const createParser = Resolve<decltype(&nkCreateKivoParser)>(module_, "nkCreateKivoParser");
    auto const parseBuffer = Resolve<decltype(&nkParserKivoBuffer)>(module_, "nkParserKivoBuffer");
    auto const takeRoot = Resolve<decltype(&nkGetParserKivo)>(module_, "nkGetParserKivo");
    auto const deleteParser = Resolve<decltype(&nkDeleteKivoParser)>(module_, "nkDeleteKivoParser");
    auto const getAttr = Resolve<decltype(&nkGetKivoTagAttr)>(module_, "nkGetKivoTagAttr");
    auto const subTagCount =
        Resolve<decltype(&nkGetKivoTagSubTagCount)>(module_, "nkGetKivoTagSubTagCount");
    auto const getSubTag = Resolve<decltype(&nkGetKivoTagSubTag)>(module_, "nkGetKivoTagSubTag");
    auto const getValue = Resolve<decltype(&nkGetKivoTagValue)>(module_, "nkGetKivoTagValue");
    auto const setValue = Resolve<decltype(&nkSetKivoTagValue)>(module_, "nkSetKivoTagValue");
    auto const deleteTag = Resolve<decltype(&nkDeleteKivoTag)>(module_, "nkDeleteKivoTag");
    ASSERT_TRUE(createParser && parseBuffer && takeRoot && deleteParser && getAttr && subTagCount &&
                getSubTag && getValue && setValue && deleteTag);

    KivoParserHandle const parser = createParser();
    ASSERT_NE(parser, nullptr);
    const char document[] = "<a x='1'> one <b>two</b></a>";
    // Four arguments of different kinds: a caller and callee that disagree on
    // who pops them corrupt the stack by the second call.
    EXPECT_EQ(parseBuffer(parser, document, 10, 0), 1);
    EXPECT_EQ(parseBuffer(parser, document + 10, static_cast<int>(sizeof document) - 11, 2), 1);
    KivoTagHandle const root = takeRoot(parser, 1);
    deleteParser(parser);
    ASSERT_NE(root, nullptr);

    EXPECT_STREQ(getAttr(root, "x"), "1");
    EXPECT_STREQ(getValue(root), "one");
    ASSERT_EQ(subTagCount(root), 1);
    KivoTagHandle const child = getSubTag(root, 0, 0);
    EXPECT_STREQ(getValue(child), "two");
    EXPECT_EQ(setValue(child, "three"), 1);
    EXPECT_STREQ(getValue(getSubTag(root, 0, 0)), "three");
    EXPECT_EQ(getSubTag(root, -1, 0), nullptr);
    deleteTag(root);
}

TEST(DllModule, LoadsAgainAfterUnloading) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        HMODULE const module = LoadLibraryA("nkKivo.dll");
        ASSERT_NE(module, nullptr);
        auto const createTag = Resolve<decltype(&nkCreateKivoTag)>(module, "nkCreateKivoTag");
        auto const getName = Resolve<decltype(&nkGetKivoTagName)>(module, "nkGetKivoTagName");
        auto const deleteTag = Resolve<decltype(&nkDeleteKivoTag)>(module, "nkDeleteKivoTag");
        ASSERT_TRUE(createTag && getName && deleteTag);
        KivoTagHandle const tag = createTag("t");
        EXPECT_STREQ(getName(tag), "t");
        deleteTag(tag);
        EXPECT_NE(FreeLibrary(module), 0);
    }
}

} // namespace
