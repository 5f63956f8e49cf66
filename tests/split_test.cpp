#include "nkKivo.h"
#include "support/ParseInPieces.h"
#include "support/SmallDocuments.h"
#include "support/TreeDump.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// Every cut below must give the tree of the one-piece parse: expat may end a
// character-data callback, a name or a multi-byte character at any piece
// boundary, and the text buffer must join what it cut.

TEST(EverySplit, OneCutAtEveryByteGivesTheSameTree) {
    for (const SmallDocument& document : SmallDocuments()) {
        for (std::size_t cut = 0; cut <= document.text.size(); ++cut) {
            SCOPED_TRACE(std::string(document.label) + ", cut at " + std::to_string(cut));
            EXPECT_EQ(DumpOf(document.text, {cut}), document.expected);
        }
    }
}

TEST(EverySplit, TwoCutsAtEveryPairOfBytesGiveTheSameTree) {
    for (const SmallDocument& document : SmallDocuments()) {
        const std::size_t size = document.text.size();
        for (std::size_t first = 0; first <= size; ++first) {
            for (std::size_t second = first; second <= size; ++second) {
                if (DumpOf(document.text, {first, second}) != document.expected) {
                    ADD_FAILURE() << document.label << ": cuts at " << first << " and " << second
                                  << " give " << DumpOf(document.text, {first, second});
                }
            }
        }
    }
}

TEST(EverySplit, OneByteAtATimeGivesTheSameTree) {
    for (const SmallDocument& document : SmallDocuments()) {
        SCOPED_TRACE(document.label);
        EXPECT_EQ(DumpOf(document.text, EvenCuts(document.text.size(), 1)), document.expected);
    }
}

namespace {

// A document of a few hundred elements mixing everything that can straddle a
// cut: multi-byte characters in names, values and attributes, references,
// CDATA, comments, processing instructions, an internal entity holding an
// element, and DTD default attributes.
std::string MixedDocument(std::uint32_t seed, std::size_t fragmentCount) {
    static const char* const fragments[] = {
        " x ",
        "<i/>",
        "<p:b p:a='\xE2\x82\xAC' xmlns:p='urn:p'>y</p:b>",
        "&e;",
        "<![CDATA[ <z> & ]]>",
        "<!-- c -->",
        "<?pi d?>",
        "&#x20AC;&#32;",
        "&amp;&lt;",
        "\t\r\n",
        "<i a='1' b=\"&quot;2\">\xF0\x9F\x98\x80</i>",
        "<n><m> q </m> r </n>",
        "<\xC3\xA4\xC3\xB6 \xC3\xBC='\xC3\x9F'>\xE4\xB8\xAD</\xC3\xA4\xC3\xB6>",
    };
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(fragments) - 1);
    std::string document = "<?xml version='1.0' encoding='UTF-8'?>\n"
                           "<!DOCTYPE r [<!ENTITY e ' \xC3\xA9<i>n</i> '>"
                           "<!ATTLIST i d CDATA 'dflt'>]>\n<r>";
    for (std::size_t i = 0; i < fragmentCount; ++i) {
        document += fragments[pick(generator)];
    }
    return document + "</r>\n";
}

} // namespace

TEST(EverySplit, RandomCutsOfLargerDocumentsGiveTheSameTree) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const std::string document = MixedDocument(seed, 400 * seed);
        const std::string whole = DumpOf(document);
        ASSERT_NE(whole, kRefused) << "seed " << seed;
        for (std::uint32_t round = 0; round < 16; ++round) {
            const std::size_t cutCount = 1 + (round * 37 + seed) % 300;
            const auto cuts = RandomCuts(document.size(), cutCount, seed * 1000 + round);
            EXPECT_EQ(DumpOf(document, cuts), whole)
                << "seed " << seed << ", round " << round << ", " << cutCount << " cuts";
        }
    }
}

TEST(EverySplit, SmallEvenPiecesOfALargerDocumentGiveTheSameTree) {
    const std::string document = MixedDocument(99, 1000);
    const std::string whole = DumpOf(document);
    ASSERT_NE(whole, kRefused);
    for (std::size_t pieceSize = 1; pieceSize <= 7; ++pieceSize) {
        EXPECT_EQ(DumpOf(document, EvenCuts(document.size(), pieceSize)), whole)
            << "pieces of " << pieceSize << " bytes";
    }
}

TEST(EverySplit, ARefusalIsFoundWhereverTheDocumentIsCut) {
    std::string document = MixedDocument(7, 300);
    // Right after the document element's start, so the fault is in markup
    // and not inside a comment or a CDATA section.
    document.insert(document.find("\n<r>") + 4, "<bad attr>");
    ASSERT_EQ(DumpOf(document), kRefused);
    for (std::uint32_t round = 0; round < 32; ++round) {
        EXPECT_EQ(DumpOf(document, RandomCuts(document.size(), 1 + round * 5, round)), kRefused)
            << "round " << round;
    }
}
