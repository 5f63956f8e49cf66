#include "ExpatReference.h"

#include "support/TreeDump.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace {

using ExpatPointer = std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)>;

ExpatPointer MakeExpat() {
    return ExpatPointer(XML_ParserCreate(nullptr), &XML_ParserFree);
}

bool ParseWhole(XML_Parser parser, const char* text, std::size_t size) {
    return XML_Parse(parser, text, static_cast<int>(size), 1) != XML_STATUS_ERROR;
}

bool IsBlank(char byte) {
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

} // namespace

bool ExpatReference::BareExpatAccepts(const char* text, std::size_t size) {
    const ExpatPointer parser = MakeExpat();
    return parser != nullptr && ParseWhole(parser.get(), text, size);
}

std::optional<std::string> ExpatReference::ExpectedDump(const char* text, std::size_t size) {
    const ExpatPointer parser = MakeExpat();
    if (parser == nullptr) {
        return std::nullopt;
    }
    ExpatReference reference;
    XML_SetUserData(parser.get(), &reference);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnText);
    if (!ParseWhole(parser.get(), text, size) || reference.nodes_.empty()) {
        return std::nullopt;
    }
    return reference.Dump();
}

void XMLCALL ExpatReference::OnStart(void* userData, const XML_Char* name,
                                     const XML_Char** attributes) {
    auto& self = *static_cast<ExpatReference*>(userData);
    self.AddRunToOpenElement();
    const std::size_t index = self.nodes_.size();
    self.nodes_.push_back(Node{name, {}, {}, {}});
    for (std::size_t i = 0; attributes[i] != nullptr; i += 2) {
        self.AddAttribute(self.nodes_.back(), attributes[i], attributes[i + 1]);
    }
    if (!self.open_.empty()) {
        self.nodes_[self.open_.back()].children.push_back(index);
    }
    self.open_.push_back(index);
}

void XMLCALL ExpatReference::OnEnd(void* userData, const XML_Char* /*name*/) {
    auto& self = *static_cast<ExpatReference*>(userData);
    self.AddRunToOpenElement();
    self.open_.pop_back();
}

void XMLCALL ExpatReference::OnText(void* userData, const XML_Char* text, int length) {
    auto& self = *static_cast<ExpatReference*>(userData);
    self.run_.append(text, static_cast<std::size_t>(length));
}

void ExpatReference::AddRunToOpenElement() {
    std::string run;
    run.swap(run_);
    if (open_.empty()) {
        return;
    }
    std::size_t first = 0;
    std::size_t end = run.size();
    while (first < end && IsBlank(run[first])) {
        ++first;
    }
    while (end > first && IsBlank(run[end - 1])) {
        --end;
    }
    nodes_[open_.back()].value += run.substr(first, end - first);
}

void ExpatReference::AddAttribute(Node& node, const char* name, const char* value) const {
    for (auto& attribute : node.attributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    node.attributes.emplace_back(name, value);
}

std::string ExpatReference::Dump() const {
    std::string out;
    // Each entry: a node, and how many of its children are printed. Iterative,
    // because the fuzzer likes documents nested thousands deep.
    std::vector<std::pair<std::size_t, std::size_t>> stack;
    DumpNode(out, nodes_.front());
    stack.emplace_back(0, 0);
    while (!stack.empty()) {
        auto& [index, printed] = stack.back();
        const std::vector<std::size_t>& children = nodes_[index].children;
        if (printed < children.size()) {
            out += printed == 0 ? '{' : ' ';
            const std::size_t child = children[printed++];
            DumpNode(out, nodes_[child]);
            stack.emplace_back(child, 0);
            continue;
        }
        if (!children.empty()) {
            out += '}';
        }
        stack.pop_back();
    }
    return out;
}

void ExpatReference::DumpNode(std::string& out, const Node& node) const {
    AppendDumpEscaped(out, node.name);
    if (!node.attributes.empty()) {
        out += '[';
        for (std::size_t i = 0; i < node.attributes.size(); ++i) {
            if (i > 0) {
                out += ' ';
            }
            AppendDumpEscaped(out, node.attributes[i].first);
            out += "=\"";
            AppendDumpEscaped(out, node.attributes[i].second);
            out += '"';
        }
        out += ']';
    }
    if (!node.value.empty()) {
        out += "=\"";
        AppendDumpEscaped(out, node.value);
        out += '"';
    }
}
