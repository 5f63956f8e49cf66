#include "nkKivo.h"
#include "support/ParseInPieces.h"
#include "support/TreeDump.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The XML conformance suite, unpacked from its zip at test time. Every
// document it lists is parsed by the library and by bare expat; the library
// must agree with expat on every verdict, give the same tree in any pieces,
// and give the same tree for a document and its canonical form.

namespace fs = std::filesystem;

namespace {

struct CatalogEntry {
    std::string id;
    std::string type;
    fs::path document;
    fs::path output; // empty when the case has no canonical form
};

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const char* FindAttribute(const XML_Char** attributes, const char* name) {
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (std::string(attributes[i]) == name) {
            return attributes[i + 1];
        }
    }
    return nullptr;
}

// Reads the catalog with expat itself: xmlconf.xml includes each collection
// file as an external entity, and each collection lists TEST elements whose
// URI and OUTPUT are relative to the collection file. Some collections are
// fragments with many top-level elements, which only parse as entities.
class CatalogReader {
  public:
    explicit CatalogReader(fs::path root) : root_(std::move(root)) {}

    std::vector<CatalogEntry> Read() {
        const std::string text = ReadFile(root_ / "xmlconf.xml");
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, this);
        XML_SetStartElementHandler(parser, OnStartElement);
        XML_SetExternalEntityRefHandler(parser, OnExternalEntity);
        bases_.push_back(root_);
        const bool parsed =
            XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_ERROR;
        EXPECT_TRUE(parsed) << "the catalog does not parse: "
                            << XML_ErrorString(XML_GetErrorCode(parser)) << " at line "
                            << XML_GetCurrentLineNumber(parser);
        XML_ParserFree(parser);
        return std::move(entries_);
    }

  private:
    static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char* context,
                                        const XML_Char* /*base*/, const XML_Char* systemId,
                                        const XML_Char* /*publicId*/) {
        auto* const reader = static_cast<CatalogReader*>(XML_GetUserData(parser));
        const fs::path path = reader->bases_.back() / systemId;
        const std::string text = ReadFile(path);
        XML_Parser entityParser = XML_ExternalEntityParserCreate(parser, context, nullptr);
        reader->bases_.push_back(path.parent_path());
        const XML_Status status =
            XML_Parse(entityParser, text.data(), static_cast<int>(text.size()), 1);
        reader->bases_.pop_back();
        EXPECT_NE(status, XML_STATUS_ERROR)
            << path << ": " << XML_ErrorString(XML_GetErrorCode(entityParser)) << " at line "
            << XML_GetCurrentLineNumber(entityParser);
        XML_ParserFree(entityParser);
        return status;
    }

    static void XMLCALL OnStartElement(void* userData, const XML_Char* name,
                                       const XML_Char** attributes) {
        auto* const reader = static_cast<CatalogReader*>(userData);
        if (std::string(name) != "TEST") {
            return;
        }
        const fs::path& base = reader->bases_.back();
        const char* id = FindAttribute(attributes, "ID");
        const char* type = FindAttribute(attributes, "TYPE");
        const char* uri = FindAttribute(attributes, "URI");
        const char* output = FindAttribute(attributes, "OUTPUT");
        reader->entries_.push_back({id != nullptr ? id : "", type != nullptr ? type : "",
                                    uri != nullptr ? base / uri : fs::path(),
                                    output != nullptr ? base / output : fs::path()});
    }

    fs::path root_;
    // The folder of the file being read, innermost last.
    std::vector<fs::path> bases_;
    std::vector<CatalogEntry> entries_;
};

int LibraryVerdict(const std::string& bytes) {
    const OwnedParser parser(nkCreateKivoParser());
    const int verdict =
        nkParserKivoBuffer(parser.get(), bytes.data(), static_cast<int>(bytes.size()), 1);
    nkDeleteKivoTag(nkGetParserKivo(parser.get(), 1));
    return verdict;
}

// expat as the library sets it up, without any handler.
int BareExpatVerdict(const std::string& bytes) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    const int verdict =
        XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_ERROR ? 1
                                                                                               : 0;
    XML_ParserFree(parser);
    return verdict;
}

struct ProbeEvents {
    bool externalReference = false;
    bool skippedEntity = false;
};

// Parses `bytes` with expat only to learn whether it names external content
// (with parameter entities parsed, so an external DTD is reported too) or
// skips a reference it could not resolve.
ProbeEvents Probe(const std::string& bytes, XML_ParamEntityParsing parameterEntities) {
    ProbeEvents events;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &events);
    XML_SetParamEntityParsing(parser, parameterEntities);
    XML_SetExternalEntityRefHandler(parser, [](XML_Parser self, const XML_Char*, const XML_Char*,
                                               const XML_Char*, const XML_Char*) {
        static_cast<ProbeEvents*>(XML_GetUserData(self))->externalReference = true;
        return static_cast<int>(XML_STATUS_OK);
    });
    XML_SetSkippedEntityHandler(parser, [](void* userData, const XML_Char*, int) {
        static_cast<ProbeEvents*>(userData)->skippedEntity = true;
    });
    XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1);
    XML_ParserFree(parser);
    return events;
}

