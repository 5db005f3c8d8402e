// kacutil run as a child on a sandbox installation: one table test per command family, each
// with a bad argument, checking the whole output and the exit code.
#include "ChildMode.h"
#include "KacutilRun.h"

#include "KaCtrlUtils.h"

#include <cstdio>
#include <ctime>

using namespace KaTest;

constexpr wchar_t kStopEvent[] = L"com.trelm.ka.t.stop";

// Child mode: ends when the stop event of the name "t" is signalled, as the agent's processes do.
static int WaitForStop(const std::vector<std::wstring>&) {
    KaHold::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    return ::WaitForSingleObject(stop.get(), 60000) == WAIT_OBJECT_0 ? 0 : 5;
}

static ChildMode waitForStopMode(L"wait-for-stop", WaitForStop);

// Child mode: output with a NUL inside, which must reach kacutil's output whole.
static ChildMode printNulMode(L"print-nul", [](const std::vector<std::wstring>&) {
    return std::fwrite("before\0after\n", 1, 13, stdout) == 13 ? 0 : 5;
});

class Kacutil : public ::testing::Test {
protected:
    Sandbox sandbox_;
};

// Configuration and environment commands read one settings file.
TEST_F(Kacutil, ConfigurationAndEnvironmentFamilies) {
    std::string data = Utf8(sandbox_.DataDir());
    std::string log = data + "/log";
    std::replace(log.begin(), log.end(), '\\', '/');
    sandbox_.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\tools\\sudo.exe -u agent\n"
                           "[sec.core]\nCORE_ID=core-4711\n"
                           "[ctrl.env]\nKA_T_LEVEL=2\nKA_T_LIST=C:\\a;c:/A\n"
                           "[ctrl.env.append]\nKA_T_LIST=C:\\b;C:\\a\nPATH=C:\\never\n"
                           "[ctrl.env.prepend]\nKA_T_LIST=D:\\first\n");
    ExpectKacutil({
        {{L"conf"},
         0,
         "configuration          " + data + "\\conf\\ctrl\\\ntemporary              " + data +
             "\\tmp\\\nsudo (ctrl.sudo)       C:\\tools\\sudo.exe -u agent\ncore id *core-4711\n"},
        {{L"dirs"},
         0,
         "*\n$KA_SUDO               C:/tools/sudo.exe -u agent\n*\n$LogDir *" + log + "\n*"},
        {{L"resolve", L"$LogDir\\System.txt"}, 0, log + "/System.txt\n"},
        {{L"bool", L"TRUE"}, 0, "true\n"},
        {{L"bool", L"False"}, 3, "false\n"},
        Failure({L"bool", L"yes"}, "KaCtrl(1): Not a boolean value 'yes'."),
        Usage({L"resolve"}, "missing argument (1 expected, 0 given)"),
        // The child's exit code, 7, is kacutil's.
        {{L"env", L"--append", L"cmd", L"/c", L"echo", L"%KA_T_LEVEL%", L"%KA_T_LIST%&exit", L"7"},
         7,
         "ctrl.env: KA_T_LEVEL=2\nctrl.env: KA_T_LIST=C:\\a;c:/A\n"
         "ctrl.env.append: KA_T_LIST=C:/a;C:/b\nlast value set: C:/a;C:/b\n"
         "running: cmd /c echo *\n2 C:/a;C:/b\n"},
        {{L"env", L"--prepend", L"cmd", L"/c", L"echo", L"%KA_T_LIST%"}, 0, "*\nD:/first;C:/a\n"},
        {{L"dedup", L" a ; A ;b;C:\\x;c:/X"}, 0, "a;b;C:/x\n"},
        Usage({L"env", L"--append", L"--"}, "no program given"),
        {{L"env", L"--", L"Z:\\no\\such\\program.exe"}, 1, "*\nkacutil env: KaTek(9): Command *"},
        {{L"env", L"--", ProgramDir() + L"tools_kacutil_test.exe", L"--ka-child", L"print-nul"},
         0,
         "*\nbefore\\0after\n"},
    });
}

