// KaTek runtime, private: reading a text whose length the platform tells only when asked.
#pragma once

#include <windows.h>

#include <string>

namespace KaTekSys {

// ReadSized fills text by call(buffer, capacity), for the calls that answer the length they
// wrote, without its NUL, when the text fit, and otherwise the capacity it needs, with its NUL
// (GetEnvironmentVariableW, GetCurrentDirectoryW). The text may grow between two calls (another
// thread sets it meanwhile), so the call is made again with the capacity asked for, a few
// times at most. Answers ERROR_SUCCESS (text may then be empty: a call that answers 0 with no
// error wrote nothing), the call's error, or ERROR_INSUFFICIENT_BUFFER when the text kept
// outgrowing the buffer.
template <typename Call> DWORD ReadSized(Call call, std::wstring& text) {
    text.assign(256, L'\0');
    for (int round = 0; round < 8; ++round) {
        // 0 answers both "wrote nothing" and "failed"; only the last-error code tells which.
        ::SetLastError(ERROR_SUCCESS);
        const DWORD answered = call(&text[0], static_cast<DWORD>(text.size()));
        if (answered < text.size()) {
            const DWORD error = answered == 0 ? ::GetLastError() : ERROR_SUCCESS;
            text.resize(error == ERROR_SUCCESS ? answered : 0);
            return error;
        }
        text.assign(answered, L'\0');
    }
    text.clear();
    return ERROR_INSUFFICIENT_BUFFER;
}

} // namespace KaTekSys
