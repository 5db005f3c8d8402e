// KaTek messages: placeholders, list formatting, the exception tree across the DLL
// boundary, and the platform's error texts.
#include "KaTek/Msg.h"
#include "KaTekPrint.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using KaTekMsg::CreateError_t;
using KaTekMsg::Message_t;
using KaTekMsg::MessageCatalog_t;
using KaTekMsg::MessageList_t;
using KaTekStr::String_t;

namespace {

const MessageCatalog_t kCatalog(String_t("KaCtrl"));

TEST(KaTekMsg, PlaceholdersTakeTheArgumentsInOrder) {
    struct Case {
        const char* defaultText;
        std::vector<const char*> args;
        const char* expected;
    };
    const Case cases[] = {
        {"Not a boolean value '%1'.", {"maybe"}, "Not a boolean value 'maybe'."},
        {"%2 before %1", {"one", "two"}, "two before one"},
        {"twice %1 %1", {"x"}, "twice x x"},
        {"missing '%2'", {"x"}, "missing '%2'"}, // no second argument: kept as written
        {"no args '%1'", {}, "no args '%1'"},
        {"100% sure %", {"x"}, "100% sure %"}, // a lone percent sign is text
        {"%10 is not %1 then 0", {"a"}, "%10 is not a then 0"},
        {"%99999999999999999999", {"a"}, "%99999999999999999999"},
        {"arg with %2 inside: %1", {"%2", "B"}, "arg with B inside: %2"}, // no re-expansion
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.defaultText);
        CreateError_t builder(kCatalog, 1, c.defaultText);
        for (const char* arg : c.args) {
            builder << arg;
        }
        const Message_t message = builder;
        EXPECT_EQ(String_t(c.expected), message.GetText());
        EXPECT_EQ(String_t("KaCtrl"), message.GetCatalogId());
        EXPECT_EQ(1u, message.GetNumber());
    }
}

TEST(KaTekMsg, ListFormatsOneLinePerMessage) {
    MessageList_t list;
    EXPECT_EQ(String_t(""), list.Format(KaTekMsg::FMT_LINES));
    list.Add(CreateError_t(kCatalog, 2, "Error listing directory '%1'.") << "C:\\x");
    list.Add(CreateError_t(KaTekMsg::RuntimeCatalog(), 4, "Cannot list '%1'")
             << String_t(L"\x00E4"));
    EXPECT_EQ(String_t(L"KaCtrl(2): Error listing directory 'C:\\x'.\nKaTek(4): Cannot list "
                       L"'\x00E4'"),
              list.Format(KaTekMsg::FMT_LINES));
    EXPECT_EQ(String_t(L"Error listing directory 'C:\\x'.\nCannot list '\x00E4'"),
              list.Format(KaTekMsg::FMT_TEXT));
}

// The exceptions are thrown inside KaTek.dll and caught here, by every base class.
TEST(KaTekMsg, RuntimeErrorsCrossTheDllByBaseClass) {
    try {
        String_t("ab").Delete(1, 3);
        FAIL() << "no exception";
    } catch (const KaTekMsg::Exception_t& e) {
        const auto& messages = e.GetMessageList().GetMessages();
        ASSERT_EQ(1u, messages.size());
        EXPECT_EQ(String_t("KaTek"), messages[0].GetCatalogId());
        EXPECT_EQ(static_cast<uint32_t>(KaTekMsg::MSG_RANGE), messages[0].GetNumber());
        EXPECT_EQ(std::string("KaTek(8): Range [1, 3) outside a text of length 2"), e.what());
    }
    EXPECT_THROW(String_t("ab").Delete(1, 3), std::exception);
    EXPECT_THROW(KaTekMsg::ThrowRuntime(KaTekMsg::MSG_URI, {String_t("x")}),
                 KaTekMsg::RuntimeError_t);
}

TEST(KaTekMsg, IllegalStateIsALogicErrorAndAnException) {
    const Message_t message = CreateError_t(kCatalog, 3, "Error getting KaCore ID: '%1'.") << "";
    const auto throwIt = [&] { throw KaTekMsg::IllegalStateError_t(message); };
    EXPECT_THROW(throwIt(), KaTekMsg::IllegalStateError_t);
    EXPECT_THROW(throwIt(), KaTekMsg::LogicError_t);
    EXPECT_THROW(throwIt(), KaTekMsg::Exception_t);
    try {
        throwIt();
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string("KaCtrl(3): Error getting KaCore ID: ''."), e.what());
    }
}

TEST(KaTekMsg, WhatIsUtf8) {
    const KaTekMsg::Exception_t error(CreateError_t(kCatalog, 1, "%1") << String_t(L"\x00E9"));
    EXPECT_EQ(std::string("KaCtrl(1): \xC3\xA9"), error.what());
}

TEST(KaTekMsg, SystemErrorTextHasNoLineBreak) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND};
    for (DWORD code : codes) {
        SCOPED_TRACE(code);
        const String_t text = KaTekMsg::SystemErrorText(code);
        ASSERT_TRUE(text.IsNotEmpty());
        const wchar_t last = text.c_str()[text.GetLength() - 1];
        EXPECT_NE(L'\n', last);
        EXPECT_NE(L'\r', last);
    }
    // A code the system has no text for still says which code it was.
    const String_t unknown = KaTekMsg::SystemErrorText(0x2FFFFFFFu);
    // Compared by value: taking npos by reference would need it exported from the DLL.
    const uint32_t notFound = String_t::npos;
    EXPECT_NE(notFound, unknown.Find(String_t("805306367")));
}

} // namespace
