// File names between the platform's backslash form and the slash form used in URIs.
// Both walks end at the first NUL unit, as a NUL-terminated name would; what follows it
// is left as written.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "text/FileNameForms.h"

#include <string>
#include <utility>

namespace KaCtrl {

namespace {

// The only unit ever escaped is the space, whose code is 0x20.
const wchar_t kEscapedSpace[] = L"%20";

size_t FindWalkEnd(const std::wstring& units) {
    const size_t nul = units.find(L'\0');
    return nul == std::wstring::npos ? units.size() : nul;
}

// TurnUnits answers units with each from unit before the first NUL turned into to.
// Turning units in place keeps every position.
std::wstring TurnUnits(std::wstring units, wchar_t from, wchar_t to) {
    const size_t walked = FindWalkEnd(units);
    for (size_t at = 0; at < walked; ++at) {
        if (units[at] == from) {
            units[at] = to;
        }
    }
    return units;
}

// TurnCopy is TurnUnits on a copy of text's units; a null text stays null.
String_t TurnCopy(const String_t& text, wchar_t from, wchar_t to) {
    return text.IsNull() ? text : String_t(TurnUnits(text.Std(), from, to));
}

String_t EscapeSpaces(const String_t& fileName) {
    const std::wstring& units = fileName.Std();
    const size_t walked = FindWalkEnd(units);
    std::wstring result;
    result.reserve(units.size());
    for (size_t at = 0; at < walked; ++at) {
        if (units[at] == L' ') {
            result += kEscapedSpace;
        } else {
            result += units[at] == L'\\' ? L'/' : units[at];
        }
    }
    result.append(units, walked, std::wstring::npos);
    return String_t(result);
}

} // namespace

String_t FileNameToURI(const String_t& fileName, bool escapeSpaces) {
    if (escapeSpaces && fileName.Std().find(L' ') != std::wstring::npos) {
        return EscapeSpaces(fileName);
    }
    return TurnCopy(fileName, L'\\', L'/');
}

String_t UnitsToURI(std::wstring&& units) {
    return String_t(TurnUnits(std::move(units), L'\\', L'/'));
}

String_t ReverseSlashes(const String_t& path) {
    return TurnCopy(path, L'/', L'\\');
}

} // namespace KaCtrl
