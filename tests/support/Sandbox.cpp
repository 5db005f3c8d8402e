#include "Sandbox.h"

#include "Holders.h"

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace KaTest {

namespace {

std::wstring UniqueRoot() {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("no temporary directory");
    }
    return std::wstring(temp) + L"ka-sandbox-" + std::to_wstring(::GetCurrentProcessId()) +
           L"-" + std::to_wstring(counter++);
}

void CreateDirs(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); ; pos = path.find(L'\\', pos + 1)) {
        std::wstring part = path.substr(0, pos);
        if (!::CreateDirectoryW(part.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create " + Utf8(part));
        }
        if (pos == std::wstring::npos) {
            return;
        }
    }
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    KaHold::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find.get(), &found));
    }
    ::RemoveDirectoryW(path.c_str());
}

} // namespace

std::string Utf8(const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}

void SetEnv(const std::wstring& name, const std::wstring& value) {
    // _wputenv keeps the C runtime's copy (getenv) and the platform's in step.
    std::wstring entry = name + L"=" + value;
    _wputenv(entry.c_str());
    ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
}

Sandbox::Sandbox() : root_(UniqueRoot()) {
    CreateDirs(InstallDir());
    CreateDirs(DataDir());
    WriteSettings("");
    SetEnv(L"KA_INSTALL_DIR", InstallDir());
    SetEnv(L"KA_DATA_DIR", DataDir());
    SetEnv(L"KA_CONFIG_FILE", SettingsFile());
}

Sandbox::~Sandbox() {
    SetEnv(L"KA_INSTALL_DIR", L"");
    SetEnv(L"KA_DATA_DIR", L"");
    SetEnv(L"KA_CONFIG_FILE", L"");
    RemoveTree(root_);
}

void Sandbox::WriteSettings(const std::string& text) const {
    WriteFile(L"KaAgent.ini", text);
}

std::wstring Sandbox::MakeDir(const std::wstring& relative) const {
    std::wstring path = root_ + L"\\" + relative;
    CreateDirs(path);
    return path;
}

std::wstring Sandbox::WriteFile(const std::wstring& relative, const std::string& bytes) const {
    std::wstring path = root_ + L"\\" + relative;
    size_t slash = path.rfind(L'\\');
    CreateDirs(path.substr(0, slash));
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + Utf8(path));
    }
    return path;
}

} // namespace KaTest
