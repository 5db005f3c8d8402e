#include "Sandbox.h"

#include "Holders.h"
#include "KaTek.h"

#include <windows.h>

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace KaTest {

static std::wstring UniqueRoot() {
    static std::atomic<unsigned> counter{0};
    std::wstring name = L"ka-sandbox-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++);
    return (std::filesystem::temp_directory_path() / name).wstring();
}

std::string Utf8(const std::wstring& text) {
    return KaTekStr::NarrowUtf8(text);
}

void SetEnv(const std::wstring& name, const std::wstring& value) {
    // _wputenv keeps the C runtime's copy (getenv) and the platform's in step.
    std::wstring entry = name + L"=" + value;
    _wputenv(entry.c_str());
    ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
}

uint64_t SystemTimeAgo(uint64_t seconds) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) - seconds * 10000000ull;
}

void SetFileTimes(const std::wstring& path, uint64_t created, uint64_t written) {
    // A folder opens only with backup semantics.
    KaHold::unique_handle handle(::CreateFileW(
        path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const FILETIME creation{static_cast<DWORD>(created), static_cast<DWORD>(created >> 32)};
    const FILETIME write{static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
    if (!::SetFileTime(handle.get(), created != 0 ? &creation : nullptr, nullptr, &write)) {
        throw std::runtime_error("cannot set the times of " + Utf8(path) + ": error " +
                                 std::to_string(::GetLastError()));
    }
}

Sandbox::Sandbox() : root_(UniqueRoot()) {
    MakeDir(L"install");
    MakeDir(L"data");
    WriteSettings("");
    SetEnv(L"KA_INSTALL_DIR", InstallDir());
    SetEnv(L"KA_DATA_DIR", DataDir());
    SetEnv(L"KA_CONFIG_FILE", SettingsFile());
}

Sandbox::~Sandbox() {
    SetEnv(L"KA_INSTALL_DIR", L"");
    SetEnv(L"KA_DATA_DIR", L"");
    SetEnv(L"KA_CONFIG_FILE", L"");
    // What a child still holds open stays behind in the temporary directory.
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void Sandbox::WriteSettings(const std::string& text) const {
    WriteFile(L"KaAgent.ini", text);
}

std::wstring Sandbox::MakeDir(const std::wstring& relative) const {
    std::wstring path = root_ + L"\\" + relative;
    std::filesystem::create_directories(path);
    return path;
}

std::wstring Sandbox::WriteFile(const std::wstring& relative, const std::string& bytes) const {
    std::wstring path = root_ + L"\\" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + Utf8(path));
    }
    return path;
}

} // namespace KaTest
