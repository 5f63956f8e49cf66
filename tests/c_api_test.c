/* A host written in plain C99: proves the header is C and walks a small
 * scenario through the shared library, the way a foreign host would. */
#include "nkKivo.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void Check(int holds, const char* what, int line) {
    if (!holds) {
        fprintf(stderr, "c_api_test.c:%d: check failed: %s\n", line, what);
        ++failures;
    }
}

#define CHECK(condition) Check((condition) != 0, #condition, __LINE__)

static int SameText(const char* got, const char* expected) {
    return got != NULL && strcmp(got, expected) == 0;
}

static KivoTagHandle ParseCatalogue(void) {
    static const char text[] = "<?xml version='1.0'?>\n"
                               "<catalogue lang='fi'>\n"
                               "  <book id='b1' year='1999'>  Kalevala  </book>\n"
                               "  <book id='b2'>Seitsem\xC3\xA4n veljest\xC3\xA4</book>\n"
                               "</catalogue>\n";
    const int length = (int)(sizeof text - 1);
    const int cut = length / 2;
    KivoParserHandle parser = nkCreateKivoParser();
    KivoTagHandle tree;
    CHECK(parser != NULL);
    CHECK(nkParserKivoBuffer(parser, text, cut, 0) == 1);
    CHECK(nkParserKivoBuffer(parser, text + cut, length - cut, 1) == 1);
    tree = nkGetParserKivo(parser, 1);
    CHECK(nkGetParserKivo(parser, 1) == NULL);
    nkDeleteKivoParser(parser);
    return tree;
}

static void ReadTheTree(KivoTagHandle catalogue) {
    KivoTagHandle first = nkGetKivoTagSubTag(catalogue, 0, 0);
    KivoTagHandle second = nkGetKivoTagSubTag(catalogue, 1, 0);
    CHECK(SameText(nkGetKivoTagName(catalogue), "catalogue"));
    CHECK(SameText(nkGetKivoTagValue(catalogue), ""));
    CHECK(SameText(nkGetKivoTagAttr(catalogue, "lang"), "fi"));
    CHECK(nkGetKivoTagSubTagCount(catalogue) == 2);
    CHECK(nkGetKivoTagSubTag(catalogue, 2, 0) == NULL);
    CHECK(nkGetKivoTagSubTag(catalogue, -1, 0) == NULL);
    CHECK(nkGetKivoTagParentTag(first) == catalogue);
    CHECK(SameText(nkGetKivoTagValue(first), "Kalevala"));
    CHECK(nkGetKivoTagAttrCount(first) == 2);
    CHECK(SameText(nkGetKivoTagAttrName(first, 1), "year"));
    CHECK(SameText(nkGetKivoTagAttrValue(first, 1), "1999"));
    CHECK(nkGetKivoTagAttrName(first, 2) == NULL);
    CHECK(SameText(nkGetKivoTagValue(second), "Seitsem\xC3\xA4n veljest\xC3\xA4"));
}

static void EditTheTree(KivoTagHandle catalogue) {
    KivoTagHandle first = nkGetKivoTagSubTag(catalogue, 0, 0);
    KivoTagHandle second = nkGetKivoTagSubTag(catalogue, 1, 0);
    KivoTagHandle shelf = nkCreateKivoTag("shelf");
    KivoTagHandle copy;
    CHECK(shelf != NULL);
    CHECK(nkCreateKivoTag("") == NULL);

    CHECK(nkSetKivoTagAttr(first, "year", "1835") == 1);
    CHECK(SameText(nkGetKivoTagAttrName(first, 1), "year"));
    CHECK(nkDelKivoTagAttr(first, "id") == 1);
    CHECK(SameText(nkGetKivoTagAttrName(first, 0), "year"));
    CHECK(nkSetKivoTagAttr(first, "year", NULL) == 0);

    /* Move the second book onto a new shelf, put the shelf first. */
    CHECK(nkAddKivoTagSubTag(shelf, 0, second) == second);
    CHECK(nkGetKivoTagSubTagCount(catalogue) == 1);
    CHECK(nkAddKivoTagSubTag(catalogue, 0, shelf) == shelf);
    CHECK(nkGetKivoTagSubTag(catalogue, 0, 0) == shelf);
    CHECK(nkGetKivoTagParentTag(second) == shelf);

    /* Cycles are refused. */
    CHECK(nkAddKivoTagSubTag(second, 0, catalogue) == NULL);
    CHECK(nkAddKivoTagSubTag(shelf, 0, shelf) == NULL);

    /* A clone is an independent top tag. */
    copy = nkCloneKivoTag(shelf);
    CHECK(copy != NULL);
    CHECK(nkGetKivoTagParentTag(copy) == NULL);
    CHECK(nkSetKivoTagName(copy, "copy") == 1);
    CHECK(SameText(nkGetKivoTagName(shelf), "shelf"));
    CHECK(nkGetKivoTagSubTagCount(copy) == 1);
    nkDeleteKivoTag(copy);

    /* Detach the first book, then destroy it as its owner. */
    CHECK(nkGetKivoTagSubTag(catalogue, 1, 1) == first);
    CHECK(nkGetKivoTagParentTag(first) == NULL);
    CHECK(nkGetKivoTagSubTagCount(catalogue) == 1);
    nkDeleteKivoTag(first);

    CHECK(nkDelKivoTagSubTag(catalogue, second) == 0); /* a grandchild */
    CHECK(nkSetKivoTagValue(catalogue, NULL) == 1);
    CHECK(SameText(nkGetKivoTagValue(catalogue), ""));
    CHECK(nkClearKivoTagAttr(catalogue) == 1);
    CHECK(nkGetKivoTagAttrCount(catalogue) == 0);
    CHECK(nkClearKivoTagSubTag(catalogue) == 1);
    CHECK(nkGetKivoTagSubTagCount(catalogue) == 0);
}

int main(void) {
    KivoTagHandle catalogue = ParseCatalogue();
    CHECK(catalogue != NULL);
    if (catalogue != NULL) {
        ReadTheTree(catalogue);
        EditTheTree(catalogue);
        nkDeleteKivoTag(catalogue);
    }
    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return EXIT_FAILURE;
    }
    printf("all checks passed\n");
    return EXIT_SUCCESS;
}
