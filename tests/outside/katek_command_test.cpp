// Command_t: real children (katek_command_child.exe, built beside this program) that report
// the environment and arguments they received, their exit codes and their output.
#include "KaTek.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using KaTekCmd::Command_t;
using KaTekStr::String_t;

constexpr uint32_t kPatientMs = 120000; // generous: the machine is shared and Wine is slow

String_t ChildPath() {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return String_t(path.substr(0, path.rfind(L'\\') + 1) + L"katek_command_child.exe");
}

Command_t ChildCommand(std::vector<String_t> arguments) {
    return Command_t(ChildPath(), arguments);
}

std::vector<std::wstring> Lines(const String_t& output) {
    std::vector<std::wstring> lines;
    const std::wstring& text = output.Std();
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Runs a started command to its end and answers its output lines.
std::vector<std::wstring> RunToEnd(Command_t& command) {
    command.Start();
    EXPECT_TRUE(command.Wait(kPatientMs));
    EXPECT_EQ(0u, command.GetExitCode());
    return Lines(command.GetOutput());
}

std::wstring NameOf(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

// The values of the child's environment entries named name, letter case ignored.
std::vector<std::wstring> ValuesOf(const std::vector<std::wstring>& block,
                                   const std::wstring& name) {
    std::vector<std::wstring> found;
    for (const std::wstring& entry : block) {
        if (CompareStringOrdinal(NameOf(entry).c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
            found.push_back(entry.substr(NameOf(entry).size() + 1));
        }
    }
    return found;
}

// The block is the parent's at construction plus PutEnv's changes, as GetEnv reports it
// and as the child really receives it.
TEST(Command, ChildSeesItsOwnEnvironment) {
    SetEnvironmentVariableW(L"KA_CMD_PARENT", L"from parent");
    SetEnvironmentVariableW(L"KA_CMD_OVERRIDDEN", L"from parent");
    Command_t command = ChildCommand({String_t("env")});
    SetEnvironmentVariableW(L"KA_CMD_LATE", L"set after the command was made");
    command.PutEnv(String_t("KA_CMD_PLAIN"), String_t("value with blanks = and equals"));
    command.PutEnv(String_t("KA_CMD_EMPTY"), String_t(""));
    command.PutEnv(String_t("ka_cmd_case"), String_t("first"));
    command.PutEnv(String_t("KA_CMD_CASE"), String_t("second"));
    command.PutEnv(String_t("KA_CMD_OVERRIDDEN"), String_t("overridden"));
    const std::vector<std::wstring> block = RunToEnd(command);
    for (const wchar_t* name : {L"KA_CMD_PARENT", L"KA_CMD_OVERRIDDEN", L"KA_CMD_LATE"}) {
        SetEnvironmentVariableW(name, nullptr);
    }

    struct Expected {
        const wchar_t* name;
        std::vector<std::wstring> values; // one entry, or none
    };
    const std::vector<Expected> table = {
        {L"KA_CMD_PARENT", {L"from parent"}},
        {L"KA_CMD_OVERRIDDEN", {L"overridden"}},
        {L"KA_CMD_LATE", {}},
        {L"KA_CMD_PLAIN", {L"value with blanks = and equals"}},
        {L"KA_CMD_EMPTY", {L""}},
        {L"ka_Cmd_Case", {L"second"}},
    };
    for (const Expected& expected : table) {
        const String_t name(expected.name);
        EXPECT_EQ(expected.values, ValuesOf(block, expected.name)) << KaTest::Utf8(expected.name);
        const String_t value = command.GetEnv(name);
        EXPECT_EQ(expected.values.empty(), value.IsNull()) << KaTest::Utf8(expected.name);
        if (!expected.values.empty()) {
            EXPECT_EQ(String_t(expected.values[0]), value) << KaTest::Utf8(expected.name);
        }
    }
}

// Windows requires the block sorted by name without regard to letter case (upper-cased,
// so '[' and '_' come after every letter), and the child gets our entries in the order we
// built them. The platform may add entries of its own, so only ours are looked at.
TEST(Command, BlockIsSortedIgnoringCase) {
    Command_t command = ChildCommand({String_t("env")});
    for (const char* name : {"ka_sort_b", "KA_SORT__", "KA_SORT_A2", "KA_SORT_[", "Ka_Sort_a1"}) {
        command.PutEnv(String_t(name), String_t("x"));
    }
    std::vector<std::wstring> ours;
    for (const std::wstring& entry : RunToEnd(command)) {
        const std::wstring head = entry.substr(0, 8);
        if (CompareStringOrdinal(head.c_str(), -1, L"KA_SORT_", -1, TRUE) == CSTR_EQUAL) {
            ours.push_back(NameOf(entry));
        }
    }
    const std::vector<std::wstring> expected = {L"Ka_Sort_a1", L"KA_SORT_A2", L"ka_sort_b",
                                                L"KA_SORT_[", L"KA_SORT__"};
    EXPECT_EQ(expected, ours);
}

TEST(Command, ArgumentsArriveUnchanged) {
    const std::vector<std::wstring> arguments = {
        L"plain",     L"two words",
        L"",          L"quote\"in",
        L"\"",        L"trailing\\",
        L"two\\\\",   L"back\\\"quote",
        L"tab\there", L"C:\\Program Files\\dir\\",
        L"a\\b\\c",
    };
    std::vector<String_t> passed = {String_t("args")};
    std::vector<std::wstring> expected;
    for (const std::wstring& argument : arguments) {
        passed.push_back(String_t(argument));
        expected.push_back(L"[" + argument + L"]");
    }
    Command_t command = ChildCommand(passed);
    EXPECT_EQ(expected, RunToEnd(command));
}

TEST(Command, ReportsExitCodes) {
    for (uint32_t code : {0u, 1u, 42u, 255u, 0x80000001u}) {
        Command_t command = ChildCommand({String_t("exit"), KaTekStr::NumToStr(code)});
        command.Start();
        ASSERT_TRUE(command.Wait(kPatientMs));
        EXPECT_EQ(code, command.GetExitCode());
    }
}

// More than a pipe holds: a parent that does not read while it waits never sees the end.
TEST(Command, CollectsOutputAndErrorBeyondThePipesSize) {
    const uint32_t size = 1000000;
    Command_t command = ChildCommand({String_t("spam"), KaTekStr::NumToStr(size)});
    command.Start();
    ASSERT_TRUE(command.Wait(kPatientMs));
    const std::wstring output = command.GetOutput().Std();
    EXPECT_EQ(size + 4, output.size());
    EXPECT_EQ(std::wstring(L"!err"), output.substr(output.size() - 4));
    EXPECT_EQ(std::wstring::npos, output.substr(0, size).find_first_not_of(L'o'));
}

TEST(Command, WaitEndsAtItsTimeOutWhileTheChildRuns) {
    Command_t command = ChildCommand({String_t("sleep"), String_t("3000")});
    command.Start();
    EXPECT_NE(0u, command.GetProcessId());
    EXPECT_FALSE(command.Wait(0));
    EXPECT_FALSE(command.Wait(50));
    EXPECT_TRUE(command.Wait(kPatientMs));
    EXPECT_TRUE(command.Wait(0)) << "an ended command stays ended";
    EXPECT_EQ(0u, command.GetExitCode());
}

TEST(Command, CopiesShareOneCommand) {
    Command_t original = ChildCommand({String_t("env")});
    Command_t copy = original;
    copy.PutEnv(String_t("KA_CMD_SHARED"), String_t("through the copy"));
    EXPECT_EQ(String_t("through the copy"), original.GetEnv(String_t("KA_CMD_SHARED")));
    copy.Start();
    ASSERT_TRUE(original.Wait(kPatientMs));
    EXPECT_EQ(copy.GetProcessId(), original.GetProcessId());
    EXPECT_EQ(std::vector<std::wstring>{L"through the copy"},
              ValuesOf(Lines(copy.GetOutput()), L"KA_CMD_SHARED"));
}

TEST(Command, RefusesWhatCannotRun) {
    const String_t missing("Z:\\no\\such\\dir\\katek_missing_program.exe");
    EXPECT_THROW(Command_t(missing, {}).Start(), KaTekMsg::RuntimeError_t);
    EXPECT_THROW(Command_t(String_t("katek_missing_program_xyz"), {}).Start(),
                 KaTekMsg::RuntimeError_t);
    EXPECT_THROW(Command_t(String_t(""), {}).Start(), KaTekMsg::RuntimeError_t);

    Command_t notStarted = ChildCommand({});
    EXPECT_THROW(notStarted.Wait(0), KaTekMsg::RuntimeError_t);
    Command_t twice = ChildCommand({String_t("exit"), String_t("0")});
    twice.Start();
    EXPECT_THROW(twice.Start(), KaTekMsg::RuntimeError_t);
    EXPECT_TRUE(twice.Wait(kPatientMs));

    EXPECT_THROW(notStarted.PutEnv(String_t(""), String_t("x")), KaTekMsg::RuntimeError_t);
    EXPECT_THROW(notStarted.PutEnv(String_t("A=B"), String_t("x")), KaTekMsg::RuntimeError_t);
}

TEST(Command, NullCommandRefersToNone) {
    Command_t null;
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(ChildCommand({}).IsNull());
    EXPECT_TRUE(null.GetEnv(String_t("PATH")).IsNull());
    EXPECT_THROW(null.PutEnv(String_t("A"), String_t("b")), KaTekMsg::RuntimeError_t);
    EXPECT_THROW(null.Start(), KaTekMsg::RuntimeError_t);
    EXPECT_THROW(null.Wait(0), KaTekMsg::RuntimeError_t);
}

} // namespace
