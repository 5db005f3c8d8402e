// The one trace record of the library, "Append returns " + value, written by
// AppendEnvVariable when "ctrl.utils" is traced at level 1, and nothing otherwise. The
// runtime attaches a trace object once per process, so each case needs a process of its
// own: CTest runs each one alone through a filter.
#include "EnvTestSupport.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using KaTekCmd::Command_t;
using KaTekStr::String_t;

const char kExpectedRecord[] = " ctrl.utils 1 Append returns a;b (../Utils:758)";

// Any case after the first in one process would see the trace object of the first.
bool FreshProcess() {
    static int casesRun = 0;
    return casesRun++ == 0;
}

constexpr char kOwnProcess[] = "run each case in a process of its own, as CTest does";

std::vector<std::string> TraceLines(const std::wstring& file) {
    std::ifstream in{std::filesystem::path(file)};
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Runs all three environment functions, so that a record of any other would show.
void RunEnvironmentFunctions(const KaTest::Sandbox& sandbox, const std::string& trace) {
    sandbox.WriteSettings(trace + "[ctrl.env]\nX=a\n[ctrl.env.append]\nX=b\n");
    Command_t command = EnvTest::MakeChildCommand();
    KaCtrl::SetEnvPath(command);
    KaCtrl::AvoidDuplicate(String_t("a;A;b"));
    EXPECT_EQ(std::wstring(L"a;b"), KaCtrl::AppendEnvVariable(true, command).Std());
}

std::string TraceSettings(const KaTest::Sandbox& sandbox, const std::string& areas,
                          const std::string& level) {
    return "[tek.trace]\nAREAS=" + areas + "\nLEVEL=" + level +
           "\nFILE=" + KaTest::Utf8(sandbox.Root()) + "\\trace.log\n";
}

void ExpectOneRecord(const std::string& areas, const std::string& level) {
    if (!FreshProcess()) {
        GTEST_SKIP() << kOwnProcess;
    }
    KaTest::Sandbox sandbox;
    RunEnvironmentFunctions(sandbox, TraceSettings(sandbox, areas, level));
    const std::vector<std::string> lines = TraceLines(sandbox.Root() + L"\\trace.log");
    ASSERT_EQ(1u, lines.size()) << "the trace file holds other records, or none";
    const std::string& line = lines.front();
    ASSERT_GE(line.size(), sizeof(kExpectedRecord) - 1);
    EXPECT_EQ(kExpectedRecord, line.substr(line.size() - (sizeof(kExpectedRecord) - 1))) << line;
}

void ExpectNoRecord(const std::string& areas, const std::string& level) {
    if (!FreshProcess()) {
        GTEST_SKIP() << kOwnProcess;
    }
    KaTest::Sandbox sandbox;
    RunEnvironmentFunctions(sandbox, TraceSettings(sandbox, areas, level));
    EXPECT_EQ(std::vector<std::string>(), TraceLines(sandbox.Root() + L"\\trace.log"));
}

TEST(AppendTrace, WrittenOnceAtLevelOne) {
    ExpectOneRecord("ctrl.utils", "1");
}

TEST(AppendTrace, WrittenOnceWhenEveryAreaAndLevelIsTraced) {
    ExpectOneRecord("*", "0xFFFFFFFF");
}

TEST(AppendTrace, AbsentWhenLevelOneIsNotTraced) {
    ExpectNoRecord("ctrl.utils", "6");
}

TEST(AppendTrace, AbsentWhenAnotherAreaIsTraced) {
    ExpectNoRecord("ctrl.other", "1");
}

TEST(AppendTrace, AbsentWhenNothingIsTraced) {
    if (!FreshProcess()) {
        GTEST_SKIP() << kOwnProcess;
    }
    KaTest::Sandbox sandbox;
    RunEnvironmentFunctions(sandbox, "");
    // The default trace file lies below the sandbox's log directory.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(sandbox.DataDir() + L"\\log")));
}

} // namespace
