// KaTek runtime: the agent's directories.
#include "KaTek/Msg.h"
#include "KaTek/Runtime.h"

#include "Env.h"
#include "SizedRead.h"

#include <windows.h>

namespace KaTekRuntime {

namespace {

enum class Base { Install, Data, Current, SystemTemp };

struct KeyPlace {
    DirKey_e key;
    Base base;
    const wchar_t* leaf; // below the base; empty for the base itself
};

const KeyPlace kPlaces[] = {
    {DIR_KA_BIN, Base::Install, L"bin"},
    {DIR_CURRENT, Base::Current, L""},
    {DIR_DATA, Base::Data, L""},
    {DIR_KA_CONF, Base::Data, L"config"},
    {DIR_INSTRUMENT, Base::Install, L"instrumentation"},
    {DIR_LOG, Base::Data, L"log"},
    {DIR_KA_TMP, Base::Data, L"temp"},
    {DIR_INSTALL, Base::Install, L""},
    {DIR_JAVA, Base::Install, L"java"},
    {DIR_LBIN, Base::Install, L"lbin"},
    {DIR_LIB, Base::Install, L"lib"},
    {DIR_MISC, Base::Install, L"misc"},
    {DIR_NON_KA, Base::Install, L"nonKA"},
    {DIR_SYSTEM_TMP, Base::SystemTemp, L""},
    {DIR_USER, Base::Data, L"user"},
};

bool IsSeparator(wchar_t unit) {
    return unit == L'\\' || unit == L'/';
}

bool IsLetter(wchar_t unit) {
    return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

// "X:\..." or "\\server\...": a drive-relative "X:dir" or a rooted "\dir" would change
// meaning with the current drive or directory, so neither counts.
bool IsAbsolute(const std::wstring& path) {
    const bool drive =
        path.size() >= 3 && IsLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
    const bool unc =
        path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
    return drive || unc;
}

// Drops trailing separators, but a drive root keeps its own ("C:\").
std::wstring CutTrailingSeparators(std::wstring path) {
    while (path.size() > 3 && IsSeparator(path.back())) {
        path.pop_back();
    }
    if (path.size() == 3 && path[1] != L':' && IsSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

std::wstring ReadBaseFromVariable(const wchar_t* variable, const wchar_t* fallback) {
    const std::wstring value = KaTekEnv::ReadVariable(variable);
    if (value.empty()) {
        return fallback;
    }
    if (!IsAbsolute(value)) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_DIR_BASE, {String_t(variable), String_t(value)});
    }
    return CutTrailingSeparators(value);
}

// Another thread may change the directory between the sizing and the reading call. A
// directory the platform cannot tell gives the empty text.
std::wstring ReadCurrentDirectory() {
    std::wstring path;
    KaTekSys::ReadSized(
        [](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); },
        path);
    return CutTrailingSeparators(path);
}

using TempPathCall = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W where the system has it (Windows 11, Server 2022): for SYSTEM it names a
// directory that other users cannot write to, where GetTempPathW names one they can.
TempPathCall ChooseTempPathCall() {
    static const TempPathCall call = [] {
        const FARPROC found =
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W");
        return found != nullptr ? reinterpret_cast<TempPathCall>(reinterpret_cast<void*>(found))
                                : ::GetTempPathW;
    }();
    return call;
}

std::wstring ReadSystemTempDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD written = ChooseTempPathCall()(MAX_PATH + 1, buffer);
    return std::wstring(buffer, written <= MAX_PATH ? written : 0);
}

std::wstring FindBaseDirectory(Base base) {
    switch (base) {
    case Base::Install:
        return ReadBaseFromVariable(L"KA_INSTALL_DIR", L"C:\\Program Files\\Trelm\\KaAgent");
    case Base::Data:
        return ReadBaseFromVariable(L"KA_DATA_DIR", L"C:\\ProgramData\\Trelm\\KaAgent");
    case Base::Current:
        return ReadCurrentDirectory();
    case Base::SystemTemp:
        return ReadSystemTempDirectory();
    }
    return std::wstring();
}

// Joins part below dir with one "\", whichever separators part was written with.
std::wstring JoinBelow(std::wstring dir, const std::wstring& part) {
    size_t first = 0;
    while (first < part.size() && IsSeparator(part[first])) {
        ++first;
    }
    if (first == part.size()) {
        return dir;
    }
    if (!dir.empty() && !IsSeparator(dir.back())) {
        dir += L'\\';
    }
    for (size_t i = first; i < part.size(); ++i) {
        dir += IsSeparator(part[i]) ? L'\\' : part[i];
    }
    return dir;
}

const KeyPlace& FindPlace(DirKey_e key) {
    for (const KeyPlace& place : kPlaces) {
        if (place.key == key) {
            return place;
        }
    }
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_DIR_KEY, {KaTekStr::NumToStr(static_cast<int>(key))});
}

} // namespace

String_t Dir_t::Path(DirKey_e key, const String_t& sub) {
    const KeyPlace& place = FindPlace(key);
    const std::wstring dir = JoinBelow(FindBaseDirectory(place.base), place.leaf);
    return String_t(JoinBelow(dir, sub.Std()));
}

} // namespace KaTekRuntime
