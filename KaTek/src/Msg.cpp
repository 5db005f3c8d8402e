// KaTek runtime: messages, catalogs and exceptions.
#include "KaTek/Msg.h"

#include "SystemMessage.h"

#include <windows.h>

namespace KaTekMsg {

namespace {

bool IsDigit(wchar_t unit) {
    return unit >= L'0' && unit <= L'9';
}

// The default texts of the runtime's own catalog, by message number.
const char* RuntimeDefaultText(RuntimeMessage_e number) {
    switch (number) {
    case MSG_FILE_OPEN:
        return "Cannot open file '%1': %2";
    case MSG_FILE_READ:
        return "Cannot read file '%1': %2";
    case MSG_CONFIG_SYNTAX:
        return "Malformed settings file '%1', line %2: %3";
    case MSG_DIR_LIST:
        return "Cannot list directory '%1': %2";
    case MSG_DIR_KEY:
        return "Unknown directory key %1";
    case MSG_DIR_BASE:
        return "Directory variable %1 is not an absolute path: '%2'";
    case MSG_URI:
        return "Not an absolute http or https URI: '%1'";
    case MSG_RANGE:
        return "Range [%1, %2) outside a text of length %3";
    case MSG_COMMAND:
        return "Command '%1' failed: %2";
    case MSG_XML:
        return "XML writer: %1";
    case MSG_TEXT_CONVERT:
        return "Cannot convert text: %1";
    case MSG_ENV_VARIABLE:
        return "Environment variable '%1' refused: %2";
    }
    // A number without a text of its own still shows its arguments.
    return "%1 %2 %3";
}

// The length of the "%n" placeholder at position at (0 when there is none) and its number;
// a number beyond any argument list saturates, so that it is copied as written.
size_t FindPlaceholder(const std::wstring& text, size_t at, size_t& number) {
    const size_t beyondAnyList = 1000000;
    number = 0;
    if (text[at] != L'%') {
        return 0;
    }
    size_t end = at + 1;
    for (; end < text.size() && IsDigit(text[end]); ++end) {
        const size_t digit = static_cast<size_t>(text[end] - L'0');
        number = number >= beyondAnyList ? beyondAnyList : number * 10 + digit;
    }
    return end - at == 1 ? 0 : end - at;
}

} // namespace

Message_t::Message_t(const String_t& catalogId, uint32_t number, const String_t& defaultText,
                     std::vector<String_t> args)
    : catalogId_(catalogId), number_(number), defaultText_(defaultText), args_(std::move(args)) {}

String_t Message_t::GetText() const {
    const std::wstring& source = defaultText_.Std();
    std::wstring text;
    size_t at = 0;
    while (at < source.size()) {
        size_t number = 0;
        const size_t length = FindPlaceholder(source, at, number);
        if (length > 0 && number >= 1 && number <= args_.size()) {
            text += args_[number - 1].Std();
            at += length;
        } else {
            text += source[at];
            ++at;
        }
    }
    return String_t(text);
}

CreateMessage_t::CreateMessage_t(const MessageCatalog_t& catalog, uint32_t number,
                                 const char* defaultText)
    : catalogId_(catalog.GetId()), number_(number), defaultText_(defaultText) {}

CreateMessage_t& CreateMessage_t::operator<<(const String_t& arg) {
    args_.push_back(arg);
    return *this;
}

CreateMessage_t& CreateMessage_t::operator<<(const char* arg) {
    return *this << String_t(arg);
}

CreateMessage_t::operator Message_t() const {
    return Message_t(catalogId_, number_, defaultText_, args_);
}

String_t MessageList_t::Format(FormatFlags_e flags) const {
    String_t text;
    for (size_t i = 0; i < messages_.size(); ++i) {
        const Message_t& message = messages_[i];
        if (i > 0) {
            text += "\n";
        }
        if (flags == FMT_LINES) {
            text += message.GetCatalogId() + "(" + KaTekStr::NumToStr(message.GetNumber()) + "): ";
        }
        text += message.GetText();
    }
    return text;
}

Exception_t::Exception_t(const Message_t& message) {
    messages_.Add(message);
    what_ = KaTekStr::NarrowUtf8(messages_.Format(FMT_LINES).Std());
}

Exception_t::Exception_t(const MessageList_t& messages)
    : messages_(messages), what_(KaTekStr::NarrowUtf8(messages_.Format(FMT_LINES).Std())) {}

const MessageCatalog_t& RuntimeCatalog() {
    static const MessageCatalog_t catalog(String_t("KaTek"));
    return catalog;
}

void ThrowRuntime(RuntimeMessage_e number, std::vector<String_t> args) {
    throw RuntimeError_t(Message_t(RuntimeCatalog().GetId(), number,
                                   String_t(RuntimeDefaultText(number)), std::move(args)));
}

String_t SystemErrorText(unsigned long code) {
    const std::wstring message = KaCommon::ReadSystemMessage(code);
    if (message.empty()) {
        // The system has no text for this code: the number still tells what happened.
        return String_t("Windows error ") + KaTekStr::NumToStr(code);
    }
    return String_t(message);
}

} // namespace KaTekMsg
