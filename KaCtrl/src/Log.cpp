// KaCtrl: the control component's message log.
#include "KaCtrl.h"

#include "AppendLine.h"

#include <windows.h>

#include <string>

namespace KaCtrl {

namespace {

using KaTekStr::String_t;

// A text may span lines (a formatted message list handed on as an argument does); the log
// keeps one line per message, so each run of line ends becomes one blank.
std::wstring OnOneLine(const std::wstring& text) {
    std::wstring line;
    line.reserve(text.size());
    for (wchar_t unit : text) {
        const bool lineEnd = unit == L'\r' || unit == L'\n';
        if (!lineEnd) {
            line += unit;
        } else if (line.empty() || line.back() != L' ') {
            line += L' ';
        }
    }
    return line;
}

std::string FormatLines(const KaTekMsg::MessageList_t& messages) {
    const std::string time = KaCommon::FormatTimeStamp();
    std::string lines;
    for (const KaTekMsg::Message_t& message : messages.GetMessages()) {
        lines += time + " " + KaTekStr::NarrowUtf8(message.GetCatalogId().Std()) + "(" +
                 std::to_string(message.GetNumber()) +
                 "): " + KaTekStr::NarrowUtf8(OnOneLine(message.GetText().Std())) + "\r\n";
    }
    return lines;
}

// Creates path and any missing directory above it. Failures are not checked here: an
// existing directory fails just like a forbidden one, and opening the log tells them apart.
void CreateDirectories(const std::wstring& path) {
    for (size_t separator = path.find(L'\\', 3); separator != std::wstring::npos;
         separator = path.find(L'\\', separator + 1)) {
        ::CreateDirectoryW(path.substr(0, separator).c_str(), nullptr);
    }
    ::CreateDirectoryW(path.c_str(), nullptr);
}

// The log file LogMessage writes to.
String_t LogFilePath() {
    return KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_LOG, String_t("KaCtrl.log"));
}

} // namespace

void LogMessage(const KaTekMsg::MessageList_t& messages) {
    // Logging reports a failure the caller is already handling; a log that cannot be
    // written must not become a second failure, so nothing escapes from here.
    try {
        if (messages.IsEmpty()) {
            return;
        }
        const String_t path = LogFilePath();
        CreateDirectories(KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_LOG, String_t::Null()).Std());
        KaCommon::AppendToFile(path.c_str(), FormatLines(messages));
    } catch (...) {
    }
}

} // namespace KaCtrl
