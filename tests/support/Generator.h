// Hostile texts from a seeded generator, for every test of text that crosses the platform
// boundary: units that a platform reads otherwise than the caller meant (NUL, lone surrogates,
// fullwidth look-alikes of ASCII syntax, letters outside the ANSI code page, line ends, quotes,
// the separators of paths, lists and variables).
#pragma once

#include <cstdio>
#include <random>
#include <string>

namespace KaTest {

inline const std::wstring kHostileUnits[] = {
    std::wstring(1, L'\0'), L"\xD800", L"\xDFFF", L"\xFF3C", L"\xFF1B", L"\xFF02", L"\xFF1D",
    L"\xFF54", L"\xFF32", L"\x7528", L"\xE9", L"\U0001F600", L"\r", L"\n", L"\t", L"\"", L"'", L"$",
    L";", L"\\", L"/", L"%", L"=", L"<", L"&", L"]]>", L"\x01", L"\xFFFE", L" ", L"a", L"B",
    // These two end in the byte of "\" in code page 932.
    L"\x8868", L"\x30BD"};

struct Generator {
    std::mt19937 rng;
    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
    const std::wstring& Unit() { return kHostileUnits[Below(std::size(kHostileUnits))]; }
    // Text answers up to maxUnits units of kHostileUnits; with settingsSafe, none that a
    // settings line cannot hold.
    std::wstring Text(size_t maxUnits, bool settingsSafe = false) {
        const std::wstring unsafe(L"\0\r\n\xD800\xDFFF", 5);
        std::wstring text;
        for (size_t count = Below(maxUnits + 1); text.size() < count;) {
            const std::wstring& unit = Unit();
            text += settingsSafe && unsafe.find(unit[0]) != std::wstring::npos ? L"x" : unit;
        }
        return text;
    }
};

// Hex answers each unit of units as four hex digits and a blank.
inline std::string Hex(const std::wstring& units) {
    std::string hex;
    for (wchar_t unit : units) {
        char digits[8];
        hex += std::string(digits, std::snprintf(digits, sizeof digits, "%04X ", unit));
    }
    return hex;
}

} // namespace KaTest
