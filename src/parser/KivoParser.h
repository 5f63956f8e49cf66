#ifndef NKKIVO_PARSER_KIVOPARSER_H
#define NKKIVO_PARSER_KIVOPARSER_H

#include <expat.h>

#include <cstddef>
#include <string>
#include <vector>

struct KivoTag;

// Builds one document's tree from XML text given in pieces. expat reports
// element starts, ends and character data; the parser keeps the stack of open
// elements, gathers the text between element boundaries and, at each
// boundary, trims it and appends it to the innermost open element's value.
//
// States, from openTags_ and root_:
//   fresh             openTags_ empty,     root_ null
//   inside document   openTags_ not empty, root_ null
//   complete          openTags_ empty,     root_ = the tree
//   taken or failed   openTags_ empty,     root_ null
//
// A tag receives its sub tags when its element ends, all at once in an
// exactly sized array; until then they wait in pendingSubTags_, so no array
// is regrown child by child. While a document is open the parser therefore
// owns the bottom open tag (the unfinished document element) and every tag in
// pendingSubTags_ (each a top tag with its finished subtree, or an open
// element whose own sub tags are still pending). The handlers never let an
// exception unwind through expat: they stop the parse instead.
//
// Declared as a struct so that the public header's opaque handle names this
// very type.
struct KivoParser {
  public:
    // Throws std::bad_alloc when expat cannot create its parser object.
    KivoParser();
    ~KivoParser();
    KivoParser(const KivoParser&) = delete;
    KivoParser& operator=(const KivoParser&) = delete;
    KivoParser(KivoParser&&) = delete;
    KivoParser& operator=(KivoParser&&) = delete;

    bool ParseBuffer(const char* buffer, int length, bool isFinal);
    KivoTag* TakeRoot(bool detach);

  private:
    static void XMLCALL OnStartElement(void* userData, const XML_Char* name,
                                       const XML_Char** attributes);
    static void XMLCALL OnEndElement(void* userData, const XML_Char* name);
    static void XMLCALL OnCharacterData(void* userData, const XML_Char* characters, int length);

    void StartElement(const XML_Char* name, const XML_Char** attributes);
    void EndElement();
    void FlushText();
    bool ParseThroughExpat(const char* buffer, int length, bool isFinal);
    void StopOnFailure();
    void DestroyHeldTree();
    void DestroyUnfinishedDocument();

    XML_Parser expatParser_ = nullptr;
    KivoTag* root_ = nullptr;
    std::string textBuffer_;
    // An open element and the index in pendingSubTags_ where its sub tags
    // begin.
    struct OpenTag {
        KivoTag* tag;
        std::size_t firstSubTag;
    };
    std::vector<OpenTag> openTags_;
    std::vector<KivoTag*> pendingSubTags_;
    // Set when a handler could not allocate; expat may still deliver a few
    // events after XML_StopParser, and they must be ignored.
    bool handlerFailed_ = false;
    // The document's first bytes, held back until expat can tell the encoding
    // from them (see ParseBuffer). Never more than a few bytes, so the string
    // keeps them without allocating.
    std::string opening_;
    bool openingPassed_ = false;
};

#endif
