// KaTek runtime, private: the lines of the settings file and their syntax, on text already
// decoded. Reading and decoding the file, and naming it in errors, are Config.cpp's.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace KaTekConfig {

// SettingsSyntaxError is a malformed line: what() says why, line is its number from 1.
class SettingsSyntaxError : public std::runtime_error {
public:
    SettingsSyntaxError(size_t line, const char* reason) : std::runtime_error(reason), line(line) {}
    size_t line;
};

// ForEachLine hands visit each line of text, numbered from 1, without its line end: "\r\n",
// "\n", or a lone "\r", as files saved with old Mac line ends have; after the last line end
// there is no empty line. Works on bytes and on UTF-16 units alike, so that a line that
// cannot be decoded has the number it has once decoded.
template <typename View, typename Visit> void ForEachLine(View text, Visit visit) {
    size_t at = 0;
    for (size_t number = 1; at < text.size(); ++number) {
        size_t end = at;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
            ++end;
        }
        visit(number, text.substr(at, end - at));
        const bool crlf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
        at = end + (crlf ? 2 : 1);
    }
}

// LineAtEnd answers the number of the line on which text ends: 1 for the empty text, one
// more for each line end.
template <typename View> size_t LineAtEnd(View text) {
    size_t lines = 0;
    ForEachLine(text, [&lines](size_t number, View) { lines = number; });
    const bool ended = text.empty() || text.back() == '\n' || text.back() == '\r';
    return ended ? lines + 1 : lines;
}

// Keys and values as views into the text parsed.
using SettingsAttributes = std::vector<std::pair<std::wstring_view, std::wstring_view>>;
// Each section's attributes, by the section's name.
using SettingsSections = std::unordered_map<std::wstring_view, SettingsAttributes>;

// ParseSettings answers the attributes of every section of the settings text, each in file
// order, as views into text: a section that appears again adds to them, and a key set again
// keeps its first place and takes the last value. Throws SettingsSyntaxError for a line
// holding a NUL or a lone surrogate, or that is neither a comment, a "[section]" nor
// "KEY=VALUE" after a section. Linear in the text.
SettingsSections ParseSettings(std::wstring_view text);

} // namespace KaTekConfig
