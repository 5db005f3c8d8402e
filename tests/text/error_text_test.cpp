// GetLastErrorText against the platform's own message table, read through the wide call
// so that the test does not walk the library's path.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"

// The system's text for code as stored, inserts as written; empty when it has none.
static std::wstring SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    return text;
}

TEST(ErrorText, SystemTextWithoutItsLineEndThenTheCode) {
    // 193's text holds an insert, "%1", which stays as written; codes with the top bit set
    // read as unsigned decimals.
    ASSERT_NE(SystemText(ERROR_BAD_EXE_FORMAT).find(L"%1"), std::wstring::npos);
    for (DWORD code : {0ul, 193ul, 0x80070005ul}) {
        const std::wstring system = SystemText(code);
        const size_t size = system.size();
        // The text closes with one line end; that is what must be cut, and only that.
        ASSERT_TRUE(size > 2 && system.substr(size - 2) == L"\r\n" && system[size - 3] != L'\n')
            << code;
        EXPECT_EQ(KaCtrl::GetLastErrorText(code).Std(),
                  system.substr(0, size - 2) + L" (" + std::to_wstring(code) + L")");
    }
    // Codes with the customer bit (0x20000000) are never the system's own.
    for (DWORD code : {0x2000ABCDul, 0xFFFFFFFFul}) {
        ASSERT_TRUE(SystemText(code).empty()) << code << " is known here";
        EXPECT_EQ(KaCtrl::GetLastErrorText(code).Std(), L"N/A ") << code;
    }
}
