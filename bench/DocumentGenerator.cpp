#include "DocumentGenerator.h"

#include <array>
#include <cstdint>

namespace {

// A fixed linear congruential sequence: enough variety in lengths and values
// to keep branch predictors honest, and identical on every run.
class Sequence {
  public:
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    std::size_t Below(std::size_t bound) { return Next() % bound; }

  private:
    std::uint64_t state_ = 0x2545F4914F6CDD1DULL;
};

constexpr std::array<const char*, 16> kWords = {
    "amber", "basalt",  "cedar", "delta", "ember",  "fjord",  "granite", "harbour",
    "iris",  "juniper", "kelp",  "lumen", "meadow", "nickel", "orchard", "pebble"};

void AppendWords(std::string& out, Sequence& sequence, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) {
            out += ' ';
        }
        out += kWords[sequence.Below(kWords.size())];
    }
}

} // namespace

const char* DocumentGenerator::ShapeName(DocumentShape shape) {
    switch (shape) {
    case DocumentShape::Catalogue:
        return "catalogue";
    case DocumentShape::Text:
        return "text";
    case DocumentShape::Attrs:
        return "attrs";
    case DocumentShape::Flat:
        return "flat";
    case DocumentShape::Deep:
        return "deep";
    }
    return "?";
}

bool DocumentGenerator::ParseShapeName(const std::string& name, DocumentShape& shape) {
    for (const DocumentShape candidate :
         {DocumentShape::Catalogue, DocumentShape::Text, DocumentShape::Attrs, DocumentShape::Flat,
          DocumentShape::Deep}) {
        if (name == ShapeName(candidate)) {
            shape = candidate;
            return true;
        }
    }
    return false;
}

GeneratedDocument DocumentGenerator::Generate(DocumentShape shape, std::size_t targetBytes) {
    GeneratedDocument doc;
    doc.text.reserve(targetBytes + 4096);
    doc.text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    switch (shape) {
    case DocumentShape::Catalogue:
        AppendCatalogue(doc, targetBytes);
        break;
    case DocumentShape::Text:
        AppendText(doc, targetBytes);
        break;
    case DocumentShape::Attrs:
        AppendAttrs(doc, targetBytes);
        break;
    case DocumentShape::Flat:
        AppendFlat(doc, targetBytes);
        break;
    case DocumentShape::Deep:
        AppendDeep(doc, targetBytes);
        break;
    }
    return doc;
}

void DocumentGenerator::AppendCatalogue(GeneratedDocument& doc, std::size_t targetBytes) {
    // Six tags per record: attributes, short texts, a prefixed element,
    // mixed content, predefined entities and a character reference.
    std::string& out = doc.text;
    Sequence sequence;
    out += "<catalogue xmlns:x=\"urn:example:catalogue\" version=\"3\">\n";
    ++doc.tagCount;
    const std::string closing = "</catalogue>\n";
    for (std::size_t record = 1; out.size() + closing.size() < targetBytes; ++record) {
        const std::string number = std::to_string(record);
        out += " <record id=\"r" + number + "\" sku=\"K-" + std::to_string(sequence.Below(90000)) +
               "\" status=\"" + (sequence.Below(4) == 0 ? "retired" : "active") + "\">\n";
        out += "  <title>";
        AppendWords(out, sequence, 1 + sequence.Below(3));
        out += " &amp; ";
        AppendWords(out, sequence, 1);
        out += "</title>\n  <price currency=\"EUR\">" + std::to_string(sequence.Below(500)) + "." +
               std::to_string(10 + sequence.Below(90)) + "</price>\n";
        out += "  <x:origin code=\"N" + std::to_string(sequence.Below(10)) + "\">";
        AppendWords(out, sequence, 1);
        out += "</x:origin>\n  <note>Ships in <b>" + std::to_string(1 + sequence.Below(9)) +
               "</b> days &lt;by post&gt; from &#8364;" + std::to_string(sequence.Below(20)) +
               "</note>\n </record>\n";
        doc.tagCount += 6;
    }
    out += closing;
}

void DocumentGenerator::AppendText(GeneratedDocument& doc, std::size_t targetBytes) {
    // Long paragraphs, so the cost is in character data, not in tags.
    std::string& out = doc.text;
    Sequence sequence;
    out += "<book>\n";
    ++doc.tagCount;
    const std::string closing = "</book>\n";
    for (std::size_t chapter = 1; out.size() + closing.size() < targetBytes; ++chapter) {
        out += "<chapter n=\"" + std::to_string(chapter) + "\">\n";
        ++doc.tagCount;
        for (std::size_t para = 0; para < 8; ++para) {
            out += "  <para>";
            AppendWords(out, sequence, 60 + sequence.Below(120));
            out += " &amp; ";
            AppendWords(out, sequence, 20);
            out += ".</para>\n";
            ++doc.tagCount;
        }
        out += "</chapter>\n";
    }
    out += closing;
}

void DocumentGenerator::AppendAttrs(GeneratedDocument& doc, std::size_t targetBytes) {
    // Empty elements with twelve attributes each.
    std::string& out = doc.text;
    Sequence sequence;
    out += "<items>\n";
    ++doc.tagCount;
    const std::string closing = "</items>\n";
    while (out.size() + closing.size() < targetBytes) {
        out += "<item";
        for (std::size_t attr = 0; attr < 12; ++attr) {
            out += " a" + std::to_string(attr) + "=\"" + kWords[sequence.Below(kWords.size())] +
                   std::to_string(sequence.Below(1000)) + "\"";
        }
        out += "/>\n";
        ++doc.tagCount;
    }
    out += closing;
}

void DocumentGenerator::AppendFlat(GeneratedDocument& doc, std::size_t targetBytes) {
    // Eight bytes per sibling: 8 MiB holds about a million of them.
    std::string& out = doc.text;
    out += "<flat>";
    ++doc.tagCount;
    const std::string closing = "</flat>\n";
    for (std::size_t i = 0; out.size() + closing.size() < targetBytes; ++i) {
        out += "<i>";
        out += static_cast<char>('0' + i % 10);
        out += "</i>";
        ++doc.tagCount;
    }
    out += closing;
}

void DocumentGenerator::AppendDeep(GeneratedDocument& doc, std::size_t targetBytes) {
    // About ten bytes per level: 1 MiB nests some 100,000 elements.
    std::string& out = doc.text;
    const std::size_t levels = targetBytes / 10;
    for (std::size_t i = 0; i < levels; ++i) {
        out += "<d>";
        out += static_cast<char>('a' + i % 26);
        out += '\n';
    }
    for (std::size_t i = 0; i < levels; ++i) {
        out += "</d>\n";
    }
    doc.tagCount = levels;
}
