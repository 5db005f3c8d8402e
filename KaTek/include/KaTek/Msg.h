// KaTek runtime: messages and exceptions.
//
// A Message_t is a catalog reference (catalog id, number), a default text with "%1",
// "%2", ... placeholders, and the arguments given with <<. MessageList_t::Format with
// FMT_LINES (32) gives one line per message, "<catalog>(<number>): <text>", the lines
// joined by "\n". The exception tree Exception_t > LogicError_t > IllegalStateError_t,
// and RuntimeError_t below Exception_t for the runtime's own failures, all derive from
// std::exception; what() gives the FMT_LINES text in UTF-8.
#pragma once

#include "KaTek/Str.h"

#include <exception>
#include <string>
#include <vector>

namespace KaTekMsg {

using KaTekStr::String_t;

class KATEK_API MessageCatalog_t {
public:
    explicit MessageCatalog_t(const String_t& id) : id_(id) {}
    const String_t& GetId() const { return id_; }

private:
    String_t id_;
};

class KATEK_API Message_t {
public:
    Message_t(const String_t& catalogId, uint32_t number, const String_t& defaultText,
              std::vector<String_t> args = {});
    const String_t& GetCatalogId() const { return catalogId_; }
    uint32_t GetNumber() const { return number_; }
    const String_t& GetDefaultText() const { return defaultText_; }
    const std::vector<String_t>& GetArgs() const { return args_; }
    // The default text with each "%n" replaced by argument n; a placeholder without an
    // argument stays as written.
    String_t GetText() const;

private:
    String_t catalogId_;
    uint32_t number_;
    String_t defaultText_;
    std::vector<String_t> args_;
};

// CreateMessage_t builds a message argument by argument: CreateError_t(cat, 3, "..%1..")
// << arg converts to Message_t.
class KATEK_API CreateMessage_t {
public:
    CreateMessage_t(const MessageCatalog_t& catalog, uint32_t number, const char* defaultText);
    CreateMessage_t& operator<<(const String_t& arg);
    CreateMessage_t& operator<<(const char* arg);
    operator Message_t() const;

private:
    String_t catalogId_;
    uint32_t number_;
    String_t defaultText_;
    std::vector<String_t> args_;
};

class KATEK_API CreateError_t : public CreateMessage_t {
public:
    CreateError_t(const MessageCatalog_t& catalog, uint32_t number, const char* defaultText)
        : CreateMessage_t(catalog, number, defaultText) {}
};

enum FormatFlags_e { FMT_TEXT = 0, FMT_LINES = 32 };

class KATEK_API MessageList_t {
public:
    void Add(const Message_t& message) { messages_.push_back(message); }
    const std::vector<Message_t>& GetMessages() const { return messages_; }
    bool IsEmpty() const { return messages_.empty(); }
    // FMT_LINES: "<catalog>(<number>): <text>" per message, joined by "\n".
    // Any other value: the texts alone, joined by "\n".
    String_t Format(FormatFlags_e flags) const;

private:
    std::vector<Message_t> messages_;
};

class KATEK_API Exception_t : public std::exception {
public:
    explicit Exception_t(const Message_t& message);
    explicit Exception_t(const MessageList_t& messages);
    const MessageList_t& GetMessageList() const { return messages_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    MessageList_t messages_;
    std::string what_;
};

class KATEK_API LogicError_t : public Exception_t {
public:
    using Exception_t::Exception_t;
};

class KATEK_API IllegalStateError_t : public LogicError_t {
public:
    explicit IllegalStateError_t(const Message_t& message) : LogicError_t(message) {}
};

// Failures of the runtime itself (files, configuration, parsing, processes).
class KATEK_API RuntimeError_t : public Exception_t {
public:
    using Exception_t::Exception_t;
};

// The runtime's own catalog "KaTek"; its messages carry one argument and the detail.
KATEK_API const MessageCatalog_t& RuntimeCatalog();
enum RuntimeMessage_e : uint32_t {
    MSG_FILE_OPEN = 1,      // "Cannot open file '%1': %2"
    MSG_FILE_READ = 2,      // "Cannot read file '%1': %2"
    MSG_CONFIG_SYNTAX = 3,  // "Malformed settings file '%1', line %2: %3"
    MSG_DIR_LIST = 4,       // "Cannot list directory '%1': %2"
    MSG_DIR_KEY = 5,        // "Unknown directory key %1"
    MSG_DIR_BASE = 6,       // "Directory variable %1 is not an absolute path: '%2'"
    MSG_URI = 7,            // "Not an absolute http or https URI: '%1'"
    MSG_RANGE = 8,          // "Range [%1, %2) outside a text of length %3"
    MSG_COMMAND = 9,        // "Command '%1' failed: %2"
    MSG_XML = 10,           // "XML writer: %1"
    MSG_TEXT_CONVERT = 11,  // "Cannot convert text: %1"
    MSG_ENV_VARIABLE = 12,  // "Environment variable '%1' refused: %2"
};

// Throws RuntimeError_t with the runtime catalog's message number and arguments.
[[noreturn]] KATEK_API void ThrowRuntime(RuntimeMessage_e number, std::vector<String_t> args);
// The platform's text for a Win32 error code, for runtime messages.
KATEK_API String_t SystemErrorText(unsigned long code);

} // namespace KaTekMsg
