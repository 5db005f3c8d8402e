// KaTek runtime: XML output. The writer emits each piece as soon as it is asked for, so a
// stream target sees the document grow; only the stack of open elements is remembered.
#include "KaTek/Xml.h"
#include "KaTek/Msg.h"

#include "Utf16.h"

#include <ostream>
#include <string>
#include <vector>

namespace KaTekXml {

namespace {

using KaTekStr::kLoneSurrogate; // neither XML text nor a name
constexpr char32_t kReplacement = 0xFFFD;

struct OpenElement {
    std::string qualifiedName; // UTF-8, exactly as written in the start tag
    std::wstring declaredPrefix;
};

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Name characters of XML 1.0 (fifth edition) without the colon: prefix and local name are
// separate parts, so a colon in either would change what the qualified name means.
bool IsNameStartChar(char32_t c) {
    return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsNcName(const std::wstring& name) {
    size_t index = 0;
    while (index < name.size()) {
        const bool first = index == 0;
        const char32_t c = KaTekStr::ReadCodePoint(name, index);
        if (first ? !IsNameStartChar(c) : !IsNameChar(c)) {
            return false;
        }
    }
    return !name.empty();
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Names are checked before they get here, so every code point is valid.
std::string NameToUtf8(const std::wstring& name) {
    std::string utf8;
    for (size_t index = 0; index < name.size();) {
        AppendUtf8(utf8, KaTekStr::ReadCodePoint(name, index));
    }
    return utf8;
}

const char* EntityFor(char32_t c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    // A parser turns a literal CR into LF; the reference keeps the text as it was given.
    case '\r':
        return "&#13;";
    default:
        return nullptr;
    }
}

std::string EscapeText(const std::wstring& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t index = 0; index < text.size();) {
        const char32_t c = KaTekStr::ReadCodePoint(text, index);
        if (const char* entity = EntityFor(c)) {
            escaped += entity;
        } else {
            AppendUtf8(escaped, IsXmlChar(c) ? c : kReplacement);
        }
    }
    return escaped;
}

[[noreturn]] void Fail(const String_t& detail) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_XML, {detail});
}

void CheckElementName(const String_t& prefix, const String_t& name) {
    if (!IsNcName(name.Std())) {
        Fail(String_t("not an element name: '") + name + "'");
    }
    if (prefix.IsNotEmpty() && !IsNcName(prefix.Std())) {
        Fail(String_t("not a namespace prefix: '") + prefix + "'");
    }
    // Both are bound by XML itself and may not be declared to another namespace.
    if (prefix == "xml" || prefix == "xmlns") {
        Fail(String_t("reserved namespace prefix: '") + prefix + "'");
    }
}

} // namespace

// The document state that every copy of a writer shares, which is why const operations can
// write.
struct XmlWriter_t::State {
    std::ostream* out = nullptr; // the borrowed target, or none for the own text
    std::string text;
    std::vector<OpenElement> open;
    bool wroteAnything = false;
    bool hadRoot = false;

    void Emit(const std::string& piece) {
        wroteAnything = true;
        if (!out) {
            text += piece;
            return;
        }
        out->write(piece.data(), static_cast<std::streamsize>(piece.size()));
        if (!*out) {
            Fail("the output stream cannot be written");
        }
    }

    // A prefix declared on an element that is still open is in scope; one declared on a
    // closed element is not, so a later sibling must declare it again.
    bool IsPrefixInScope(const std::wstring& prefix) const {
        for (const OpenElement& element : open) {
            if (element.declaredPrefix == prefix) {
                return true;
            }
        }
        return false;
    }
};

XmlWriter_t::XmlWriter_t() : state_(std::make_shared<State>()) {}

XmlWriter_t::XmlWriter_t(std::ostream& out) : state_(std::make_shared<State>()) {
    state_->out = &out;
}

void XmlWriter_t::StartDocument() const {
    // Anywhere but at the very start the declaration would make the document malformed.
    if (state_->wroteAnything) {
        Fail("the XML declaration must come first");
    }
    state_->Emit("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void XmlWriter_t::OpenTag(const String_t& prefix, const String_t& name) const {
    CheckElementName(prefix, name);
    // After the root has closed, anything more would be a second root.
    if (state_->open.empty() && state_->hadRoot) {
        Fail("a document has only one root element");
    }
    state_->hadRoot = true;
    OpenElement element;
    const std::string prefixUtf8 = NameToUtf8(prefix.Std());
    element.qualifiedName =
        prefix.IsEmpty() ? NameToUtf8(name.Std()) : prefixUtf8 + ":" + NameToUtf8(name.Std());
    std::string tag = "<" + element.qualifiedName;
    if (prefix.IsNotEmpty() && !state_->IsPrefixInScope(prefix.Std())) {
        element.declaredPrefix = prefix.Std();
        tag += " xmlns:" + prefixUtf8 + "=\"urn:trelm:" + prefixUtf8 + "\"";
    }
    state_->Emit(tag + ">");
    state_->open.push_back(std::move(element));
}

void XmlWriter_t::Data(const String_t& text) const {
    if (text.IsEmpty()) {
        return;
    }
    if (state_->open.empty()) {
        Fail("character data outside the root element");
    }
    state_->Emit(EscapeText(text.Std()));
}

void XmlWriter_t::CloseTag() const {
    if (state_->open.empty()) {
        Fail("no element is open");
    }
    state_->Emit("</" + state_->open.back().qualifiedName + ">");
    state_->open.pop_back();
}

void XmlWriter_t::EndDocument() const {
    while (!state_->open.empty()) {
        CloseTag();
    }
    if (state_->out) {
        state_->out->flush();
    }
}

std::string XmlWriter_t::GetDocument() const {
    return state_->text;
}

} // namespace KaTekXml
