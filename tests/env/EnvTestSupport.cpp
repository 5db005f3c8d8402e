#include "EnvTestSupport.h"

#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <clocale>
#include <cwchar>
#include <vector>

namespace EnvTest {

namespace {

constexpr uint32_t kPatientMs = 120000; // the machine is shared and Wine is slow

void AddEntry(Environment& environment, const std::wstring& entry) {
    // Per-drive entries ("=C:=C:\dir") begin with '=', so the name ends at a later one.
    const size_t equals = entry.find(L'=', 1);
    if (equals != std::wstring::npos) {
        environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
}

} // namespace

bool NameLess::operator()(const std::wstring& left, const std::wstring& right) const {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
}

KaTekCmd::Command_t MakeChildCommand() {
    return KaTekCmd::Command_t(KaTekStr::String_t(KaTest::ProgramDir() + L"env_child.exe"), {});
}

Environment RunChild(KaTekCmd::Command_t command) {
    command.Start();
    EXPECT_TRUE(command.Wait(kPatientMs)) << "env_child.exe did not end";
    EXPECT_EQ(0u, command.GetExitCode());
    const std::wstring output = command.GetOutput().Std();
    Environment environment;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find(L'\n', start);
        end = end == std::wstring::npos ? output.size() : end;
        AddEntry(environment, output.substr(start, end - start));
        start = end + 1;
    }
    return environment;
}

Environment ProcessEnvironment() {
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    Environment environment;
    for (const wchar_t* entry = block.get(); entry && *entry; entry += wcslen(entry) + 1) {
        AddEntry(environment, entry);
    }
    return environment;
}

std::optional<std::wstring> PlatformValue(const std::wstring& name) {
    SetLastError(0);
    const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (needed == 0) {
        // 0 is also the answer for a variable that is set but empty.
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::wstring>(L"");
    }
    std::vector<wchar_t> value(needed);
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), needed);
    return std::wstring(value.data(), length);
}

std::optional<std::string> RuntimeValue(const std::string& name) {
    const char* value = getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::wstring> ValueIn(const Environment& environment, const std::wstring& name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::nullopt : std::optional<std::wstring>(found->second);
}

ProcessGuard::ProcessGuard(std::vector<std::wstring> names)
    : locale_(std::setlocale(LC_ALL, nullptr)) {
    for (const std::wstring& name : names) {
        saved_.emplace_back(name, PlatformValue(name));
        KaTest::SetEnv(name, L"");
    }
    std::setlocale(LC_ALL, "C");
}

ProcessGuard::~ProcessGuard() {
    for (const auto& [name, value] : saved_) {
        KaTest::SetEnv(name, value.value_or(L""));
    }
    std::setlocale(LC_ALL, locale_.c_str());
}

} // namespace EnvTest
