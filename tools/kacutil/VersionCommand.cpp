// version: which KaCtrlUtils.dll this is, read from the file the process loaded, as an
// identification tool and the platform's file properties would show it.
#include "Kacutil.h"

#include "ModulePath.h"

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
    const HMODULE dll = ::GetModuleHandleW(L"KaCtrlUtils.dll");
    const std::wstring path = dll ? KaCommon::ReadModulePath(dll) : std::wstring();
    if (path.empty()) {
        throw Failure("cannot find the loaded KaCtrlUtils.dll");
    }
    return path;
}

// The "@(#)" lines, from the block's first marker to the NUL that ends the block.
std::string IdentificationBlock(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t begin = image.find("@(#)BegWS");
    if (begin == std::string::npos) {
        throw Failure("no identification block in " + Utf8(path));
    }
    return image.substr(begin, image.find('\0', begin) - begin);
}

std::vector<BYTE> VersionResource(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
        throw Failure("no version resource in " + Utf8(path));
    }
    return data;
}

// The fixed file version "a.b.c.d", or null when the resource has none.
Json FixedVersion(const std::vector<BYTE>& data) {
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &value, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return Json();
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

// The string table by key, in the library's order; null for a key it lacks.
std::vector<std::pair<std::string, Json>> Strings(const std::vector<BYTE>& data) {
    std::vector<std::pair<std::string, Json>> strings;
    for (const wchar_t* key : kVersionKeys) {
        // US English in Unicode, the one string table the library carries.
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        void* value = nullptr;
        UINT length = 0;
        bool found = ::VerQueryValueW(data.data(), query.c_str(), &value, &length);
        strings.emplace_back(
            Utf8(key), found ? NullIfEmpty(Utf8(static_cast<const wchar_t*>(value))) : Json());
    }
    return strings;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(text.substr(begin, end - begin));
    }
    if (begin < text.size()) {
        lines.push_back(text.substr(begin));
    }
    return lines;
}

void PrintVersionJson(const std::wstring& path, const std::string& block, const Json& fixedVersion,
                      const std::vector<std::pair<std::string, Json>>& strings) {
    Json table = Json::object();
    for (const auto& [key, value] : strings) {
        table[CamelCase(key)] = value;
    }
    PrintJson({{"file", Utf8(path)},
               {"identification", Lines(block)},
               {"fileVersion", fixedVersion},
               {"strings", table}});
}

int RunVersion(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    std::wstring path = LoadedDllPath();
    std::string block = IdentificationBlock(path);
    std::vector<BYTE> resource = VersionResource(path);
    Json fixedVersion = FixedVersion(resource);
    std::vector<std::pair<std::string, Json>> strings = Strings(resource);
    if (json) {
        PrintVersionJson(path, block, fixedVersion, strings);
        return kExitOk;
    }
    Print("file                " + Utf8(path));
    PrintText(block);
    if (!fixedVersion.is_null()) {
        Print("file version        " + fixedVersion.get<std::string>());
    }
    for (const auto& [key, value] : strings) {
        std::string label = key;
        label.resize(20, ' ');
        if (!value.is_null()) {
            Print(label + value.get<std::string>());
        }
    }
    return kExitOk;
}

} // namespace

std::vector<Command> VersionCommands() {
    return {
        {"version", "[--json]", "the identification block and version resource of KaCtrlUtils.dll",
         "Prints the file kacutil loaded, its \"@(#)\" identification lines as found in the\n"
         "file, and its version resource (file version and string table). --json writes\n"
         "{\"file\", \"identification\" (the lines), \"fileVersion\", \"strings\" (the string\n"
         "table, keys in camelCase)}.\n"
         "exit codes: 0 printed; 1 the file holds no identification block or version\n"
         "resource; 2 usage.\n",
         RunVersion},
    };
}

} // namespace Kacutil
