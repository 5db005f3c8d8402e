// Text out, shared by every command: a console gets UTF-16, a file or a pipe UTF-8.
#include "Kacutil.h"

#include <algorithm>
#include <cstdio>

namespace Kacutil {

namespace {

// The platform's line end, as the C runtime's text mode wrote it before.
std::string WithCrLf(const std::string& text) {
    std::string ended;
    for (char c : text) {
        ended += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return ended;
}

HANDLE StreamHandle(bool toError) {
    return ::GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

// WriteBytes writes bytes whole, however many writes it takes. A stream that is closed or
// broken (a reader that went away) takes no more, as with the C runtime's streams.
void WriteBytes(HANDLE stream, const std::string& bytes) {
    const size_t kChunk = 1 << 20;
    for (size_t done = 0; done < bytes.size();) {
        DWORD count = static_cast<DWORD>(std::min(bytes.size() - done, kChunk));
        DWORD written = 0;
        if (!::WriteFile(stream, bytes.data() + done, count, &written, nullptr) || written == 0) {
            return;
        }
        done += written;
    }
}

// WriteConsoleText writes text to a console in pieces its buffer takes, a surrogate pair
// never split between two of them.
void WriteConsoleText(HANDLE console, const std::wstring& text) {
    const size_t kChunk = 8192;
    for (size_t done = 0; done < text.size();) {
        size_t count = std::min(text.size() - done, kChunk);
        if (done + count < text.size() && IS_HIGH_SURROGATE(text[done + count - 1])) {
            --count;
        }
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data() + done, static_cast<DWORD>(count), &written,
                             nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

void WriteText(const std::string& utf8, bool toError) {
    HANDLE stream = StreamHandle(toError);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    // Only a console handle has a console mode; a file or pipe gets the bytes themselves.
    if (::GetConsoleMode(stream, &mode)) {
        WriteConsoleText(stream, KaTekStr::WidenUtf8(WithCrLf(utf8)));
    } else {
        WriteBytes(stream, WithCrLf(utf8));
    }
}

} // namespace

std::string Utf8(const std::wstring& text) {
    // Three bytes carry any UTF-16 unit; a pair's four bytes carry its two units.
    const size_t kLongest = 0x7FFFFFFF / 3;
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > kLongest) {
        throw Failure("a text of " + std::to_string(text.size()) + " characters is too long");
    }
    std::string bytes(text.size() * 3, '\0');
    // WC_ERR_INVALID_CHARS: a lone surrogate fails instead of becoming U+FFFD unnoticed.
    int written = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(text.size()), &bytes[0],
                                        static_cast<int>(bytes.size()), nullptr, nullptr);
    if (written <= 0) {
        throw Failure("the text holds a UTF-16 surrogate without its pair, which UTF-8 "
                      "cannot carry");
    }
    bytes.resize(static_cast<size_t>(written));
    return bytes;
}

std::string Utf8(const String_t& text) {
    return Utf8(text.Std());
}

std::string Utf8(const wchar_t* text) {
    return Utf8(std::wstring(text));
}

std::string ShowForMessage(const std::wstring& text) {
    std::string shown;
    std::wstring run;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            run += text[i];
            run += text[++i];
        } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(text[i]));
            shown += Utf8(run) + escape;
            run.clear();
        } else {
            run += text[i];
        }
    }
    return shown + Utf8(run);
}

std::string Quoted(const std::wstring& text) {
    // Appended, not "'" + ...: GCC 12 warns falsely (-Wrestrict) on that inlined operator+.
    std::string quoted = "'";
    quoted += ShowForMessage(text);
    return quoted + "'";
}

String_t FromUtf8(const std::string& text) {
    return String_t(KaTekStr::WidenUtf8(text));
}

void Print(const std::string& line) {
    WriteText(line + "\n", false);
}

void Print(const String_t& line) {
    Print(Utf8(line));
}

void Print(const char* line) {
    Print(std::string(line));
}

void PrintText(const std::string& text) {
    WriteText(text, false);
}

void PrintError(const std::string& line) {
    WriteText(line + "\n", true);
}

void PrintBytes(const std::string& bytes, bool toError) {
    HANDLE stream = StreamHandle(toError);
    if (stream != nullptr && stream != INVALID_HANDLE_VALUE) {
        WriteBytes(stream, bytes);
    }
}

void PrintJson(const Json& document) {
    // Made whole before any of it is written: a text that cannot be written leaves nothing.
    std::string text = RenderJson(document);
    Print(text);
}

void ShowAnswer(const std::string& line, const Json& document, bool json) {
    if (json) {
        PrintJson(document);
    } else {
        Print(line);
    }
}

std::string OneLine(const KaTekMsg::MessageList_t& messages) {
    std::string text;
    // System texts inside a message may end their own lines; one line is what scripts read.
    for (char c : Utf8(messages.Format(KaTekMsg::FMT_LINES))) {
        if (c == '\n') {
            text += "; ";
        } else if (c != '\r') {
            text += c;
        }
    }
    return text;
}

} // namespace Kacutil
