// error, time and ls: the library's text and file helpers.
#include "Kacutil.h"

#include <winsock2.h> // timeval

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace Kacutil {

namespace {

int RunError(const Args& args) {
    ExpectCount(args, 1);
    Print(KaCtrl::GetLastErrorText(ParseUnsigned(args[0], "error code")));
    return kExitOk;
}

std::string UtcText(long seconds) {
    // The library keeps the low 32 bits; read them unsigned so the count goes on past 2038.
    std::time_t time = static_cast<std::time_t>(static_cast<uint32_t>(seconds));
    std::tm utc{};
    if (gmtime_s(&utc, &time) != 0) {
        return "?";
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

int RunTime(const Args& args) {
    ExpectCount(args, 0);
    timeval now{};
    if (KaCtrl::gettimeofday(&now, nullptr) != 0) {
        throw Failure("gettimeofday failed");
    }
    char text[80];
    std::snprintf(text, sizeof text, "%ld.%06ld  %s.%03ld UTC", static_cast<long>(now.tv_sec),
                  static_cast<long>(now.tv_usec), UtcText(now.tv_sec).c_str(),
                  static_cast<long>(now.tv_usec / 1000));
    Print(text);
    return kExitOk;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int RunLs(const Args& args) {
    ExpectCount(args, 2);
    KaTekStr::MBS_t suffix(String_t(args[1]), KaTekStr::ENC_ANSI);
    std::list<String_t> files = KaCtrl::GetFilesInDir(String_t(args[0]), suffix);
    // The library logs a listing failure instead of reporting it; an operator needs to know.
    if (files.empty() && !IsDirectory(args[0])) {
        throw Failure("cannot list the directory '" + Narrow(args[0]) +
                      "' (logged to the control log)");
    }
    for (const String_t& file : files) {
        Print(file);
    }
    return kExitOk;
}

} // namespace

std::vector<Command> TextCommands() {
    return {
        {"error", "CODE", "the system's text for Windows error CODE (GetLastErrorText)",
         "CODE is decimal or 0x hexadecimal, 0 to 4294967295. A code the system has no\n"
         "text for prints \"N/A \".\n"
         "exit codes: 0 printed; 2 usage or bad number.\n",
         RunError},
        {"time", "", "the time of day (gettimeofday)",
         "Prints seconds.microseconds since 1970 and the same moment in UTC.\n"
         "exit codes: 0 printed; 2 usage.\n",
         RunTime},
        {"ls", "DIR SUFFIX", "the entries of DIR whose names end in SUFFIX (GetFilesInDir)",
         "Prints DIR/NAME per entry, in the order the directory gives them; an empty SUFFIX\n"
         "('') lists every entry.\n"
         "exit codes: 0 printed (also none); 1 DIR cannot be listed (the library logs why\n"
         "to the control log KaCtrl.log); 2 usage.\n",
         RunLs},
    };
}

} // namespace Kacutil
