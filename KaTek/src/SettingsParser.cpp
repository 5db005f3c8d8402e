// KaTek runtime: the syntax of the settings file.
#include "SettingsParser.h"

#include <unordered_set>

namespace KaTekConfig {

namespace {

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
void CheckLine(size_t number, std::wstring_view line) {
    if (line.find(L'\0') != std::wstring_view::npos) {
        throw SettingsSyntaxError(number, "the line holds a NUL character");
    }
    if (HasLoneSurrogate(line)) {
        throw SettingsSyntaxError(number, "the line is not valid UTF-16");
    }
}

class SettingsParser {
public:
    SettingsParser(std::wstring_view wanted, size_t lines) : wanted_(wanted), lines_(lines) {}
    // The index refers to the parser's own attributes, so a parser stays where it was made.
    SettingsParser(const SettingsParser&) = delete;
    SettingsParser& operator=(const SettingsParser&) = delete;

    void Line(size_t number, std::wstring_view raw) {
        CheckLine(number, raw);
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

    SettingsAttributes Result() { return std::move(attributes_); }

private:
    void Section(size_t number, std::wstring_view line) {
        if (line.back() != L']') {
            throw SettingsSyntaxError(number, "a section line must end with ']'");
        }
        const std::wstring_view name = Trimmed(line.substr(1, line.size() - 2));
        if (name.empty()) {
            throw SettingsSyntaxError(number, "the section has no name");
        }
        inSection_ = true;
        inWanted_ = name == wanted_;
        // Each line holds one attribute at most, so the lines left bound the index: reserving
        // for them spares rehashing every key as a large namespace grows, and a file without
        // the namespace reserves nothing.
        if (inWanted_ && index_.empty()) {
            index_.reserve(lines_ - number);
        }
    }

    // The value is everything after the first '=' as written, blanks and quotes included.
    void Attribute(size_t number, std::wstring_view raw) {
        const size_t equals = raw.find(L'=');
        if (equals == std::wstring_view::npos) {
            throw SettingsSyntaxError(number, "neither a comment, a [section] nor KEY=VALUE");
        }
        const std::wstring_view key = Trimmed(raw.substr(0, equals));
        if (key.empty()) {
            throw SettingsSyntaxError(number, "the attribute has no name");
        }
        if (!inSection_) {
            throw SettingsSyntaxError(number, "KEY=VALUE before the first [section]");
        }
        if (inWanted_) {
            SetIndexed(key, raw.substr(equals + 1));
        }
    }

    // A later value of a key already set replaces it where it first stood, found through an
    // index by key, so that reading stays linear in the number of attributes. The new
    // attribute is placed first and taken back when its key was there already, so that the
    // index holds positions rather than the keys again.
    void SetIndexed(std::wstring_view key, std::wstring_view value) {
        attributes_.emplace_back(key, value);
        const auto [slot, added] = index_.insert(attributes_.size() - 1);
        if (!added) {
            attributes_[*slot].second = value;
            attributes_.pop_back();
        }
    }

    // Hashes and compares positions in attributes_ by the keys there.
    struct KeyAt {
        const SettingsAttributes* attributes;
        size_t operator()(size_t at) const {
            return std::hash<std::wstring_view>()((*attributes)[at].first);
        }
        bool operator()(size_t left, size_t right) const {
            return (*attributes)[left].first == (*attributes)[right].first;
        }
    };

    std::wstring_view wanted_;
    size_t lines_;
    bool inSection_ = false;
    bool inWanted_ = false;
    SettingsAttributes attributes_;
    std::unordered_set<size_t, KeyAt, KeyAt> index_{0, KeyAt{&attributes_}, KeyAt{&attributes_}};
};

} // namespace

SettingsAttributes ParseSettings(std::wstring_view text, std::wstring_view wanted) {
    SettingsParser parser(wanted, LineAtEnd(text));
    ForEachLine(text,
                [&parser](size_t number, std::wstring_view line) { parser.Line(number, line); });
    return parser.Result();
}

} // namespace KaTekConfig
