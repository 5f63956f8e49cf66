#ifndef NKKIVO_FUZZ_EXPATREFERENCE_H
#define NKKIVO_FUZZ_EXPATREFERENCE_H

#include <expat.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The oracle of the parse target: drives expat directly and builds the tree
// the library ought to build, written in the text form of DumpTree, so the
// two can be compared as strings. Kept deliberately plain and separate from
// the library's builder so that a fault in one does not hide in the other.
class ExpatReference {
  public:
    // expat's own verdict on the whole text in one final piece, with no
    // handlers installed.
    static bool BareExpatAccepts(const char* text, std::size_t size);

    // The expected dump of the document's tree, or nothing when expat
    // refuses the text.
    static std::optional<std::string> ExpectedDump(const char* text, std::size_t size);

  private:
    struct Node {
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string value;
        std::vector<std::size_t> children;
    };

    static void XMLCALL OnStart(void* userData, const XML_Char* name, const XML_Char** attributes);
    static void XMLCALL OnEnd(void* userData, const XML_Char* name);
    static void XMLCALL OnText(void* userData, const XML_Char* text, int length);

    void AddRunToOpenElement();
    void AddAttribute(Node& node, const char* name, const char* value) const;
    std::string Dump() const;
    void DumpNode(std::string& out, const Node& node) const;

    std::vector<Node> nodes_;
    std::vector<std::size_t> open_;
    std::string run_;
};

#endif
