#include "parser/KivoParser.h"

#include "tree/KivoTag.h"

#include <memory>
#include <new>

namespace {

constexpr std::size_t kTextBufferReserve = 128;

bool IsTrimmedByte(char byte) {
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

std::size_t CountAttributes(const XML_Char** attributes) {
    std::size_t count = 0;
    while (attributes[2 * count] != nullptr) {
        ++count;
    }
    return count;
}

} // namespace

KivoParser::KivoParser() {
    // The buffer is reserved before expat's parser exists: a constructor that
    // throws never runs the destructor, so nothing may throw once there is an
    // expat parser to free.
    textBuffer_.reserve(kTextBufferReserve);
    expatParser_ = XML_ParserCreate(nullptr);
    if (expatParser_ == nullptr) {
        throw std::bad_alloc();
    }
    XML_SetUserData(expatParser_, this);
    XML_SetElementHandler(expatParser_, OnStartElement, OnEndElement);
    XML_SetCharacterDataHandler(expatParser_, OnCharacterData);
}

KivoParser::~KivoParser() {
    XML_ParserFree(expatParser_);
    expatParser_ = nullptr;
    // An unfinished document can never be handed out, so it is destroyed
    // here. A finished tree in root_ belongs to whoever took it, or will.
    if (!openTags_.empty()) {
        delete openTags_.front();
    }
}

bool KivoParser::ParseBuffer(const char* buffer, int length, bool isFinal) {
    if (XML_Parse(expatParser_, buffer, length, isFinal ? 1 : 0) != XML_STATUS_ERROR) {
        return true;
    }
    DestroyHeldTree();
    return false;
}

void KivoParser::DestroyHeldTree() {
    if (openTags_.empty()) {
        // A host that took the tree without detaching it may have put it
        // under a tag of its own; take it out of there before destroying it
        // so that tree keeps no pointer to freed memory.
        if (root_ != nullptr) {
            KivoTag::Destroy(root_);
            root_ = nullptr;
        }
        return;
    }
    // The bottom of the stack owns everything else that was built.
    delete openTags_.front();
    openTags_.clear();
}

KivoTag* KivoParser::TakeRoot(bool detach) {
    KivoTag* const tree = root_;
    if (detach) {
        root_ = nullptr;
    }
    return tree;
}

void XMLCALL KivoParser::OnStartElement(void* userData, const XML_Char* name,
                                        const XML_Char** attributes) {
    auto* const parser = static_cast<KivoParser*>(userData);
    if (parser->handlerFailed_) {
        return;
    }
    try {
        parser->StartElement(name, attributes);
    } catch (const std::bad_alloc&) {
        parser->StopOnFailure();
    }
}

void XMLCALL KivoParser::OnEndElement(void* userData, const XML_Char* /*name*/) {
    auto* const parser = static_cast<KivoParser*>(userData);
    if (parser->handlerFailed_) {
        return;
    }
    try {
        parser->EndElement();
    } catch (const std::bad_alloc&) {
        parser->StopOnFailure();
    }
}

void XMLCALL KivoParser::OnCharacterData(void* userData, const XML_Char* characters, int length) {
    auto* const parser = static_cast<KivoParser*>(userData);
    if (parser->handlerFailed_) {
        return;
    }
    try {
        parser->textBuffer_.append(characters, static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        parser->StopOnFailure();
    }
}

void KivoParser::StopOnFailure() {
    handlerFailed_ = true;
    XML_StopParser(expatParser_, XML_FALSE);
}

void KivoParser::StartElement(const XML_Char* name, const XML_Char** attributes) {
    FlushText();
    // Room on the stack first, so that once the tag is attached nothing below
    // can fail and leave it half-registered.
    openTags_.reserve(openTags_.size() + 1);
    auto tag = std::make_unique<KivoTag>(name);
    KivoTagAttrList& attrs = tag->Attrs();
    const std::size_t count = CountAttributes(attributes);
    attrs.Reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        attrs.Append(attributes[2 * i], attributes[2 * i + 1]);
    }
    if (!openTags_.empty()) {
        openTags_.back()->AppendNewSubTag(tag.get());
    }
    openTags_.push_back(tag.release());
}

void KivoParser::EndElement() {
    FlushText();
    KivoTag* const finished = openTags_.back();
    openTags_.pop_back();
    if (openTags_.empty()) {
        root_ = finished;
    }
}

void KivoParser::FlushText() {
    if (openTags_.empty()) {
        return;
    }
    const char* start = textBuffer_.data();
    std::size_t length = textBuffer_.size();
    while (length != 0 && IsTrimmedByte(*start)) {
        ++start;
        --length;
    }
    while (length != 0 && IsTrimmedByte(start[length - 1])) {
        --length;
    }
    if (length != 0) {
        openTags_.back()->AppendValue(start, length);
    }
    textBuffer_.clear();
}
