// JSON keys and text for kacutil's data commands.
#include "Json.h"

#include <vector>

namespace Kacutil {

namespace {

bool IsAsciiAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::vector<std::string> SplitWords(const std::string& label) {
    std::vector<std::string> words(1);
    for (char c : label) {
        if (IsAsciiAlphanumeric(c)) {
            words.back() += c;
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
    }
    if (words.back().empty()) {
        words.pop_back();
    }
    return words;
}

bool AllCapitals(const std::string& word) {
    for (char c : word) {
        if (c >= 'a' && c <= 'z') {
            return false;
        }
    }
    return true;
}

} // namespace

std::string CamelCase(const std::string& label) {
    std::string key;
    for (std::string word : SplitWords(label)) {
        if (AllCapitals(word)) {
            for (char& c : word) {
                c = Lower(c);
            }
        }
        word[0] = key.empty() ? Lower(word[0]) : Upper(word[0]);
        key += word;
    }
    return key;
}

std::string RenderJson(const Json& document) {
    return document.dump(2, ' ', false, Json::error_handler_t::strict);
}

Json NullIfEmpty(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

} // namespace Kacutil
