// kacutil: the library's answers at an operator's hand. Each command family lives in a
// file of its own and hands its commands to the table in Main.cpp; this header holds what
// they share: the command record, the exit codes, argument checks and output.
#pragma once

#include "Json.h"

#include "KaCtrlUtils.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace Kacutil {

using KaTekStr::String_t;
using Args = std::vector<std::wstring>;

// Exit codes every command keeps to; "kacutil --help" documents them.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1, // the library threw or answered a failure
    kExitUsage = 2,   // unknown command or option, missing or extra argument, bad number
    kExitNo = 3,      // a yes/no question answered no (bool, admin)
};

struct Command {
    const char* name;
    const char* synopsis; // the arguments, after the command's name
    const char* summary;  // one line for the overall help
    std::string details;  // the rest of "kacutil NAME --help": behaviour and exit codes
    int (*run)(const Args& args);
};

// Thrown for a command line that does not fit the command; main turns it into one line on
// standard error and exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown for a failure the library answered with a result code rather than an exception;
// main prints it as one line and exits with 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<Command> StatusCommands();
std::vector<Command> ConfigCommands();
std::vector<Command> EnvCommands();
std::vector<Command> ProcessCommands();
std::vector<Command> TextCommands();
std::vector<Command> VersionCommands();

// Argument checks: each throws UsageError naming what is wrong.
void ExpectCount(const Args& args, size_t count);
// A whole number in [0, 4294967295], decimal or "0x" hexadecimal; what names the argument.
unsigned long ParseUnsigned(const std::wstring& text, const char* what);
// A whole decimal number in [min, max]; what names the argument.
long long ParseSigned(const std::wstring& text, long long min, long long max, const char* what);
// A data command's arguments with its option --json taken out, wherever it stood.
struct Request {
    Args args;
    bool json = false;
};
Request DataRequest(const Args& args);
// AnsiText answers text in the process's ANSI code page, for a library call that takes narrow
// text: exactly, or a UsageError naming what when the code page cannot carry a character of
// it. Never a look-alike or a "?" in its place.
std::string AnsiText(const std::wstring& text, const char* what);

// Text out. Inside kacutil every text is UTF-8. A console is written UTF-16 (WriteConsoleW),
// so that every character shows as it is; a file or pipe gets UTF-8 without a byte-order
// mark. Lines end in CR LF.
// Utf8 answers text in UTF-8; a surrogate without its pair, which UTF-8 cannot carry, throws
// Failure rather than being replaced.
std::string Utf8(const std::wstring& text);
std::string Utf8(const String_t& text);
std::string Utf8(const wchar_t* text);
// ShowForMessage answers text in UTF-8 for a message, a surrogate without its pair written
// "\uD800"; Quoted the same in single quotes.
std::string ShowForMessage(const std::wstring& text);
std::string Quoted(const std::wstring& text);
String_t FromUtf8(const std::string& text);
void Print(const std::string& line); // one line on standard output
void Print(const String_t& line);
void Print(const char* line);
void PrintText(const std::string& text);  // UTF-8 text as given, no line end added
void PrintError(const std::string& line); // one line on standard error
// PrintBytes writes bytes unchanged (a child's output), to standard error when toError.
void PrintBytes(const std::string& bytes, bool toError);
// PrintJson writes document as one JSON text on standard output.
void PrintJson(const Json& document);
// ShowAnswer prints line, or under --json document instead.
void ShowAnswer(const std::string& line, const Json& document, bool json);

// The text of a runtime exception's messages as one line, messages separated by "; ".
std::string OneLine(const KaTekMsg::MessageList_t& messages);

} // namespace Kacutil
