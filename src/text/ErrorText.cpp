// The readable text of a Windows error code, as the status output shows it.
#include "frame/Export.h"

#include "Holders.h"

#include <string>

namespace KaCtrl {

namespace {

// The system's message texts close with a line end of two characters.
const DWORD kLineEndLength = 2;

// Nothing is passed for insert sequences such as "%1" (error 193 has one): without
// FORMAT_MESSAGE_IGNORE_INSERTS the system would fetch them from an argument array that is
// not there, so they are kept as written.
const DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                            FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS;

// The text without the line end it closes with. A text shorter than a line end has none to
// drop, and is not cut before its start.
String_t WithoutLineEnd(const wchar_t* message, DWORD length) {
    const DWORD kept = length > kLineEndLength ? length - kLineEndLength : 0;
    return String_t(message, static_cast<uint32_t>(kept));
}

} // namespace

String_t GetLastErrorText(unsigned long code) {
    KaHold::unique_local buffer;
    // The wide text, exactly: the narrow one would be in the ANSI code page, which need not
    // hold the letters of the language the system answers in. With
    // FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is where the system stores the
    // address of the text it allocates.
    DWORD written = FormatMessageW(kMessageFlags, nullptr, code, 0,
                                   reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (written == 0 || !buffer) {
        return String_t("N/A ");
    }
    String_t text = WithoutLineEnd(static_cast<const wchar_t*>(buffer.get()), written);
    text += " (";
    text += NumToStr(code);
    text += ")";
    return text;
}

} // namespace KaCtrl
