// KaTek runtime: child commands.
//
// Command_t is a handle to one child command: a program, its arguments and its own
// environment block, which starts as a copy of the parent's environment at the moment
// the command is made and changes only through PutEnv. Copies refer to the same command.
// Command_t() is the null command, which refers to none.
#pragma once

#include "KaTek/Str.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace KaTekCmd {

using KaTekStr::String_t;

// CheckEnvVariable throws RuntimeError_t naming the variable when name=value cannot be one
// entry of an environment: an empty name, a name holding '=' or NUL, or a value holding NUL.
KATEK_API void CheckEnvVariable(const String_t& name, const String_t& value);

class KATEK_API Command_t {
public:
    Command_t() = default; // the null command
    Command_t(const String_t& program, const std::vector<String_t>& arguments);

    bool IsNull() const { return !impl_; }

    // Sets name=value in the command's environment (names compare without letter case,
    // as on Windows). An empty value keeps the variable, empty. Throws RuntimeError_t naming
    // the variable for an empty name, a name holding '=' or NUL, or a value holding NUL,
    // and on a null command.
    void PutEnv(const String_t& name, const String_t& value);
    // The command's value of name; the null text when it has none.
    String_t GetEnv(const String_t& name) const;
    // The environment block Start gives the child (CREATE_UNICODE_ENVIRONMENT): each
    // "name=value" NUL-ended in the platform's order, then one NUL more; two NULs for none.
    // Throws RuntimeError_t on a null command.
    std::wstring GetEnvironmentBlock() const;

    // Starts the program with CreateProcessW and the command's environment; the child's
    // standard output and error go to a pipe that Wait drains. Throws RuntimeError_t
    // when the program cannot be started or the command was started already.
    void Start();
    // Waits up to timeoutMs for the child to end, reading its output meanwhile; true when
    // it ended. 0xFFFFFFFF waits without limit.
    bool Wait(uint32_t timeoutMs);
    uint32_t GetExitCode() const;  // after Wait returned true
    uint32_t GetProcessId() const; // after Start
    String_t GetOutput() const;    // what the child wrote so far, from the ANSI code page
    // What the child wrote so far, byte for byte, for a caller that passes it on unchanged.
    std::string GetOutputBytes() const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace KaTekCmd
