// kacutil run as a child on a sandbox installation: one table test per command family, each
// with a bad argument, checking the whole output (standard output and error) and the exit
// code. The KacutilDaemon family needs the stand-in daemon installed as the service "KaCtrl"
// and port 80, so it runs as a CTest entry of its own (see CMakeLists.txt).
#include "ChildMode.h"
#include "Sandbox.h"
#include "Standin.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <tuple>

using namespace KaTest;

// '*' stands for any text (line ends too), '%' for one digit, any other character for itself.
static bool Glob(const char* pattern, const char* text) {
    if (*pattern == '*') {
        return Glob(pattern + 1, text) || (*text != '\0' && Glob(pattern, text + 1));
    }
    bool same = *pattern == '%' ? *text >= '0' && *text <= '9' : *pattern == *text;
    return *pattern == '\0' ? *text == '\0' : same && Glob(pattern + 1, text + 1);
}

// Arguments, exit code, and a pattern for Glob of the output, "\r\n" written "\n" and a
// NUL as the two characters \0.
using KacutilCase = std::tuple<std::vector<std::wstring>, int, std::string>;

// A failure is one line on standard error: what went wrong, exit code 1.
static KacutilCase Failure(const std::vector<std::wstring>& args, const std::string& what) {
    return {args, 1, "kacutil " + Utf8(args.front()) + ": " + what + "\n"};
}

// A usage error also names the command's help, exit code 2.
static KacutilCase Usage(const std::vector<std::wstring>& args, const std::string& what) {
    std::string name = Utf8(args.front());
    return {args, 2, "kacutil " + name + ": " + what + " (kacutil " + name + " --help)\n"};
}

// Runs and checks each case in turn.
static void ExpectKacutil(const std::vector<KacutilCase>& cases) {
    for (const auto& [argv, exitCode, pattern] : cases) {
        SCOPED_TRACE("expected output: " + pattern);
        std::vector<KaTekStr::String_t> args(argv.begin(), argv.end());
        KaTekCmd::Command_t command(KaTekStr::String_t(ProgramDir() + L"kacutil.exe"), args);
        command.Start();
        command.Wait(60000);
        std::string output;
        for (char c : Utf8(command.GetOutput().Std())) {
            output += c == '\0' ? std::string("\\0") : c == '\r' ? "" : std::string(1, c);
        }
        EXPECT_EQ(static_cast<int>(command.GetExitCode()), exitCode) << output;
        EXPECT_TRUE(Glob(pattern.c_str(), output.c_str())) << output;
    }
}

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

// kacutil status, uri and service against the stand-in daemon installed as the service
// "KaCtrl": the exit code is the status code, and the address is the published one.
TEST(KacutilDaemon, StatusFamily) {
    const std::string path = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kac:KacdStatus xmlns:kac=\"urn:trelm:kac\">";
    RunStandin({L"remove"});
    Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    sandbox.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=1000\nRECEIVE_TIMEOUT=1000\n");
    // Without the daemon. The table leaves the address to the XML and uri rows.
    ExpectKacutil({
        {{L"status"},
         63,
         "Name       Description                        State       PID     \n"
         "KaCtrl     service of the control daemon kacd absent      -       \n"
         "mutex      KaCtrlMutexObject                  absent      -       \n\n"
         "Status   63: not active*\nRunning  false: *\nAddress  http://localhost/*\n"},
        {{L"status", L"--xml"},
         63,
         xml + "<kac:StatusCode>63</kac:StatusCode>*<kac:Running>false</kac:Running>" +
             "<kac:Address>http://localhost" + path + "</kac:Address></kac:KacdStatus>\n"},
        {{L"uri"}, 0, "http://localhost" + path + "\n"},
        Usage({L"status", L"--json"}, "unexpected argument '--json'"),
    });
    std::wstring portFile = sandbox.DataDir() + L"\\tmp\\kacd.port";
    StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
    ASSERT_TRUE(service.Control(L"start"));
    uint32_t port = 0; // four bytes, lowest first, as this platform stores them
    std::ifstream(std::filesystem::path(portFile), std::ios::binary)
        .read(reinterpret_cast<char*>(&port), 4);
    ExpectKacutil({
        {{L"status"},
         0,
         "Name *\nKaCtrl     service of the control daemon kacd running     %*\n"
         "mutex      KaCtrlMutexObject                  present     -       \n\n"
         "Status   0: active, *\nRunning  true: *\nAddress  "
         "http://localhost:%*/lnkrpcserver\n"},
        {{L"status", L"--xml"}, 0, "*<kac:Running>true</kac:Running>*"},
        {{L"uri"}, 0, "http://localhost:" + std::to_string(port) + path + "\n"},
        {{L"service", L"KaCtrl", L"2"}, 0, "control 2 sent to the service KaCtrl\n"},
        // The paused daemon keeps its mutex, which alone counts as active.
        {{L"status"}, 0, "*kacd paused *\nStatus   0: *"},
        // The stand-in accepts no parameter change.
        Failure({L"service", L"KaCtrl", L"6"}, "the service KaCtrl refused control 6: *"),
    });
    // 70000 is no port: the address refuses it, and the status call throws before any answer.
    sandbox.WriteFile(L"data\\tmp\\kacd.port", std::string("\x70\x11\x01\x00", 4));
    ExpectKacutil({
        {{L"status"}, 1, "*\nkacutil status: KaTek(7): Not a*"},
        {{L"status", L"--xml"},
         1,
         xml + "<kac:Failure><kac:CatalogID>KaTek</kac:CatalogID>" +
             "<kac:MsgNumber>7</kac:MsgNumber></kac:Failure>*"},
    });
}