TEST_F(Kacutil, ProcessFamily) {
    // Made here, the stop event is there (and stays signalled) however late the children start.
    KaHold::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    ChildProcess gentle = ChildProcess::Start(L"wait-for-stop", {});
    ChildProcess stubborn = ChildProcess::Start(L"wait-for-stop", {});
    bool admin = KaCtrl::RunningAsAdministrator();
    int debug = KaCtrl::SetDebugPrivilege(); // this process has kacutil's token
    ExpectKacutil({
        // "x" names another stop event, so stubborn can only be terminated.
        {{L"stop", std::to_wstring(stubborn.Pid()), L"x", L"--timeout", L"0"},
         0,
         "process " + std::to_string(stubborn.Pid()) + " terminated (1)\n"},
        {{L"stop", std::to_wstring(gentle.Pid()), L"t", L"--timeout", L"20000"},
         0,
         "process " + std::to_string(gentle.Pid()) + " ended (0)\n"},
        Usage({L"service", L"KaCtrl", L"sideways"}, "bad control code 'sideways'"),
        // Numbers past every integer type are out of range too.
        Usage({L"stop", L"99999999999999999999", L"x"}, "process id out of range '9*9'"),
        Usage({L"service", L"KaCtrl", L"0x10000000000000000"}, "control code out of range '0x1*0'"),
        Usage({L"stop", L"1", L"x", L"--timeout", L"-99999999999999999999"},
              "timeout out of range *"),
        debug == 0 ? KacutilCase{{L"privilege"}, 0, "SeDebugPrivilege enabled (0)\n"}
                   : Failure({L"privilege"}, "SeDebugPrivilege not enabled: * (64)"),
        {{L"admin"}, admin ? 0 : 3, admin ? "true\n" : "false\n"},
        {{L"signal", L"SIGTERM"}, 0, "0\n"},
    });
    // Both are really gone, not only reported so.
    EXPECT_EQ(gentle.WaitForExit(10000), 0u);
    EXPECT_EQ(stubborn.WaitForExit(10000), 0u);
}

TEST_F(Kacutil, HelpTextAndVersionFamilies) {
    std::string logs = Utf8(sandbox_.MakeDir(L"logs"));
    sandbox_.WriteFile(L"logs\\a.log", "x");
    // The seconds count from 1970, as the platform's clock does.
    std::string now = std::to_string(std::time(nullptr)).substr(0, 6);
    ExpectKacutil({
        {{L"--help"}, 0, "usage: kacutil COMMAND *exit codes:\n  0 *"},
        {{L"error", L"--help"}, 0, "usage: kacutil error CODE\n*exit codes: 0 printed*"},
        {{}, 2, "kacutil: no command given (kacutil --help)\n"},
        {{L"frobnicate"}, 2, "kacutil: unknown command 'frobnicate' (kacutil --help)\n"},
        {{L"time"}, 0, now + "%%%%.%%%000  %%%%-%%-%% %%:%%:%%.%%% UTC\n"},
        {{L"error", L"0x2"}, 0, "* (2)\n"},
        Usage({L"error", L"4294967296"}, "error code out of range '4294967296'"),
        {{L"ls", sandbox_.Root() + L"\\logs", L".log"}, 0, logs + "/a.log\n"},
        Failure({L"ls", sandbox_.Root() + L"\\logs\\missing", L".log"},
                "cannot list the directory '" + logs + "\\missing' (logged to the control log)"),
        {{L"version"},
         0,
         "file                *\\KaCtrlUtils.dll\n@(#)BegWS    :1.0\n*@(#)EndWS    :\n"
         "file version        %*.%*.%*.0\nFileDescription     KaCtrl Utils library\n*"},
        Usage({L"version", L"--long"}, "unexpected argument '--long'"),
    });
}
