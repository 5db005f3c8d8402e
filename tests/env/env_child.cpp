// Child of the environment tests, started through Command_t: prints every entry of the
// environment block it received, one per line, so a test sees exactly what a child sees.
#include "Holders.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// The parent reads the output in the ANSI code page.
std::string ToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

bool WriteAll(const std::string& bytes) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr)) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

int main() {
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    std::wstring lines;
    for (const wchar_t* entry = block.get(); entry && *entry; entry += wcslen(entry) + 1) {
        lines += entry;
        lines += L'\n';
    }
    return WriteAll(ToAnsi(lines)) ? 0 : 1;
}
