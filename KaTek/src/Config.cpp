// KaTek runtime: configuration namespaces read from the settings file.
#include "KaTek/Config.h"
#include "KaTek/Msg.h"
#include "KaTek/Runtime.h"

#include "Env.h"
#include "FileRead.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

namespace KaTekConfig {

namespace {

using Attributes = std::vector<std::pair<String_t, String_t>>;

bool IsBlank(wchar_t unit) {
    return unit == L' ' || unit == L'\t';
}

// A view, so that only what is kept of a line is ever copied.
std::wstring_view Trimmed(std::wstring_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

String_t TextOf(std::wstring_view units) {
    return String_t(units.data(), static_cast<uint32_t>(units.size()));
}

[[noreturn]] void ThrowSyntax(const String_t& file, size_t lineNumber, const char* reason) {
    KaTekMsg::ThrowRuntime(
        KaTekMsg::MSG_CONFIG_SYNTAX,
        {file, KaTekStr::NumToStr(static_cast<unsigned long long>(lineNumber)), String_t(reason)});
}

// Splits text at each '\n' and hands visit a view of each line without its line end (a '\r'
// before the '\n' belongs to it), numbered from 1.
template <typename View, typename Visit> void ForEachLine(View text, Visit visit) {
    size_t at = 0;
    for (size_t number = 1; at < text.size(); ++number) {
        size_t end = std::min(text.find('\n', at), text.size());
        const size_t next = end + 1;
        if (end > at && text[end - 1] == '\r') {
            --end;
        }
        visit(number, text.substr(at, end - at));
        at = next;
    }
}

bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether a UTF-16 line is well formed: every surrogate in a pair.
bool HasLoneSurrogate(std::wstring_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (IsHighSurrogate(line[i]) && i + 1 < line.size() && IsLowSurrogate(line[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(line[i]) || IsLowSurrogate(line[i])) {
            return true;
        }
    }
    return false;
}

// A NUL would end the value early wherever it is handed on (one environment entry would
// become two), so it makes a line malformed like any other undecodable text.
void CheckLine(const String_t& file, size_t number, std::wstring_view line) {
    if (line.find(L'\0') != std::wstring::npos) {
        ThrowSyntax(file, number, "the line holds a NUL character");
    }
    if (HasLoneSurrogate(line)) {
        ThrowSyntax(file, number, "the line is not valid UTF-16");
    }
}

// The units of a file that starts with the UTF-16LE mark, as Windows editors save "Unicode".
std::wstring Utf16Units(const String_t& file, const std::string& bytes) {
    std::wstring units((bytes.size() - 2) / 2, L'\0');
    std::memcpy(&units[0], bytes.data() + 2, units.size() * sizeof(wchar_t));
    if (bytes.size() % 2 != 0) {
        const auto lastLine = std::count(units.begin(), units.end(), L'\n') + 1;
        ThrowSyntax(file, static_cast<size_t>(lastLine), "the UTF-16 text ends in half a unit");
    }
    return units;
}

// The units of a UTF-8 file, with or without its mark, decoded in one call. No sequence can
// span a line end, so a file that fails has a line that fails: only then is it decoded again
// line by line, to name that line.
std::wstring Utf8Units(const String_t& file, const std::string& bytes) {
    const std::string_view text =
        std::string_view(bytes).substr(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    std::wstring units;
    if (KaTekStr::TryWidenStrictUtf8(text, units)) {
        return units;
    }
    ForEachLine(text, [&file, &units](size_t number, std::string_view line) {
        if (!KaTekStr::TryWidenStrictUtf8(line, units)) {
            ThrowSyntax(file, number, "the line is not valid UTF-8");
        }
    });
    ThrowSyntax(file, 1, "the text is not valid UTF-8");
}

// Hands visit the file's lines as UTF-16, without the byte-order mark and without line ends.
// Nothing undecodable is ever replaced silently.
template <typename Visit>
void ForEachSettingsLine(const String_t& file, const std::string& bytes, Visit visit) {
    const std::wstring units =
        bytes.compare(0, 2, "\xFF\xFE") == 0 ? Utf16Units(file, bytes) : Utf8Units(file, bytes);
    ForEachLine(std::wstring_view(units), [&](size_t number, std::wstring_view line) {
        CheckLine(file, number, line);
        visit(number, line);
    });
}

// A later value of a key already set replaces it where it first stood.
void SetAttribute(Attributes& attributes, const String_t& key, const String_t& value) {
    for (auto& attribute : attributes) {
        if (attribute.first == key) {
            attribute.second = value;
            return;
        }
    }
    attributes.emplace_back(key, value);
}

// The parse walks every line, so a malformed line anywhere in the file is reported, not
// only one inside the namespace asked for.
class SettingsParser {
public:
    // Each line holds one attribute at most, so the line count bounds the index: reserving
    // for it spares rehashing every key as a large namespace grows.
    SettingsParser(const String_t& file, const String_t& wanted, size_t lines)
        : file_(file), wanted_(wanted) {
        index_.reserve(lines);
    }
    // The index refers to the parser's own attributes, so a parser stays where it was made.
    SettingsParser(const SettingsParser&) = delete;
    SettingsParser& operator=(const SettingsParser&) = delete;

    void Line(size_t number, std::wstring_view raw) {
        const size_t first = raw.find_first_not_of(L" \t");
        if (first == std::wstring_view::npos || raw[first] == L';' || raw[first] == L'#') {
            return;
        }
        if (raw[first] == L'[') {
            Section(number, Trimmed(raw));
            return;
        }
        Attribute(number, raw);
    }

    Attributes Result() { return std::move(attributes_); }

private:
    void Section(size_t number, std::wstring_view line) {
        if (line.back() != L']') {
            ThrowSyntax(file_, number, "a section line must end with ']'");
        }
        const std::wstring_view name = Trimmed(line.substr(1, line.size() - 2));
        if (name.empty()) {
            ThrowSyntax(file_, number, "the section has no name");
        }
        inSection_ = true;
        inWanted_ = name == wanted_.Std();
    }

    // The value is everything after the first '=' as written, blanks and quotes included.
    void Attribute(size_t number, std::wstring_view raw) {
        const size_t equals = raw.find(L'=');
        if (equals == std::wstring_view::npos) {
            ThrowSyntax(file_, number, "neither a comment, a [section] nor KEY=VALUE");
        }
        const std::wstring_view key = Trimmed(raw.substr(0, equals));
        if (key.empty()) {
            ThrowSyntax(file_, number, "the attribute has no name");
        }
        if (!inSection_) {
            ThrowSyntax(file_, number, "KEY=VALUE before the first [section]");
        }
        if (inWanted_) {
            SetIndexed(key, raw.substr(equals + 1));
        }
    }

    // As SetAttribute does, through an index by key, so that reading stays linear in the
    // number of attributes. The new attribute is placed first and taken back when its key
    // was there already, so that the index holds positions rather than copies of the keys.
    void SetIndexed(std::wstring_view key, std::wstring_view value) {
        attributes_.emplace_back(TextOf(key), TextOf(value));
        const auto [slot, added] = index_.insert(attributes_.size() - 1);
        if (!added) {
            attributes_[*slot].second = std::move(attributes_.back().second);
            attributes_.pop_back();
        }
    }

    // Hashes and compares positions in attributes_ by the keys there.
    struct KeyAt {
        const Attributes* attributes;
        size_t operator()(size_t at) const {
            return std::hash<std::wstring>()((*attributes)[at].first.Std());
        }
        bool operator()(size_t left, size_t right) const {
            return (*attributes)[left].first == (*attributes)[right].first;
        }
    };

    String_t file_;
    String_t wanted_;
    bool inSection_ = false;
    bool inWanted_ = false;
    Attributes attributes_;
    std::unordered_set<size_t, KeyAt, KeyAt> index_{0, KeyAt{&attributes_}, KeyAt{&attributes_}};
};

} // namespace

String_t SettingsFilePath() {
    const std::wstring chosen = KaTekEnv::ReadVariable(L"KA_CONFIG_FILE");
    if (!chosen.empty()) {
        return String_t(chosen);
    }
    return KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_KA_CONF, String_t("KaAgent.ini"));
}

Configuration_t ConfigNamespace_t::Open() const {
    const String_t file = SettingsFilePath();
    std::string bytes;
    if (!KaTekIo::ReadWholeFile(file, bytes)) {
        return Configuration_t();
    }
    SettingsParser parser(file, name_,
                          static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    ForEachSettingsLine(file, bytes, [&parser](size_t number, std::wstring_view line) {
        parser.Line(number, line);
    });
    return Configuration_t(parser.Result());
}

KaTekArray::CharArray_t Configuration_t::GetAttrValue(const char* key) const {
    const String_t wanted(key);
    for (const auto& attribute : attributes_) {
        if (key != nullptr && attribute.first == wanted) {
            return KaTekArray::CharArray_t(attribute.second);
        }
    }
    return KaTekArray::CharArray_t();
}

bool Configuration_t::GetAttr(int index, String_t& name, String_t& value) const {
    if (index < 0 || static_cast<size_t>(index) >= attributes_.size()) {
        return false;
    }
    name = attributes_[static_cast<size_t>(index)].first;
    value = attributes_[static_cast<size_t>(index)].second;
    return true;
}

void Configuration_t::SetAttrValue(const char* key, const char* value) {
    // A null key names nothing that could be read back, so there is nothing to set.
    if (key != nullptr) {
        SetAttribute(attributes_, String_t(key), String_t(value == nullptr ? "" : value));
    }
}

} // namespace KaTekConfig
