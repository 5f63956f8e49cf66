#include "nkKivo.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <string>

TEST(Smoke, ParsesAndDumpsADocument) {
    const std::string text = "<a x='1' y='2'> hi <b>t</b> there <c/></a>";
    KivoParserHandle parser = nkCreateKivoParser();
    ASSERT_NE(parser, nullptr);
    ASSERT_EQ(nkParserKivoBuffer(parser, text.data(), static_cast<int>(text.size()), 1), 1);
    KivoTagHandle root = nkGetParserKivo(parser, 1);
    nkDeleteKivoParser(parser);
    EXPECT_EQ(DumpTree(root), "a[x=\"1\" y=\"2\"]=\"hithere\"{b=\"t\" c}");
    EXPECT_EQ(CheckInvariants(root), "");
    KivoTagHandle copy = nkCloneKivoTag(root);
    EXPECT_EQ(DumpTree(copy), DumpTree(root));
    nkDeleteKivoTag(copy);
    nkDeleteKivoTag(root);
}
