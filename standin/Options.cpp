#include "Options.h"

namespace Standin {

namespace {

// A whole decimal number in [0, max]; anything else (sign, blanks, overflow) is refused.
bool ParseNumber(const std::wstring& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return value <= max;
}

Outcome FullPath(const std::wstring& path, std::wstring& full) {
    // Asked again until the answer fits: the current directory may change between the call
    // that sizes the buffer and the one that fills it.
    full.clear();
    for (;;) {
        const DWORD size =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (size == 0) {
            return Outcome::LastError("cannot make a full path of ", path);
        }
        if (size < full.size()) {
            full.resize(size);
            return Outcome::Success();
        }
        full.assign(size, L'\0'); // the size asked for counts the NUL
    }
}

Outcome BadValue(const std::wstring& name, const std::wstring& value) {
    return Outcome::Fail(ERROR_INVALID_PARAMETER,
                         "bad value for " + Narrow(name) + ": \"" + Narrow(value) + "\"");
}

// Applies one option that takes a value.
Outcome ApplyValue(const std::wstring& name, const std::wstring& value, Options& options) {
    uint64_t number = 0;
    if (name == L"--port") {
        if (!ParseNumber(value, 65535, number)) {
            return BadValue(name, value);
        }
        options.port = static_cast<int>(number);
    } else if (name == L"--write-port") {
        if (!ParseNumber(value, UINT32_MAX, number)) {
            return BadValue(name, value);
        }
        options.writePortSet = true;
        options.writePort = static_cast<uint32_t>(number);
    } else if (name == L"--seconds") {
        // Below INFINITE milliseconds, so that the bound stays a bound.
        if (!ParseNumber(value, 4000000, number)) {
            return BadValue(name, value);
        }
        options.seconds = static_cast<DWORD>(number);
    } else if (name == L"--portfile") {
        return FullPath(value, options.portFile);
    } else if (name == L"--log") {
        return FullPath(value, options.logPath);
    }
    return Outcome::Success();
}

bool TakesValue(const std::wstring& name) {
    return name == L"--port" || name == L"--write-port" || name == L"--seconds" ||
           name == L"--portfile" || name == L"--log";
}

bool ApplyFlag(const std::wstring& name, Options& options) {
    if (name == L"--http80") {
        options.http80 = true;
    } else if (name == L"--silent") {
        options.silent = true;
    } else if (name == L"--no-mutex") {
        options.noMutex = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

Outcome ParseOptions(const std::vector<std::wstring>& args, size_t first, Options& options) {
    for (size_t i = first; i < args.size(); ++i) {
        const std::wstring& name = args[i];
        if (ApplyFlag(name, options)) {
            continue;
        }
        if (!TakesValue(name)) {
            return Outcome::Fail(ERROR_INVALID_PARAMETER, "unknown option " + Narrow(name));
        }
        if (i + 1 >= args.size()) {
            return Outcome::Fail(ERROR_INVALID_PARAMETER, Narrow(name) + " needs a value");
        }
        Outcome applied = ApplyValue(name, args[++i], options);
        if (!applied.Ok()) {
            return applied;
        }
    }
    if (options.writePortSet && options.portFile.empty()) {
        return Outcome::Fail(ERROR_INVALID_PARAMETER, "--write-port needs --portfile");
    }
    return Outcome::Success();
}

std::vector<std::wstring> Options::ToArguments() const {
    std::vector<std::wstring> args;
    if (port != kNoPort) {
        args.insert(args.end(), {L"--port", std::to_wstring(port)});
    }
    if (http80) {
        args.push_back(L"--http80");
    }
    if (writePortSet) {
        args.insert(args.end(), {L"--write-port", std::to_wstring(writePort)});
    }
    if (!portFile.empty()) {
        args.insert(args.end(), {L"--portfile", portFile});
    }
    if (!logPath.empty()) {
        args.insert(args.end(), {L"--log", logPath});
    }
    if (silent) {
        args.push_back(L"--silent");
    }
    if (noMutex) {
        args.push_back(L"--no-mutex");
    }
    if (seconds != INFINITE) {
        args.insert(args.end(), {L"--seconds", std::to_wstring(seconds)});
    }
    return args;
}

} // namespace Standin
