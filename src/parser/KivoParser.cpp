#include "parser/KivoParser.h"

#include "tree/KivoTag.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kTextBufferReserve = 128;
constexpr std::size_t kEncodingProbe = 4;

bool IsTrimmedByte(char byte) {
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

// Makes room for one more element, growing geometrically: reserving only
// size() + 1 would copy the whole stack on every push.
template <typename Element> void ReserveOneMore(std::vector<Element>& stack) {
    if (stack.size() == stack.capacity()) {
        stack.reserve(std::max<std::size_t>(16, 2 * stack.size()));
    }
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
    DestroyUnfinishedDocument();
}

// expat tells the encoding from the first bytes of its first call. Given a
// lone first byte that cannot start a byte order mark it settles on UTF-8, so
// a UTF-16 document without a mark, cut after its first byte, would be
// refused although it is accepted whole. The first call therefore gets at
// least kEncodingProbe bytes (or everything, at the final piece). No complete
// document is shorter than that, so holding them back delays no tree.
bool KivoParser::ParseBuffer(const char* buffer, int length, bool isFinal) {
    if (openingPassed_) {
        return ParseThroughExpat(buffer, length, isFinal);
    }
    const auto size = static_cast<std::size_t>(length);
    const std::size_t taken = std::min(size, kEncodingProbe - opening_.size());
    opening_.append(buffer, taken);
    if (opening_.size() < kEncodingProbe && !isFinal) {
        return true;
    }
    openingPassed_ = true;
    const bool restFollows = taken < size;
    if (!ParseThroughExpat(opening_.data(), static_cast<int>(opening_.size()),
                           isFinal && !restFollows)) {
        return false;
    }
    return !restFollows ||
           ParseThroughExpat(buffer + taken, length - static_cast<int>(taken), isFinal);
}

bool KivoParser::ParseThroughExpat(const char* buffer, int length, bool isFinal) {
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
    DestroyUnfinishedDocument();
}

void KivoParser::DestroyUnfinishedDocument() {
    // Every pending sub tag is a top tag (an open element among them owns
    // nothing yet), so each is destroyed on its own, and so is the bottom
    // open tag.
    for (KivoTag* const pending : pendingSubTags_) {
        delete pending;
    }
    pendingSubTags_.clear();
    if (!openTags_.empty()) {
        delete openTags_.front().tag;
        openTags_.clear();
    }
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
    // Room in both stacks first, so that once the tag is registered nothing
    // below can fail and leave it half-registered.
    ReserveOneMore(openTags_);
    ReserveOneMore(pendingSubTags_);
    auto tag = std::make_unique<KivoTag>(name);
    KivoTagAttrList& attrs = tag->Attrs();
    const std::size_t count = CountAttributes(attributes);
    attrs.Reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        attrs.Append(attributes[2 * i], attributes[2 * i + 1]);
    }
    if (!openTags_.empty()) {
        pendingSubTags_.push_back(tag.get());
    }
    openTags_.push_back(OpenTag{tag.release(), pendingSubTags_.size()});
}

void KivoParser::EndElement() {
    FlushText();
    const OpenTag finished = openTags_.back();
    // If this allocation throws, the sub tags stay pending and the failed
    // parse destroys them with the rest.
    finished.tag->AdoptNewSubTags(pendingSubTags_.data() + finished.firstSubTag,
                                  pendingSubTags_.size() - finished.firstSubTag);
    pendingSubTags_.resize(finished.firstSubTag);
    openTags_.pop_back();
    if (openTags_.empty()) {
        root_ = finished.tag;
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
        openTags_.back().tag->AppendValue(start, length);
    }
    textBuffer_.clear();
}