std::string XmlDeclaration(const std::string& bytes) {
    if (bytes.rfind("<?xml", 0) != 0) {
        return "";
    }
    std::string declaration = bytes.substr(0, bytes.find("?>"));
    std::transform(declaration.begin(), declaration.end(), declaration.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return declaration;
}

bool DeclaresVersion11(const std::string& bytes) {
    const std::string declaration = XmlDeclaration(bytes);
    return declaration.find("'1.1'") != std::string::npos ||
           declaration.find("\"1.1\"") != std::string::npos;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The line ends an XML 1.1 reader turns into LF before parsing: CR NEL, NEL
// and LS, in UTF-8 or, for NEL, as the single Latin-1 byte.
std::string WithXml11LineEnds(const std::string& bytes) {
    if (XmlDeclaration(bytes).find("iso-8859-1") != std::string::npos) {
        return ReplaceAll(ReplaceAll(bytes, "\r\x85", "\n"), "\x85", "\n");
    }
    std::string out = ReplaceAll(bytes, "\r\xC2\x85", "\n");
    out = ReplaceAll(out, "\xC2\x85", "\n");
    return ReplaceAll(out, "\xE2\x80\xA8", "\n");
}

// Canonical form writes attributes sorted by name; sorting both trees' lists
// the same way makes them comparable.
void SortAttributes(KivoTagHandle top) {
    std::vector<KivoTagHandle> pending{top};
    while (!pending.empty()) {
        KivoTagHandle tag = pending.back();
        pending.pop_back();
        std::vector<std::pair<std::string, std::string>> attributes;
        for (int i = 0; i < nkGetKivoTagAttrCount(tag); ++i) {
            attributes.emplace_back(nkGetKivoTagAttrName(tag, i), nkGetKivoTagAttrValue(tag, i));
        }
        std::sort(attributes.begin(), attributes.end());
        nkClearKivoTagAttr(tag);
        for (const auto& [name, value] : attributes) {
            nkSetKivoTagAttr(tag, name.c_str(), value.c_str());
        }
        for (int i = 0; i < nkGetKivoTagSubTagCount(tag); ++i) {
            pending.push_back(nkGetKivoTagSubTag(tag, i, 0));
        }
    }
}

std::string SortedDump(const std::string& bytes) {
    const OwnedTree tree = ParseInPieces(bytes);
    if (tree == nullptr) {
        return kRefused;
    }
    SortAttributes(tree.get());
    return DumpTree(tree.get());
}

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

} // namespace

class Conformance : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A suite the caller unpacked already, for hosts where this process
        // cannot run the unpacking command (Windows programs under wine).
        if (const char* unpackedDir = std::getenv("NKKIVO_CONFORMANCE_DIR")) {
            entries_ = CatalogReader(fs::path(unpackedDir) / "xmlconf").Read();
            return;
        }
        const char* fromEnvironment = std::getenv("NKKIVO_CONFORMANCE_ZIP");
        const fs::path zip = fromEnvironment != nullptr ? fromEnvironment : NKKIVO_CONFORMANCE_ZIP;
        if (!fs::exists(zip)) {
            skipReason_ = "the conformance suite is not at " + zip.string() +
                          " (set NKKIVO_CONFORMANCE_ZIP, or the CMake cache variable of that name)";
            return;
        }
        // One folder per process: CTest may run these tests side by side.
        unpacked_ = fs::path(NKKIVO_CONFORMANCE_WORKDIR) /
                    ("run-" + std::to_string(std::random_device{}()));
        fs::remove_all(unpacked_);
        fs::create_directories(unpacked_);
        const std::string cmake = ShellQuoted(NKKIVO_CMAKE_COMMAND);
        const std::string command = cmake + " -E chdir " + ShellQuoted(unpacked_.string()) + " " +
                                    cmake + " -E tar xf " + ShellQuoted(fs::absolute(zip).string());
        if (std::system(command.c_str()) != 0) {
            skipReason_ = "could not unpack " + zip.string();
            return;
        }
        entries_ = CatalogReader(unpacked_ / "xmlconf").Read();
    }

    static void TearDownTestSuite() {
        if (!unpacked_.empty()) {
            fs::remove_all(unpacked_);
        }
    }

    void SetUp() override {
        if (!skipReason_.empty()) {
            GTEST_SKIP() << skipReason_;
        }
    }

    // Every document the catalog lists, each path once.
    static std::vector<fs::path> Documents() {
        std::set<fs::path> unique;
        for (const CatalogEntry& entry : entries_) {
            unique.insert(entry.document);
        }
        return {unique.begin(), unique.end()};
    }

    static inline std::string skipReason_;
    static inline fs::path unpacked_;
    static inline std::vector<CatalogEntry> entries_;
};

