// kacutil run as a child on a sandbox installation: one test per command family, each with
// a bad argument, checking what it prints and its exit code.
#include <gtest/gtest.h>

#include "ChildMode.h"
#include "KacutilRun.h"
#include "Sandbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <thread>

namespace {

using KaTest::Lines;
using KaTest::RunKacutil;
using KaTest::SlashPath;
using KaTest::Utf8;

constexpr wchar_t kStopEvent[] = L"com.trelm.ka.kacutil_test.stop";

// Child mode: prints NAME=value for each variable named, then ends with exit code 7.
int PrintEnv(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        wchar_t value[1024] = L"";
        ::GetEnvironmentVariableW(name.c_str(), value, 1024);
        std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
    }
    std::fflush(stdout);
    return 7;
}

// Child mode: ends when its stop event is signalled, as the agent's processes do.
int WaitForStop(const std::vector<std::wstring>&) {
    KaHold::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    return ::WaitForSingleObject(stop.get(), 60000) == WAIT_OBJECT_0 ? 0 : 5;
}

int Idle(const std::vector<std::wstring>&) {
    ::Sleep(60000);
    return 5;
}

KaTest::ChildMode printEnvMode(L"print-env", PrintEnv);
KaTest::ChildMode waitForStopMode(L"wait-for-stop", WaitForStop);
KaTest::ChildMode idleMode(L"idle", Idle);

