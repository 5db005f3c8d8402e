// Pieces that need no platform call, by tables: a child's environment block (KaTek's core)
// and command-line quoting (common/). And the holders' promise to keep the last-error code.
// (The trace settings kept until the file changes are judged by KaTekTrace in outside_test.)
#include "CommandLine.h"
#include "EnvironmentBlock.h"
#include "Holders.h"
#include "KaTek.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace std::string_literals;

namespace {

// A block read, then variables set: sorted by name without letter case, a name set again in
// other letter case keeps its first form, a per-drive entry keeps its leading '=', an entry
// without '=' is a name with the empty value, and a block ends in an empty entry (two NULs
// when it holds none).
TEST(KaTekCmdBlock, ReadSetFindAndBuild) {
    const KaTekCmd::NameOrder order = [](const std::wstring& left, const std::wstring& right) {
        return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) - CSTR_EQUAL;
    }; // the platform's, as the runtime passes it in
    const std::tuple<std::wstring, std::vector<KaTekCmd::Variable>, std::wstring> rows[] = {
        {L"\0"s, {}, L"\0\0"s},
        {L"x\0\0"s, {{L"y", L""}}, L"x=\0y=\0\0"s},
        {L"b=1\0=C:=C:\\x\0a=2\0B=3\0\0"s,
         {{L"A", L"4"}, {L"_", L"="}},
         L"=C:=C:\\x\0a=4\0b=3\0_==\0\0"s},
    };
    for (const auto& [block, puts, expected] : rows) {
        std::vector<KaTekCmd::Variable> environment = KaTekCmd::ParseBlock(block.c_str(), order);
        for (const auto& [name, value] : puts) {
            KaTekCmd::SetVariable(environment, order, name, value);
        }
        EXPECT_EQ(expected, KaTekCmd::BuildBlock(environment));
        const KaTekCmd::Variable* x = KaTekCmd::FindVariable(environment, order, L"X");
        EXPECT_EQ(block[0] == L'x', x != nullptr && x->first == L"x");
    }
}

// Arguments come back unchanged from CommandLineToArgvW (judged on real children by
// TextBoundary.ChildSeesExactlyItsArgumentsAndTheVariablesPut): quoted only where needed,
// backslashes doubled only before a quote; the program quoted as a whole.
TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(L"\"C:\\p\" \"\" a\\b \"a b\" \"\v\" \"\\\"\" \"a\\\\\\\"b\" \"a b\\\\\\\\\"",
              KaCommon::CommandLine(L"C:\\p",
                                    {L"", L"a\\b", L"a b", L"\v", L"\"", L"a\\\"b", L"a b\\\\"}));
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

} // namespace