TEST_F(Conformance, TheCatalogListsEveryDocumentItNames) {
    std::map<std::string, int> byType;
    int missing = 0;
    for (const CatalogEntry& entry : entries_) {
        ++byType[entry.type];
        if (!fs::is_regular_file(entry.document)) {
            ++missing;
            ADD_FAILURE() << entry.id << ": no file " << entry.document;
        }
    }
    std::printf("catalog: %zu cases, %zu documents;", entries_.size(), Documents().size());
    for (const auto& [type, count] : byType) {
        std::printf(" %s %d", type.c_str(), count);
    }
    std::printf("\n");
    EXPECT_GT(entries_.size(), 2000U);
    EXPECT_EQ(missing, 0);
}

TEST_F(Conformance, EveryVerdictMatchesBareExpat) {
    int accepted = 0;
    int refused = 0;
    int matches = 0;
    for (const fs::path& document : Documents()) {
        const std::string bytes = ReadFile(document);
        const int library = LibraryVerdict(bytes);
        const int expat = BareExpatVerdict(bytes);
        (library == 1 ? accepted : refused) += 1;
        if (library == expat) {
            ++matches;
        } else {
            ADD_FAILURE() << document << ": library " << library << ", expat " << expat;
        }
    }
    std::printf("verdicts: %d documents, %d accepted, %d refused, %d match bare expat\n",
                accepted + refused, accepted, refused, matches);
}

TEST_F(Conformance, EveryDocumentGivesTheSameTreeInRandomPieces) {
    int checks = 0;
    std::uint32_t seed = 1;
    for (const fs::path& document : Documents()) {
        const std::string bytes = ReadFile(document);
        const std::string whole = DumpOf(bytes);
        for (const std::size_t cutCount : {1U, 5U, 40U}) {
            const auto cuts = RandomCuts(bytes.size(), cutCount, seed++);
            EXPECT_EQ(DumpOf(bytes, cuts), whole) << document << " cut in " << cutCount + 1;
            ++checks;
        }
        EXPECT_EQ(DumpOf(bytes, EvenCuts(bytes.size(), 1)), whole) << document << " bytewise";
        ++checks;
    }
    std::printf("split checks: %d over %zu documents\n", checks, Documents().size());
}

// The reason a document and its canonical form may give different trees,
// each checked rather than assumed; "" when none applies.
std::string ExplainDifference(const std::string& original, const std::string& canonicalDump) {
    if (BareExpatVerdict(original) == 0) {
        return "expat refuses the original";
    }
    if (Probe(original, XML_PARAM_ENTITY_PARSING_ALWAYS).externalReference) {
        return "the original needs an external DTD or entity, which the library never reads";
    }
    if (Probe(original, XML_PARAM_ENTITY_PARSING_NEVER).skippedEntity) {
        return "the original refers to an entity declared after a parameter entity reference, "
               "which expat does not expand without parameter-entity parsing";
    }
    if (DeclaresVersion11(original) && SortedDump(WithXml11LineEnds(original)) == canonicalDump) {
        return "XML 1.1 line ends (NEL, LS), which expat, an XML 1.0 parser, keeps as characters";
    }
    return "";
}

// The canonical forms were made by a validating XML 1.0/1.1 reader that reads
// external DTDs and entities; the library reads neither and expat is an XML
// 1.0 parser. Every difference must have one of the reasons above.
TEST_F(Conformance, EveryCanonicalFormGivesTheTreeOfItsOriginal) {
    int withOutput = 0;
    int equal = 0;
    std::map<std::string, std::vector<std::string>> explained;
    for (const CatalogEntry& entry : entries_) {
        if (entry.output.empty()) {
            continue;
        }
        ++withOutput;
        const std::string original = ReadFile(entry.document);
        const std::string originalDump = SortedDump(original);
        const std::string outputDump = SortedDump(ReadFile(entry.output));
        if (originalDump == outputDump) {
            ++equal;
            continue;
        }
        const std::string reason = ExplainDifference(original, outputDump);
        if (reason.empty()) {
            ADD_FAILURE() << entry.id << ": unexplained difference\n  original  " << originalDump
                          << "\n  canonical " << outputDump;
        } else {
            explained[reason].push_back(entry.id);
        }
    }
    std::size_t differing = 0;
    for (const auto& [reason, ids] : explained) {
        differing += ids.size();
    }
    std::printf("canonical checks: %d cases with a canonical form, %d equal, %zu differ with a "
                "reason:\n",
                withOutput, equal, differing);
    for (const auto& [reason, ids] : explained) {
        std::printf("  %zu: %s:", ids.size(), reason.c_str());
        for (const std::string& id : ids) {
            std::printf(" %s", id.c_str());
        }
        std::printf("\n");
    }
}
