// The child that katek_command_test starts through Command_t. It reports what it received,
// so the test sees the command from the child's side:
//   env            every entry of its environment block, one per line, in block order
//   args A B ...   each argument after the mode as "[A]", one per line
//   exit N         ends with exit code N (decimal)
//   spam N         writes N bytes 'o' to standard output, then "!err" to standard error
//   sleep MS       sleeps MS milliseconds, then ends with code 0
#include "Holders.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

void WriteAll(DWORD which, const std::string& bytes) {
    const HANDLE out = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr)) {
            ExitProcess(90);
        }
        done += written;
    }
}

// The parent reads the output in the ANSI code page.
std::string ToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &count);
    KaHold::unique_local holder(reinterpret_cast<HLOCAL>(raw));
    return raw ? std::vector<std::wstring>(raw, raw + count) : std::vector<std::wstring>();
}

int PrintEnvironment() {
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    std::wstring lines;
    for (const wchar_t* entry = block.get(); entry && *entry; entry += wcslen(entry) + 1) {
        lines += entry;
        lines += L'\n';
    }
    WriteAll(STD_OUTPUT_HANDLE, ToAnsi(lines));
    return 0;
}

int PrintArguments(const std::vector<std::wstring>& arguments) {
    std::wstring lines;
    for (size_t index = 2; index < arguments.size(); ++index) {
        lines += L"[" + arguments[index] + L"]\n";
    }
    WriteAll(STD_OUTPUT_HANDLE, ToAnsi(lines));
    return 0;
}

int Spam(unsigned long count) {
    WriteAll(STD_OUTPUT_HANDLE, std::string(count, 'o'));
    WriteAll(STD_ERROR_HANDLE, "!err");
    return 0;
}

} // namespace

int main() {
    const std::vector<std::wstring> arguments = Arguments();
    const std::wstring mode = arguments.size() > 1 ? arguments[1] : L"";
    const unsigned long number =
        arguments.size() > 2 ? std::wcstoul(arguments[2].c_str(), nullptr, 10) : 0;
    if (mode == L"env") {
        return PrintEnvironment();
    }
    if (mode == L"args") {
        return PrintArguments(arguments);
    }
    if (mode == L"exit") {
        ExitProcess(static_cast<UINT>(number));
    }
    if (mode == L"spam") {
        return Spam(number);
    }
    if (mode == L"sleep") {
        Sleep(static_cast<DWORD>(number));
        return 0;
    }
    return 99;
}
