// Shared by the environment tests: children that print the environment they received,
// and the calling process's environment as the platform and the C runtime hold it.
#pragma once

#include "KaTek.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace EnvTest {

// Windows compares variable names without regard to letter case.
struct NameLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};
using Environment = std::map<std::wstring, std::wstring, NameLess>;

// A command for env_child.exe beside this program; its environment starts as a copy of
// this process's.
KaTekCmd::Command_t MakeChildCommand();

// Starts command, waits for its end and answers the environment the child printed.
Environment RunChild(KaTekCmd::Command_t command);

// This process's environment as the platform holds it.
Environment ProcessEnvironment();

// The value of name in the platform's copy of this process's environment, if any.
std::optional<std::wstring> PlatformValue(const std::wstring& name);

// The value of name in the C runtime's copy (getenv), if any.
std::optional<std::string> RuntimeValue(const std::string& name);

// The value of name in environment, if any.
std::optional<std::wstring> ValueIn(const Environment& environment, const std::wstring& name);

// ProcessGuard removes the named variables from this process and sets the "C" locale for
// its life, then puts back the variables' values and the locale it found, so that one
// test's changes to the process never reach the next.
class ProcessGuard {
public:
    explicit ProcessGuard(std::vector<std::wstring> names);
    ~ProcessGuard();
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
    std::string locale_;
};

} // namespace EnvTest
