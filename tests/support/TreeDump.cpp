#include "support/TreeDump.h"

#include <cstdio>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

void AppendNode(std::string& out, KivoTagHandle tag) {
    AppendDumpEscaped(out, nkGetKivoTagName(tag));
    const int attrCount = nkGetKivoTagAttrCount(tag);
    if (attrCount > 0) {
        out += '[';
        for (int i = 0; i < attrCount; ++i) {
            if (i > 0) {
                out += ' ';
            }
            AppendDumpEscaped(out, nkGetKivoTagAttrName(tag, i));
            out += "=\"";
            AppendDumpEscaped(out, nkGetKivoTagAttrValue(tag, i));
            out += '"';
        }
        out += ']';
    }
    const char* value = nkGetKivoTagValue(tag);
    if (value[0] != '\0') {
        out += "=\"";
        AppendDumpEscaped(out, value);
        out += '"';
    }
}

} // namespace

void AppendDumpEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || byte == '"' || byte == '\\' || byte == '{' ||
            byte == '}' || byte == '[' || byte == ']') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
}

std::string DumpTree(KivoTagHandle tag) {
    if (tag == nullptr) {
        return "(null)";
    }
    std::string out;
    // Each entry: a tag, and the index of its next sub tag to print.
    std::vector<std::pair<KivoTagHandle, int>> stack;
    AppendNode(out, tag);
    stack.emplace_back(tag, 0);
    while (!stack.empty()) {
        auto& [current, next] = stack.back();
        const int count = nkGetKivoTagSubTagCount(current);
        if (next == 0 && count > 0) {
            out += '{';
        }
        if (next < count) {
            KivoTagHandle child = nkGetKivoTagSubTag(current, next, 0);
            if (next > 0) {
                out += ' ';
            }
            ++next;
            AppendNode(out, child);
            stack.emplace_back(child, 0);
            continue;
        }
        if (count > 0) {
            out += '}';
        }
        stack.pop_back();
    }
    return out;
}

std::string CheckInvariants(KivoTagHandle top, bool expectTop) {
    if (top == nullptr) {
        return "null tree";
    }
    if (expectTop && nkGetKivoTagParentTag(top) != nullptr) {
        return "top tag reports a parent";
    }
    std::unordered_set<KivoTagHandle> seen{top};
    std::vector<KivoTagHandle> pending{top};
    while (!pending.empty()) {
        KivoTagHandle tag = pending.back();
        pending.pop_back();
        std::set<std::string> names;
        for (int i = 0; i < nkGetKivoTagAttrCount(tag); ++i) {
            if (!names.insert(nkGetKivoTagAttrName(tag, i)).second) {
                return std::string("duplicate attribute ") + nkGetKivoTagAttrName(tag, i);
            }
        }
        if (nkGetKivoTagAttrName(tag, nkGetKivoTagAttrCount(tag)) != nullptr) {
            return "attribute readable past the count";
        }
        const int count = nkGetKivoTagSubTagCount(tag);
        for (int i = 0; i < count; ++i) {
            KivoTagHandle child = nkGetKivoTagSubTag(tag, i, 0);
            if (child == nullptr) {
                return "null sub tag inside the count";
            }
            if (nkGetKivoTagParentTag(child) != tag) {
                return std::string("sub tag ") + nkGetKivoTagName(child) +
                       " does not report its parent " + nkGetKivoTagName(tag);
            }
            if (!seen.insert(child).second) {
                return std::string("tag ") + nkGetKivoTagName(child) + " occurs twice";
            }
            pending.push_back(child);
        }
        if (nkGetKivoTagSubTag(tag, count, 0) != nullptr) {
            return "sub tag readable past the count";
        }
    }
    return {};
}
