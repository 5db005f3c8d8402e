// GetLastErrorText against the platform's own message table, read through the wide call
// so that the test does not walk the library's path.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <string>

using KaTekStr::String_t;

namespace {

// The system's text for code as stored, inserts as written; false when it has none.
bool SystemText(DWORD code, std::wstring& text) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        return false;
    }
    text.assign(buffer, length);
    ::LocalFree(buffer);
    return true;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring ErrorText(DWORD code) {
    return KaCtrl::GetLastErrorText(code).Std();
}

} // namespace

TEST(ErrorText, Success) {
    std::wstring system;
    ASSERT_TRUE(SystemText(0, system));
    const std::wstring text = ErrorText(0);
    EXPECT_TRUE(EndsWith(text, L". (0)")) << KaTest::Utf8(text);
    EXPECT_EQ(text, system.substr(0, system.size() - 2) + L" (0)");
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << KaTest::Utf8(text);
}

TEST(ErrorText, UnknownCodeIsNotAvailable) {
    // Codes with the customer bit (0x20000000) are never the system's own.
    for (DWORD code : {0x2000ABCDul, 0x20000000ul, 0xFFFFFFFFul}) {
        std::wstring system;
        ASSERT_FALSE(SystemText(code, system)) << code << " is known here";
        EXPECT_EQ(ErrorText(code), L"N/A ") << code;
    }
}

TEST(ErrorText, TopBitCodeIsUnsigned) {
    // HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) and E_OUTOFMEMORY.
    for (DWORD code : {0x80070005ul, 0x8007000Eul}) {
        std::wstring system;
        ASSERT_TRUE(SystemText(code, system)) << code << " is not known here";
        const std::wstring text = ErrorText(code);
        EXPECT_TRUE(EndsWith(text, L" (" + std::to_wstring(code) + L")")) << KaTest::Utf8(text);
        EXPECT_EQ(text.find(L'-'), std::wstring::npos) << KaTest::Utf8(text);
    }
}

TEST(ErrorText, InsertsStayAsWritten) {
    // ERROR_BAD_EXE_FORMAT: "%1 is not a valid Win32 application."
    std::wstring system;
    ASSERT_TRUE(SystemText(ERROR_BAD_EXE_FORMAT, system));
    ASSERT_NE(system.find(L"%1"), std::wstring::npos) << KaTest::Utf8(system);
    const std::wstring text = ErrorText(ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(text, system.substr(0, system.size() - 2) + L" (193)");
    EXPECT_NE(text.find(L"%1"), std::wstring::npos) << KaTest::Utf8(text);
}

TEST(ErrorText, EveryCodeOfTheTableReadsWithoutItsLineEnd) {
    int known = 0;
    for (DWORD code = 0; code < 16000; ++code) {
        std::wstring system;
        const std::wstring text = ErrorText(code);
        if (!SystemText(code, system)) {
            EXPECT_EQ(text, L"N/A ") << code;
            continue;
        }
        ++known;
        // Every text of the table closes with a line end; that is what is cut.
        ASSERT_TRUE(EndsWith(system, L"\r\n")) << code << ": " << KaTest::Utf8(system);
        const std::wstring tail = L" (" + std::to_wstring(code) + L")";
        EXPECT_EQ(text, system.substr(0, system.size() - 2) + tail) << code;
        ASSERT_TRUE(EndsWith(text, tail)) << code;
        const std::wstring message = text.substr(0, text.size() - tail.size());
        EXPECT_FALSE(EndsWith(message, L"\n") || EndsWith(message, L"\r")) << code;
    }
    // The table is really there: a few hundred codes at least.
    EXPECT_GT(known, 300);
}
