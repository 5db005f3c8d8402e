// Field formatters, error text, time of day, file-name forms and directory listing.
#include "Calls.h"

#include "KaCtrlUtils.h"

#include <winsock2.h>

using namespace KaCtrlC;

namespace {

using Formatter = String_t (*)(const String_t&);

KaCtrlStatus Format(Formatter format, const wchar_t* text, wchar_t* result, size_t size,
                    size_t* needed) noexcept {
    return AnswerText(result, size, needed, [&] { return format(TakeText(text, L"text")); });
}

} // namespace

KaCtrlStatus KaCtrlFormatName(const wchar_t* text, wchar_t* result, size_t size, size_t* needed) {
    return Format(KaCtrl::FormatName, text, result, size, needed);
}

KaCtrlStatus KaCtrlFormatDescription(const wchar_t* text, wchar_t* result, size_t size,
                                     size_t* needed) {
    return Format(KaCtrl::FormatDescription, text, result, size, needed);
}

KaCtrlStatus KaCtrlFormatCategory(const wchar_t* text, wchar_t* result, size_t size,
                                  size_t* needed) {
    return Format(KaCtrl::FormatCategory, text, result, size, needed);
}

KaCtrlStatus KaCtrlFormatPID(const wchar_t* text, wchar_t* result, size_t size, size_t* needed) {
    return Format(KaCtrl::FormatPID, text, result, size, needed);
}

KaCtrlStatus KaCtrlGetLastErrorText(uint32_t code, wchar_t* text, size_t size, size_t* needed) {
    return AnswerText(text, size, needed, [&] { return KaCtrl::GetLastErrorText(code); });
}

KaCtrlStatus KaCtrlGetTimeOfDay(int32_t* seconds, int32_t* microseconds) {
    return Guard([&] {
        int32_t& wholeSeconds = Out(seconds, L"seconds");
        int32_t& parts = Out(microseconds, L"microseconds");
        timeval now{};
        KaCtrl::gettimeofday(&now, nullptr);
        wholeSeconds = static_cast<int32_t>(now.tv_sec);
        parts = static_cast<int32_t>(now.tv_usec);
        return KACTRL_SUCCESS;
    });
}

KaCtrlStatus KaCtrlFileNameToURI(const wchar_t* fileName, int32_t escapeSpaces, wchar_t* uri,
                                 size_t size, size_t* needed) {
    return AnswerText(uri, size, needed, [&] {
        return KaCtrl::FileNameToURI(TakeText(fileName, L"fileName"), escapeSpaces != 0);
    });
}

KaCtrlStatus KaCtrlReverseSlashes(const wchar_t* path, wchar_t* result, size_t size,
                                  size_t* needed) {
    return AnswerText(result, size, needed,
                      [&] { return KaCtrl::ReverseSlashes(TakeText(path, L"path")); });
}

KaCtrlStatus KaCtrlGetFilesInDir(const wchar_t* dir, const wchar_t* suffix, wchar_t* names,
                                 size_t size, size_t* needed) {
    return AnswerText(names, size, needed, [&] {
        const String_t directory = TakeText(dir, L"dir");
        return JoinMultiString(
            KaCtrl::GetFilesInDir(directory, TakeAnsi(suffix, L"suffix").c_str()));
    });
}
