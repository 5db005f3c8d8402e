// What every call of the C interface shares: texts and out parameters taken from the caller,
// checked before the library sees them, and answers handed back by the sizing convention.
#pragma once

#include "Buffers.h"
#include "Failure.h"

#include "KaTek.h"

#include <string>
#include <string_view>

namespace KaCtrlC {

using KaTekStr::String_t;

// TakeText answers text as the library's text; refuses a null pointer (naming what it is)
// and a text longer than the library's texts can be.
String_t TakeText(const wchar_t* text, const wchar_t* what);

// TakeAnsi answers text in the process's ANSI code page for a call that takes narrow text;
// refuses a text that code page cannot hold exactly, rather than pass a default character
// or a look-alike on to the system.
std::string TakeAnsi(const wchar_t* text, const wchar_t* what);

// Out answers the place out points to; refuses a null one.
template <class T> T& Out(T* out, const wchar_t* what) {
    if (out == nullptr) {
        Refuse(KACTRL_INVALID_ARGUMENT, std::wstring(what) + L" is null");
    }
    return *out;
}

// CheckBuffer refuses a null needed or a null buffer of a size other than 0 before the call
// does any work, and sets needed to 0 for a failure to come.
template <class Unit> void CheckBuffer(const Unit* buffer, size_t size, size_t* needed) {
    Out(needed, L"needed") = 0;
    if (buffer == nullptr && size != 0) {
        Refuse(KACTRL_INVALID_ARGUMENT, L"the buffer is null but its size is not 0");
    }
}

// Deliver hands answer over by CopyOut, recording a buffer too small as a failure.
template <class Unit>
KaCtrlStatus Deliver(std::basic_string_view<Unit> answer, Unit* buffer, size_t size,
                     size_t* needed) {
    KaCtrlStatus status = CopyOut(answer, buffer, size, needed);
    if (status == KACTRL_BUFFER_TOO_SMALL) {
        Record(status, 0,
               L"the buffer holds " + std::to_wstring(size) + L" units, the answer needs " +
                   std::to_wstring(*needed));
    }
    return status;
}

inline std::wstring_view ViewOf(const String_t& text) {
    return text.Std();
}
inline std::wstring_view ViewOf(const std::wstring& text) {
    return text;
}
inline std::string_view ViewOf(const std::string& text) {
    return text;
}

// AnswerText checks the buffer, makes the answer and delivers it: the whole of a call whose
// answer is one text.
template <class Unit, class Make>
KaCtrlStatus AnswerText(Unit* buffer, size_t size, size_t* needed, Make&& make) noexcept {
    return Guard([&] {
        CheckBuffer(buffer, size, needed);
        const auto answer = make();
        return Deliver(ViewOf(answer), buffer, size, needed);
    });
}

// AnswerValue sets *out to what make answers: the whole of a call whose answer is a number.
template <class T, class Make>
KaCtrlStatus AnswerValue(T* out, const wchar_t* what, Make&& make) noexcept {
    return Guard([&] {
        T& answer = Out(out, what);
        answer = static_cast<T>(make());
        return KACTRL_SUCCESS;
    });
}

} // namespace KaCtrlC
