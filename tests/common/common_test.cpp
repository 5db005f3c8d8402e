// The headers every binary shares, by tables and against the platform: command-line quoting,
// the holders' promise to keep the last-error code, and the system message without its line end.
#include "CommandLine.h"
#include "Holders.h"
#include "SystemMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// Arguments come back unchanged from CommandLineToArgvW (judged on real children by
// katek_test's KaTekCmd.ChildSeesExactlyItsArgumentsAndTheVariablesPut): quoted only where needed,
// backslashes doubled only before a quote; the program quoted as a whole.
TEST(QuoteCommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(L"\"C:\\p\" \"\" a\\b \"a b\" \"\v\" \"\\\"\" \"a\\\\\\\"b\" \"a b\\\\\\\\\"",
              KaCommon::QuoteCommandLine(
                  L"C:\\p", {L"", L"a\\b", L"a b", L"\v", L"\"", L"a\\\"b", L"a b\\\\"}));
}

// Releasing keeps the thread's last-error code for the caller about to read it, also where the
// release call sets it (WinHttpCloseHandle sets 0 when it succeeds).
TEST(Holders, ReleaseKeepsTheLastErrorCode) {
    KaHold::unique_winhttp session(
        WinHttpOpen(L"t", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    SetLastError(0xC0DE);
    session.reset();
    EXPECT_EQ(0xC0DEu, GetLastError());
}

// One line end is cut where the text closes with one, and nothing where it does not: a text of
// the system's that lacked one would lose two characters of its own otherwise.
TEST(ErrorText, CutsTheLineEndOnlyWhereThereIsOne) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"Done.\r\n", L"Done."},
        {L"Done.\n", L"Done."},
        {L"Done.\r", L"Done."},
        {L"Done.", L"Done."},
        {L"D", L"D"},
        {L"", L""},
        {L"\r\n", L""},
        {L"a\r\n\r\n", L"a\r\n"},
        {L"a\n\r", L"a\n"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(KaCommon::CutLineEnd(text), expected) << text.size();
    }
}

} // namespace
