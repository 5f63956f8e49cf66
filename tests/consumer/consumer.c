/*
 * A host that knows nkKivo only through its installed header and library:
 * it parses a small document fed in two pieces, checks the tree it gets
 * back, clones it, and exits 0 only when everything matched.
 */
#include <nkKivo.h>

/* The static archive's users must see NKKIVO_STATIC, or a Windows build
 * would declare every function as a DLL import; the package supplies it. */
#if defined(CONSUMER_LINKS_STATIC) && !defined(NKKIVO_STATIC)
#error "the package did not define NKKIVO_STATIC for its static archive"
#endif

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect_text(const char* what, const char* got, const char* want) {
    if (got == NULL || strcmp(got, want) != 0) {
        fprintf(stderr, "%s: got \"%s\", want \"%s\"\n", what, got ? got : "(null)", want);
        ++failures;
    }
}

static void expect_int(const char* what, int got, int want) {
    if (got != want) {
        fprintf(stderr, "%s: got %d, want %d\n", what, got, want);
        ++failures;
    }
}

static KivoTagHandle parse_in_two_pieces(const char* text) {
    const int length = (int)strlen(text);
    const int half = length / 2;
    KivoParserHandle parser = nkCreateKivoParser();
    KivoTagHandle root = NULL;
    if (parser == NULL) {
        return NULL;
    }
    if (nkParserKivoBuffer(parser, text, half, 0) &&
        nkParserKivoBuffer(parser, text + half, length - half, 1)) {
        root = nkGetParserKivo(parser, 1);
    }
    nkDeleteKivoParser(parser);
    return root;
}

static void check_document(KivoTagHandle root) {
    KivoTagHandle item;
    expect_text("root name", nkGetKivoTagName(root), "order");
    expect_text("root value", nkGetKivoTagValue(root), "rush");
    expect_int("root attribute count", nkGetKivoTagAttrCount(root), 2);
    expect_text("first attribute", nkGetKivoTagAttrName(root, 0), "id");
    expect_text("attribute by name", nkGetKivoTagAttr(root, "shop"), "north");
    expect_int("sub tag count", nkGetKivoTagSubTagCount(root), 2);
    item = nkGetKivoTagSubTag(root, 1, 0);
    expect_text("second item", nkGetKivoTagValue(item), "pear & fig");
    expect_int("second item's parent", nkGetKivoTagParentTag(item) == root, 1);
}

int main(void) {
    static const char document[] = "<order id='7' shop='north'> rush <item>apple</item>\n"
                                   "  <item qty='2'>pear &amp; fig</item></order>";
    KivoTagHandle root = parse_in_two_pieces(document);
    KivoTagHandle copy;
    if (root == NULL) {
        fputs("the document did not parse\n", stderr);
        return 1;
    }
    check_document(root);
    copy = nkCloneKivoTag(root);
    nkDeleteKivoTag(root);
    check_document(copy);
    nkDeleteKivoTag(copy);
    if (failures != 0) {
        return 1;
    }
    puts("nkKivo consumer: document parsed and checked");
    return 0;
}
