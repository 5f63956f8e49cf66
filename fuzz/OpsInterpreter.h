#ifndef NKKIVO_FUZZ_OPSINTERPRETER_H
#define NKKIVO_FUZZ_OPSINTERPRETER_H

#include "ByteReader.h"
#include "HostModel.h"

#include "nkKivo.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Decodes a fuzz input as a program of calls to the 24 exported functions
// over the slots of a HostModel, and checks each call's result and effect.
// Every byte sequence is a valid program; each step reads an operation code,
// then its arguments.
class OpsInterpreter {
  public:
    explicit OpsInterpreter(ByteReader& reader) : reader_(reader) {}

    void Run();

  private:
    using Text = std::optional<std::string>;

    void Step();

    void CreateParser();
    void DeleteParser();
    void ParseBuffer();
    void GetParserTree();
    void CreateTag();
    void DeleteTag();
    void ReadName();
    void SetName();
    void ReadValue();
    void SetValue();
    void ReadAttrCount();
    void ReadAttrAt();
    void FindAttr();
    void SetAttr();
    void DelAttr();
    void ClearAttrs();
    void ReadParent();
    void ReadSubTagCount();
    void GetSubTag();
    void AddSubTag();
    void DelSubTag();
    void ClearSubTags();
    void CloneTag();

    std::size_t Slot() { return reader_.Byte(); }
    KivoTagHandle AnyTag() { return model_.Tag(Slot()); }
    int Flag();
    int Index(int count);
    Text ReadText();
    std::string ReadDocumentPiece();
    static const char* CString(const Text& text) { return text ? text->c_str() : nullptr; }

    ByteReader& reader_;
    HostModel model_;
};

#endif
