// error, time and ls: the library's text and file helpers.
#include "Kacutil.h"

#include <winsock2.h> // timeval

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace Kacutil {

namespace {

int RunError(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 1);
    unsigned long code = ParseUnsigned(args[0], "error code");
    std::string text = Utf8(KaCtrl::GetLastErrorText(code));
    ShowAnswer(text, {{"code", code}, {"text", text}}, json);
    return kExitOk;
}

std::string FormatUtc(long seconds) {
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

int RunTime(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    timeval now{};
    if (KaCtrl::gettimeofday(&now, nullptr) != 0) {
        throw Failure("gettimeofday failed");
    }
    char utc[48];
    std::snprintf(utc, sizeof utc, "%s.%03ld", FormatUtc(now.tv_sec).c_str(),
                  static_cast<long>(now.tv_usec / 1000));
    char line[80];
    std::snprintf(line, sizeof line, "%ld.%06ld  %s UTC", static_cast<long>(now.tv_sec),
                  static_cast<long>(now.tv_usec), utc);
    ShowAnswer(line,
               {{"seconds", static_cast<long>(now.tv_sec)},
                {"microseconds", static_cast<long>(now.tv_usec)},
                {"utc", utc}},
               json);
    return kExitOk;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int RunLs(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 2);
    std::string suffix = AnsiText(args[1], "suffix");
    std::list<String_t> files = KaCtrl::GetFilesInDir(String_t(args[0]), suffix.c_str());
    // The library logs a listing failure instead of reporting it; an operator needs to know.
    if (files.empty() && !IsDirectory(args[0])) {
        throw Failure("cannot list the directory " + Quoted(args[0]) +
                      " (logged to the control log)");
    }
    Json entries = Json::array();
    for (const String_t& file : files) {
        entries.push_back(Utf8(file));
    }
    if (json) {
        PrintJson({{"entries", entries}});
        return kExitOk;
    }
    for (const Json& entry : entries) {
        Print(entry.get<std::string>());
    }
    return kExitOk;
}

} // namespace

std::vector<Command> TextCommands() {
    return {
        {"error", "CODE [--json]", "the system's text for Windows error CODE (GetLastErrorText)",
         "CODE is decimal or 0x hexadecimal, 0 to 4294967295. A code the system has no\n"
         "text for prints \"N/A \". --json writes {\"code\": CODE, \"text\": the text}.\n"
         "exit codes: 0 printed; 2 usage or bad number.\n",
         RunError},
        {"time", "[--json]", "the time of day (gettimeofday)",
         "Prints seconds.microseconds since 1970 and the same moment in UTC.\n"
         "--json writes {\"seconds\", \"microseconds\", \"utc\"}.\n"
         "exit codes: 0 printed; 2 usage.\n",
         RunTime},
        {"ls", "DIR SUFFIX [--json]",
         "the entries of DIR whose names end in SUFFIX (GetFilesInDir)",
         "Prints DIR/NAME per entry, in the order the directory gives them; an empty SUFFIX\n"
         "('') lists every entry. The library takes SUFFIX in the ANSI code page: a SUFFIX\n"
         "it cannot carry is refused. --json writes {\"entries\": [DIR/NAME, ...]}.\n"
         "exit codes: 0 printed (also none); 1 DIR cannot be listed (the library logs why\n"
         "to the control log KaCtrl.log); 2 usage, or SUFFIX not in the code page.\n",
         RunLs},
    };
}

} // namespace Kacutil