std::wstring TestProgram() {
    wchar_t self[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::wstring(self, length);
}

bool EventExists(const wchar_t* name) {
    for (int tries = 0; tries < 100; ++tries) {
        KaHold::unique_handle event(::OpenEventW(SYNCHRONIZE, FALSE, name));
        if (event) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A failure is exactly one line, on standard error, and nothing else.
void ExpectFailure(const KaTest::KacutilResult& result, int exitCode, const std::string& line) {
    EXPECT_EQ(result.exitCode, exitCode) << result.output;
    EXPECT_EQ(result.output, line + "\n");
}

// A usage error names the command and where its help is.
void ExpectUsageError(const std::vector<std::wstring>& args, const std::string& what) {
    KaTest::KacutilResult result = RunKacutil(args);
    std::string command = Utf8(args.front());
    ExpectFailure(result, 2,
                  "kacutil " + command + ": " + what + " (kacutil " + command + " --help)");
}

class Kacutil : public ::testing::Test {
protected:
    KaTest::Sandbox sandbox_;
};

} // namespace

TEST_F(Kacutil, HelpListsEveryCommandAndUnknownOnesFail) {
    KaTest::KacutilResult help = RunKacutil({L"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* name :
         {"status", "uri", "conf", "dirs", "resolve", "bool", "env", "dedup", "stop", "service",
          "privilege", "admin", "signal", "error", "time", "ls", "version"}) {
        std::string entry = std::string("\n  ") + name;
        EXPECT_TRUE(help.output.find(entry + " ") != std::string::npos ||
                    help.output.find(entry + "\n") != std::string::npos)
            << name;
        KaTest::KacutilResult own =
            RunKacutil({std::wstring(name, name + std::strlen(name)), L"--help"});
        EXPECT_EQ(own.exitCode, 0) << name;
        EXPECT_TRUE(StartsWith(own.output, std::string("usage: kacutil ") + name)) << own.output;
        EXPECT_NE(own.output.find("exit codes"), std::string::npos) << name;
    }
    EXPECT_NE(help.output.find("exit codes:\n  0 "), std::string::npos);
    ExpectFailure(RunKacutil({}), 2, "kacutil: no command given (kacutil --help)");
    ExpectFailure(RunKacutil({L"frobnicate"}), 2,
                  "kacutil: unknown command 'frobnicate' (kacutil --help)");
}

TEST_F(Kacutil, ConfigurationFamily) {
    sandbox_.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\tools\\sudo.exe -u agent\n"
                           "[sec.core]\nCORE_ID=core-4711\n");
    std::string data = Utf8(sandbox_.DataDir());

    KaTest::KacutilResult conf = RunKacutil({L"conf"});
    EXPECT_EQ(conf.exitCode, 0) << conf.output;
    EXPECT_EQ(Lines(conf.output),
              (std::vector<std::string>{"configuration          " + data + "\\conf\\ctrl\\",
                                        "temporary              " + data + "\\tmp\\",
                                        "sudo (ctrl.sudo)       C:\\tools\\sudo.exe -u agent",
                                        "core id (sec.core)     core-4711"}));

    KaTest::KacutilResult dirs = RunKacutil({L"dirs"});
    EXPECT_EQ(dirs.exitCode, 0);
    std::vector<std::string> lines = Lines(dirs.output);
    EXPECT_EQ(lines.size(), 37u);
    auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("$LogDir                " + SlashPath(sandbox_.DataDir()) + "/log"))
        << dirs.output;
    EXPECT_TRUE(has("$KA_SUDO               C:/tools/sudo.exe -u agent")) << dirs.output;

    KaTest::KacutilResult resolved = RunKacutil({L"resolve", L"$LogDir\\System.txt"});
    EXPECT_EQ(resolved.exitCode, 0);
    EXPECT_EQ(resolved.output, SlashPath(sandbox_.DataDir()) + "/log/System.txt\n");

    KaTest::KacutilResult yes = RunKacutil({L"bool", L"TRUE"});
    EXPECT_EQ(yes.exitCode, 0);
    EXPECT_EQ(yes.output, "true\n");
    KaTest::KacutilResult no = RunKacutil({L"bool", L"False"});
    EXPECT_EQ(no.exitCode, 3);
    EXPECT_EQ(no.output, "false\n");
    ExpectFailure(RunKacutil({L"bool", L"yes"}), 1,
                  "kacutil bool: KaCtrl(1): Not a boolean value 'yes'.");
    ExpectUsageError({L"resolve"}, "missing argument (1 expected, 0 given)");
    ExpectUsageError({L"dirs", L"$LogDir"}, "unexpected argument '$LogDir'");
}

TEST_F(Kacutil, ConfigurationWithoutCoreIdFailsAfterTheOtherAnswers) {
    KaTest::KacutilResult conf = RunKacutil({L"conf"});
    EXPECT_EQ(conf.exitCode, 1);
    std::vector<std::string> lines = Lines(conf.output);
    ASSERT_EQ(lines.size(), 4u) << conf.output;
    EXPECT_EQ(lines[2], "sudo (ctrl.sudo)       ");
    EXPECT_EQ(lines[3], "kacutil conf: KaCtrl(3): Error getting KaCore ID: ''.");
}

TEST_F(Kacutil, EnvironmentFamily) {
    sandbox_.WriteSettings("[ctrl.env]\nKA_T_LEVEL=2\nKA_T_LIST=C:\\a;c:/A\n"
                           "[ctrl.env.append]\nKA_T_LIST=C:\\b;C:\\a\nPATH=C:\\never\n"
                           "[ctrl.env.prepend]\nKA_T_LIST=D:\\first\n");
    std::wstring program = TestProgram();
    KaTest::KacutilResult appended = RunKacutil({L"env", L"--append", L"--", program, L"--ka-child",
                                                 L"print-env", L"KA_T_LEVEL", L"KA_T_LIST"});
    EXPECT_EQ(appended.exitCode, 7) << appended.output;
    EXPECT_EQ(Lines(appended.output),
              (std::vector<std::string>{
                  "ctrl.env: KA_T_LEVEL=2", "ctrl.env: KA_T_LIST=C:\\a;c:/A",
                  "ctrl.env.append: KA_T_LIST=C:/a;C:/b", "last value set: C:/a;C:/b",
                  "running: " + Utf8(program) + " --ka-child print-env KA_T_LEVEL KA_T_LIST",
                  "KA_T_LEVEL=2", "KA_T_LIST=C:/a;C:/b"}));

    KaTest::KacutilResult prepended =
        RunKacutil({L"env", L"--prepend", program, L"--ka-child", L"print-env", L"KA_T_LIST"});
    EXPECT_EQ(prepended.exitCode, 7);
    EXPECT_TRUE(EndsWith(prepended.output, "\nKA_T_LIST=D:/first;C:/a\n")) << prepended.output;

    KaTest::KacutilResult dedup = RunKacutil({L"dedup", L" a ; A ;b;C:\\x;c:/X"});
    EXPECT_EQ(dedup.exitCode, 0);
    EXPECT_EQ(dedup.output, "a;b;C:/x\n");

    ExpectUsageError({L"env", L"--sideways", L"--", L"cmd"}, "unknown option '--sideways'");
    ExpectUsageError({L"env", L"--append", L"--prepend", L"cmd"},
                     "--prepend and --append exclude each other");
    ExpectUsageError({L"env", L"--append", L"--"}, "no program given");
    ExpectUsageError({L"dedup"}, "missing argument (1 expected, 0 given)");
    KaTest::KacutilResult missing = RunKacutil({L"env", L"--", L"Z:\\no\\such\\program.exe"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("\nkacutil env: KaTek(9): Command "), std::string::npos)
        << missing.output;
}

TEST_F(Kacutil, ProcessFamily) {
    KaTest::ChildProcess gentle = KaTest::ChildProcess::Start(L"wait-for-stop", {});
    ASSERT_TRUE(EventExists(kStopEvent));
    std::string pid = std::to_string(gentle.Pid());
    KaTest::KacutilResult ended = RunKacutil(
        {L"stop", std::to_wstring(gentle.Pid()), L"kacutil_test", L"--timeout", L"20000"});
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_EQ(ended.output, "process " + pid + " ended (0)\n");
    EXPECT_EQ(gentle.WaitForExit(10000), 0u);

    KaTest::ChildProcess stubborn = KaTest::ChildProcess::Start(L"idle", {});
    KaTest::KacutilResult terminated =
        RunKacutil({L"stop", std::to_wstring(stubborn.Pid()), L"nobody", L"--timeout", L"0"});
    EXPECT_EQ(terminated.exitCode, 0);
    EXPECT_EQ(terminated.output, "process " + std::to_string(stubborn.Pid()) + " terminated (1)\n");
    EXPECT_EQ(stubborn.WaitForExit(10000), 0u);

    ExpectFailure(RunKacutil({L"stop", L"0x7FFFFFF0", L"nobody"}), 1,
                  "kacutil stop: process 2147483632 cannot be opened or terminated (-1)");
    ExpectUsageError({L"stop", L"12a", L"nobody"}, "bad process id '12a'");
    ExpectUsageError({L"stop", L"12", L"nobody", L"--timeout", L"-2"},
                     "timeout out of range '-2' (-1 to 2147483647)");

    KaTest::KacutilResult noService = RunKacutil({L"service", L"KaTestNoSuchService", L"4"});
    EXPECT_EQ(noService.exitCode, 1);
    EXPECT_TRUE(StartsWith(noService.output, "kacutil service: cannot open the service "
                                             "KaTestNoSuchService: "))
        << noService.output;
    EXPECT_TRUE(EndsWith(noService.output, " (1060)\n")) << noService.output;
    ExpectUsageError({L"service", L"KaCtrl", L"sideways"}, "bad control code 'sideways'");

    KaTest::KacutilResult privilege = RunKacutil({L"privilege"});
    EXPECT_EQ(privilege.exitCode, 0);
    KaTest::KacutilResult admin = RunKacutil({L"admin"});
    EXPECT_EQ(admin.output, admin.exitCode == 0 ? "true\n" : "false\n");
    EXPECT_TRUE(admin.exitCode == 0 || admin.exitCode == 3) << admin.exitCode;
    KaTest::KacutilResult signal = RunKacutil({L"signal", L"SIGTERM"});
    EXPECT_EQ(signal.exitCode, 0);
    EXPECT_EQ(signal.output, "0\n");
    ExpectUsageError({L"signal"}, "missing argument (1 expected, 0 given)");
}

TEST_F(Kacutil, TextFamily) {
    KaTest::KacutilResult error = RunKacutil({L"error", L"0x2"});
    EXPECT_EQ(error.exitCode, 0);
    EXPECT_TRUE(EndsWith(error.output, " (2)\n")) << error.output;
    EXPECT_EQ(Lines(error.output).size(), 1u);
    ExpectUsageError({L"error", L"-1"}, "bad error code '-1'");
    ExpectUsageError({L"error", L"4294967296"}, "error code out of range '4294967296'");

    KaTest::KacutilResult time = RunKacutil({L"time"});
    EXPECT_EQ(time.exitCode, 0);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        time.output, match,
        std::regex(R"((\d+)\.\d{3}000  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} UTC\n)")))
        << time.output;
    long long seconds = std::stoll(match[1].str());
    long long now = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    EXPECT_LT(std::abs(seconds - now), 120);

    std::wstring logs = sandbox_.MakeDir(L"logs");
    for (const wchar_t* name : {L"logs\\a.log", L"logs\\b.txt", L"logs\\c.log"}) {
        sandbox_.WriteFile(name, "x");
    }
    KaTest::KacutilResult listed = RunKacutil({L"ls", logs, L".log"});
    EXPECT_EQ(listed.exitCode, 0);
    std::vector<std::string> files = Lines(listed.output);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{Utf8(logs) + "/a.log", Utf8(logs) + "/c.log"}));
    ExpectFailure(RunKacutil({L"ls", logs + L"\\missing", L".log"}), 1,
                  "kacutil ls: cannot list the directory '" + Utf8(logs) +
                      "\\missing' (logged to the control log)");
    ExpectUsageError({L"ls", logs}, "missing argument (2 expected, 1 given)");
}

TEST_F(Kacutil, VersionFamily) {
    KaTest::KacutilResult version = RunKacutil({L"version"});
    EXPECT_EQ(version.exitCode, 0) << version.output;
    std::vector<std::string> lines = Lines(version.output);
    ASSERT_GE(lines.size(), 20u) << version.output;
    EXPECT_TRUE(StartsWith(lines[0], "file                ")) << lines[0];
    EXPECT_TRUE(EndsWith(lines[0], "\\KaCtrlUtils.dll")) << lines[0];
    EXPECT_EQ(lines[1], "@(#)BegWS    :1.0");
    EXPECT_EQ(lines[5], "@(#)FileN    :KaCtrlUtils.dll");
    EXPECT_EQ(lines[17], "@(#)EndWS    :");
    EXPECT_TRUE(std::regex_match(lines[18], std::regex(R"(file version        \d+\.\d+\.\d+\.0)")))
        << lines[18];
    EXPECT_EQ(lines[19], "FileDescription     KaCtrl Utils library");
    auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("File Name           KaCtrlUtils.dll")) << version.output;
    EXPECT_TRUE(has("Release Type        Released")) << version.output;
    ExpectUsageError({L"version", L"--long"}, "unexpected argument '--long'");
}
