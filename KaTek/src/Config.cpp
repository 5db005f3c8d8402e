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

// Taken as a view, so that trimming a part of a line copies only what is kept.
String_t Trimmed(std::wstring_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return String_t(text.data() + first, static_cast<uint32_t>(last - first));
}

[[noreturn]] void ThrowSyntax(const String_t& file, size_t lineNumber, const char* reason) {
    KaTekMsg::ThrowRuntime(
        KaTekMsg::MSG_CONFIG_SYNTAX,
        {file, KaTekStr::NumToStr(static_cast<unsigned long long>(lineNumber)), String_t(reason)});
}

// Splits text at each '\n' and hands visit each line without its line end (a '\r' before
// the '\n' belongs to it), numbered from 1.
template <typename Text, typename Visit>
void ForEachLine(const Text& text, size_t at, Visit visit) {
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

bool IsSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Whether a UTF-16 line is well formed: every surrogate in a pair.
bool HasLoneSurrogate(const std::wstring& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        const bool high = line[i] >= 0xD800 && line[i] <= 0xDBFF;
        if (high && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) {
            ++i;
        } else if (IsSurrogate(line[i])) {
            return true;
        }
    }
    return false;
}

// A NUL would end the value early wherever it is handed on (one environment entry would
// become two), so it makes a line malformed like any other undecodable text.
void CheckLine(const String_t& file, size_t number, const std::wstring& line) {
    if (line.find(L'\0') != std::wstring::npos) {
        ThrowSyntax(file, number, "the line holds a NUL character");
    }
    if (HasLoneSurrogate(line)) {
        ThrowSyntax(file, number, "the line is not valid UTF-16");
    }
}

// Hands visit the file's lines as UTF-16, without the byte-order mark and without line ends.
// A file that starts with the UTF-16LE mark is UTF-16, as Windows editors save "Unicode"; any
// other is UTF-8, with or without its mark. Nothing undecodable is ever replaced silently.
template <typename Visit>
void ForEachSettingsLine(const String_t& file, const std::string& bytes, Visit visit) {
    const auto keep = [&](size_t number, const std::wstring& line) {
        CheckLine(file, number, line);
        visit(number, line);
    };
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        std::wstring units((bytes.size() - 2) / 2, L'\0');
        std::memcpy(&units[0], bytes.data() + 2, units.size() * sizeof(wchar_t));
        if (bytes.size() % 2 != 0) {
            const auto lastLine = std::count(units.begin(), units.end(), L'\n') + 1;
            ThrowSyntax(file, static_cast<size_t>(lastLine), "the UTF-16 text ends in half a unit");
        }
        ForEachLine(units, 0, keep);
        return;
    }
    const size_t begin = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    ForEachLine(bytes, begin, [&](size_t number, const std::string& raw) {
        std::wstring line;
        if (!KaTekStr::TryWidenStrictUtf8(raw, line)) {
            ThrowSyntax(file, number, "the line is not valid UTF-8");
        }
        keep(number, line);
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
    SettingsParser(const String_t& file, const String_t& wanted) : file_(file), wanted_(wanted) {}
    // The index refers to the parser's own attributes, so a parser stays where it was made.
    SettingsParser(const SettingsParser&) = delete;
    SettingsParser& operator=(const SettingsParser&) = delete;

    void Line(size_t number, const std::wstring& raw) {
        const size_t first = raw.find_first_not_of(L" \t");
        if (first == std::wstring::npos || raw[first] == L';' || raw[first] == L'#') {
            return;
        }
        if (raw[first] == L'[') {
            Section(number, Trimmed(raw));
            return;
        }
        Attribute(number, raw);
    }

    // Each line holds one attribute at most, so the line count bounds the index: reserving
    // for it spares rehashing every key as a large namespace grows.
    void ReserveFor(size_t lines) { index_.reserve(lines); }

    Attributes Result() { return std::move(attributes_); }

private:
    void Section(size_t number, const String_t& line) {
        if (line.Std().back() != L']') {
            ThrowSyntax(file_, number, "a section line must end with ']'");
        }
        const String_t name =
            Trimmed(std::wstring_view(line.Std()).substr(1, line.GetLength() - 2));
        if (name.IsEmpty()) {
            ThrowSyntax(file_, number, "the section has no name");
        }
        inSection_ = true;
        inWanted_ = name == wanted_;
    }

    // The value is everything after the first '=' as written, blanks and quotes included.
    void Attribute(size_t number, const std::wstring& raw) {
        const size_t equals = raw.find(L'=');
        if (equals == std::wstring::npos) {
            ThrowSyntax(file_, number, "neither a comment, a [section] nor KEY=VALUE");
        }
        String_t key = Trimmed(std::wstring_view(raw).substr(0, equals));
        if (key.IsEmpty()) {
            ThrowSyntax(file_, number, "the attribute has no name");
        }
        if (!inSection_) {
            ThrowSyntax(file_, number, "KEY=VALUE before the first [section]");
        }
        if (inWanted_) {
            SetIndexed(std::move(key), String_t(raw.c_str() + equals + 1,
                                                static_cast<uint32_t>(raw.size() - equals - 1)));
        }
    }

    // As SetAttribute does, through an index by key, so that reading stays linear in the
    // number of attributes. The new attribute is placed first and taken back when its key
    // was there already, so that the index holds positions rather than copies of the keys.
    void SetIndexed(String_t key, String_t value) {
        attributes_.emplace_back(std::move(key), std::move(value));
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
    SettingsParser parser(file, name_);
    parser.ReserveFor(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    ForEachSettingsLine(file, bytes, [&parser](size_t number, const std::wstring& line) {
        parser.Line(number, line);
    });
    return Configuration_t(parser.Result());
}

KaTekArray::CharArray_t Configuration_t::GetAttrValue(const char* key) const {
    const String_t wanted(key);
    for (const auto& attribute : attributes_) {
        if (key != nullptr && attribute.first == wanted) {
            const KaTekStr::MBS_t narrow(attribute.second, KaTekStr::ENC_ANSI);
            return KaTekArray::CharArray_t(std::string(narrow.c_str(), narrow.size()));
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
