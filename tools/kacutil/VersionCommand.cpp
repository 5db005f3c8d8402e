// version: which KaCtrlUtils.dll this is, read from the file the process loaded, as an
// identification tool and the platform's file properties would show it.
#include "Kacutil.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace Kacutil {

namespace {

// The version resource's string keys, in the order the library writes them.
const wchar_t* const kVersionKeys[] = {
    L"FileDescription",  L"FileVersion",         L"LegalCopyright", L"CompanyName",
    L"Application Name", L"Application Version", L"File Name",      L"Release Type",
    L"Common Build-ID",  L"Build Number",        L"OS Platform",    L"OS Version",
    L"Patch ID",
};

std::wstring LoadedDllPath() {
    HMODULE dll = ::GetModuleHandleW(L"KaCtrlUtils.dll");
    wchar_t path[MAX_PATH];
    DWORD length = dll ? ::GetModuleFileNameW(dll, path, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) {
        throw Failure("cannot find the loaded KaCtrlUtils.dll");
    }
    return std::wstring(path, length);
}

// The "@(#)" lines, from the block's first marker to the NUL that ends the block.
std::string IdentificationBlock(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t begin = image.find("@(#)BegWS");
    if (begin == std::string::npos) {
        throw Failure("no identification block in " + Narrow(path));
    }
    return image.substr(begin, image.find('\0', begin) - begin);
}

std::vector<BYTE> VersionResource(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
        throw Failure("no version resource in " + Narrow(path));
    }
    return data;
}

void PrintFixedVersion(const std::vector<BYTE>& data) {
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    Print("file version        " + std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
          std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
          std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
          std::to_string(LOWORD(info->dwFileVersionLS)));
}

void PrintStrings(const std::vector<BYTE>& data) {
    for (const wchar_t* key : kVersionKeys) {
        // US English in Unicode, the one string table the library carries.
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(data.data(), query.c_str(), &value, &length)) {
            continue;
        }
        std::string name = Narrow(key);
        name.resize(20, ' ');
        Print(name + Narrow(std::wstring(static_cast<const wchar_t*>(value))));
    }
}

int RunVersion(const Args& args) {
    ExpectCount(args, 0);
    std::wstring path = LoadedDllPath();
    Print("file                " + Narrow(path));
    PrintRaw(IdentificationBlock(path));
    std::vector<BYTE> resource = VersionResource(path);
    PrintFixedVersion(resource);
    PrintStrings(resource);
    return kExitOk;
}

} // namespace

std::vector<Command> VersionCommands() {
    return {
        {"version", "", "the identification block and version resource of KaCtrlUtils.dll",
         "Prints the file kacutil loaded, its \"@(#)\" identification lines as found in the\n"
         "file, and its version resource (file version and string table).\n"
         "exit codes: 0 printed; 1 the file holds no identification block or version\n"
         "resource; 2 usage.\n",
         RunVersion},
    };
}

} // namespace Kacutil
