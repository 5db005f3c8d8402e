#include "Calls.h"

#include <cwchar>

namespace KaCtrlC {

String_t TakeText(const wchar_t* text, const wchar_t* what) {
    if (text == nullptr) {
        Refuse(KACTRL_INVALID_ARGUMENT, std::wstring(what) + L" is null");
    }
    const size_t units = std::wcslen(text);
    if (units >= String_t::npos) {
        Refuse(KACTRL_TOO_LONG, std::wstring(what) + L" is longer than a text can be");
    }
    return String_t(text, static_cast<uint32_t>(units));
}

std::string TakeAnsi(const wchar_t* text, const wchar_t* what) {
    const String_t wide = TakeText(text, what);
    std::string narrow = KaTekStr::MBS_t(wide, KaTekStr::ENC_ANSI).c_str();
    if (KaTekStr::WidenAnsi(narrow) != wide.Std()) {
        Refuse(KACTRL_INVALID_ARGUMENT,
               std::wstring(what) + L" holds a character the ANSI code page cannot hold");
    }
    return narrow;
}

} // namespace KaCtrlC
