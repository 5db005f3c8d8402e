// KaTek runtime: the syntax of the settings file.
#include "SettingsParser.h"

#include "KaTek/Config.h"
#include "Utf16.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace KaTekConfig {

namespace {

// A view, so that only what is kept of a line is ever copied.
std::wstring_view TrimView(std::wstring_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsSettingsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsSettingsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

// A NUL would end the value early wherever it is handed on (one environment entry would
// become two), so it makes a line malformed like any other undecodable text.
void CheckLine(size_t number, std::wstring_view line) {
    if (line.find(L'\0') != std::wstring_view::npos) {
        throw SettingsSyntaxError(number, "the line holds a NUL character");
    }
    if (KaTekStr::HasLoneSurrogate(line)) {
        throw SettingsSyntaxError(number, "the line is not valid UTF-16");
    }
}

// KeyIndex finds where a key stands among attributes by open addressing: a table of
// positions, a power of two long and at most half full, doubled as keys come. A key set
// again is found in constant time on average, no key takes an allocation of its own, and
// the table grows with the keys kept, never with the lines of the file.
class KeyIndex {
public:
    // FindOrAdd answers where the key of attributes[at] first stands, adding at when that
    // key stands nowhere else.
    size_t FindOrAdd(const SettingsAttributes& attributes, size_t at) {
        if (2 * (used_ + 1) > slots_.size()) {
            Grow(attributes);
        }
        const std::wstring_view key = attributes[at].first;
        size_t slot = SlotOf(key);
        for (; slots_[slot] != kFree; slot = Next(slot)) {
            if (attributes[slots_[slot]].first == key) {
                return slots_[slot];
            }
        }
        slots_[slot] = at;
        ++used_;
        return at;
    }

private:
    static constexpr size_t kFree = ~size_t{0};

    size_t SlotOf(std::wstring_view key) const {
        return std::hash<std::wstring_view>()(key) & (slots_.size() - 1);
    }
    size_t Next(size_t slot) const { return (slot + 1) & (slots_.size() - 1); }

    // Every key kept is distinct, so each goes to the first free slot from its own.
    void Grow(const SettingsAttributes& attributes) {
        const std::vector<size_t> old = std::move(slots_);
        slots_.assign(std::max<size_t>(16, 2 * old.size()), kFree);
        for (const size_t at : old) {
            if (at != kFree) {
                size_t slot = SlotOf(attributes[at].first);
                while (slots_[slot] != kFree) {
                    slot = Next(slot);
                }
                slots_[slot] = at;
            }
        }
    }

    std::vector<size_t> slots_;
    size_t used_ = 0;
};

// One section's attributes and the index of their keys.
struct Section {
    SettingsAttributes attributes;
    KeyIndex index;
};

class SettingsParser {
public:
    void Line(size_t number, std::wstring_view raw) {
        CheckLine(number, raw);
        const size_t first = raw.find_first_not_of(L" \t");
        if (first == std::wstring_view::npos || raw[first] == L';' || raw[first] == L'#') {
            return;
        }
        if (raw[first] == L'[') {
            StartSection(number, TrimView(raw));
            return;
        }
        Attribute(number, raw);
    }

    SettingsSections Result() {
        SettingsSections sections;
        sections.reserve(sections_.size());
        for (auto& [name, section] : sections_) {
            sections.emplace(name, std::move(section.attributes));
        }
        return sections;
    }

private:
    void StartSection(size_t number, std::wstring_view line) {
        if (line.back() != L']') {
            throw SettingsSyntaxError(number, "a section line must end with ']'");
        }
        const std::wstring_view name = TrimView(line.substr(1, line.size() - 2));
        if (name.empty()) {
            throw SettingsSyntaxError(number, "the section has no name");
        }
        // Nodes of the map stay where they are as it grows, so this one stays valid.
        current_ = &sections_[name];
    }

    // The value is everything after the first '=' as written, blanks and quotes included.
    void Attribute(size_t number, std::wstring_view raw) {
        const size_t equals = raw.find(L'=');
        if (equals == std::wstring_view::npos) {
            throw SettingsSyntaxError(number, "neither a comment, a [section] nor KEY=VALUE");
        }
        const std::wstring_view key = TrimView(raw.substr(0, equals));
        if (key.empty()) {
            throw SettingsSyntaxError(number, "the attribute has no name");
        }
        if (current_ == nullptr) {
            throw SettingsSyntaxError(number, "KEY=VALUE before the first [section]");
        }
        SetIndexed(*current_, key, raw.substr(equals + 1));
    }

    // A later value of a key already set replaces it where it first stood, found through an
    // index by key, so that reading stays linear in the number of attributes. The new
    // attribute is placed first and taken back when its key was there already, so that the
    // index holds positions rather than the keys again.
    static void SetIndexed(Section& section, std::wstring_view key, std::wstring_view value) {
        SettingsAttributes& attributes = section.attributes;
        attributes.emplace_back(key, value);
        const size_t at = section.index.FindOrAdd(attributes, attributes.size() - 1);
        if (at != attributes.size() - 1) {
            attributes[at].second = value;
            attributes.pop_back();
        }
    }

    std::unordered_map<std::wstring_view, Section> sections_;
    Section* current_ = nullptr;
};

} // namespace

SettingsSections ParseSettings(std::wstring_view text) {
    SettingsParser parser;
    ForEachLine(text,
                [&parser](size_t number, std::wstring_view line) { parser.Line(number, line); });
    return parser.Result();
}

} // namespace KaTekConfig
