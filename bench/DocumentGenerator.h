#ifndef NKKIVO_BENCH_DOCUMENTGENERATOR_H
#define NKKIVO_BENCH_DOCUMENTGENERATOR_H

#include <cstddef>
#include <string>

// The document shapes the benchmark measures. Each stresses a different part
// of a tree builder: per-tag cost (flat), text handling (text), attribute
// handling (attrs), the open-element stack (deep) and a realistic mix
// (catalogue).
enum class DocumentShape { Catalogue, Text, Attrs, Flat, Deep };

struct GeneratedDocument {
    std::string text;
    std::size_t tagCount = 0;
};

// Writes documents of a chosen shape and approximate size. The output depends
// only on the arguments, so every run and every library sees the same bytes.
class DocumentGenerator {
  public:
    static GeneratedDocument Generate(DocumentShape shape, std::size_t targetBytes);
    static const char* ShapeName(DocumentShape shape);
    // Returns false when the name is not one of ShapeName's results.
    static bool ParseShapeName(const std::string& name, DocumentShape& shape);

  private:
    static void AppendCatalogue(GeneratedDocument& doc, std::size_t targetBytes);
    static void AppendText(GeneratedDocument& doc, std::size_t targetBytes);
    static void AppendAttrs(GeneratedDocument& doc, std::size_t targetBytes);
    static void AppendFlat(GeneratedDocument& doc, std::size_t targetBytes);
    static void AppendDeep(GeneratedDocument& doc, std::size_t targetBytes);
};

#endif
