// kacutil run as a child on a sandbox installation: one table test per command family, each
// with a bad argument, checking the whole output (standard output and error, byte for byte)
// and the exit code, and for a data command its --json answer too. The KacutilDaemon family
// asks the stand-in daemon installed as the service "KaCtrl" on port 80.
#include "AgentNames.h"
#include "Checks.h"
#include "ChildMode.h"
#include "Sandbox.h"
#include "Standin.h"

#include "StatusReport.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

using namespace KaTest;
using Kacutil::Json;

// Arguments, exit code, a pattern for Glob of the output ("\r\n" written "\n", a NUL as the
// two characters \0), and for a data command what its --json answer holds (null for none).
struct KacutilCase {
    std::vector<std::wstring> args;
    int exitCode;
    std::string pattern;
    Json json = nullptr;
};

// A failure is one line on standard error: what went wrong, exit code 1.
static KacutilCase Failure(const std::vector<std::wstring>& args, const std::string& what) {
    return {args, 1, "kacutil " + Utf8(args.front()) + ": " + what + "\n"};
}

// A usage error also names the command's help, exit code 2.
static KacutilCase Usage(const std::vector<std::wstring>& args, const std::string& what) {
    std::string name = Utf8(args.front());
    return {args, 2, "kacutil " + name + ": " + what + " (kacutil " + name + " --help)\n"};
}

// Runs kacutil with args; answers its exit code and its output as written, less each CR.
static int RunKacutil(const std::vector<std::wstring>& argv, std::string& output) {
    std::vector<KaTekStr::String_t> args(argv.begin(), argv.end());
    KaTekCmd::Command_t command(KaTekStr::String_t(ProgramDir() + L"kacutil.exe"), args);
    command.Start();
    command.Wait(60000);
    output.clear();
    for (char c : command.GetOutputBytes()) {
        output += c == '\0' ? std::string("\\0") : c == '\r' ? "" : std::string(1, c);
    }
    return static_cast<int>(command.GetExitCode());
}

// Expects document to hold every value of expected (of its objects, recursively), and each
// string, number and boolean of expected to show in the human output as well.
static void ExpectHolds(const Json& document, const Json& expected, const std::string& human) {
    if (expected.is_object()) {
        for (const auto& [key, value] : expected.items()) {
            EXPECT_TRUE(document.contains(key)) << key;
            ExpectHolds(document.contains(key) ? document[key] : Json(), value, human);
        }
        return;
    }
    EXPECT_EQ(document, expected);
    for (const Json& leaf : expected.is_array() ? expected : Json::array({expected})) {
        std::string text = leaf.is_string() ? leaf.get<std::string>() : leaf.dump();
        EXPECT_TRUE(leaf.is_null() || human.find(text) != std::string::npos) << text;
    }
}

// The --json run of a case: the one document, then only what standard error ends the human
// output with. The document goes to KA_JSON_OUT, for Python's own parser to read back.
static void ExpectJson(std::vector<std::wstring> argv, int exitCode, const Json& expected,
                       const std::string& human) {
    argv.insert(argv.begin() + 1, L"--json");
    std::string output;
    EXPECT_EQ(RunKacutil(argv, output), exitCode) << output;
    std::istringstream stream(output);
    Json document;
    ASSERT_NO_THROW(stream >> document) << output;
    size_t end = static_cast<size_t>(stream.tellg()), rest = output.size() - end - 1;
    EXPECT_TRUE(human.size() > rest && human.substr(human.size() - rest) == output.substr(end + 1));
    ExpectHolds(document, expected, human);
    static bool first = true; // the first document of the run starts the file anew
    if (const char* path = std::getenv("KA_JSON_OUT")) {
        std::ofstream(path, first ? std::ios::trunc : std::ios::app)
            << Json{{"document", output.substr(0, end)}, {"expected", expected}}.dump(-1, ' ', true)
            << "\n";
        first = false;
    }
}

// Runs and checks each case in turn.
static void ExpectKacutil(const std::vector<KacutilCase>& cases) {
    for (const auto& [argv, exitCode, pattern, json] : cases) {
        SCOPED_TRACE("expected output: " + pattern);
        std::string output;
        EXPECT_EQ(RunKacutil(argv, output), exitCode) << output;
        EXPECT_PRED2(Glob, pattern, output);
        if (!json.is_null()) {
            ExpectJson(argv, exitCode, json, output);
        }
    }
}

constexpr wchar_t kStopEvent[] = L"com.trelm.ka.t.stop";

// Child mode: ends when the stop event of the name "t" is signalled, as the agent's processes do.
static int WaitForStop(const std::vector<std::wstring>&) {
    KaHold::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    return ::WaitForSingleObject(stop.get(), 60000) == WAIT_OBJECT_0 ? 0 : 5;
}

static ChildMode waitForStopMode(L"wait-for-stop", WaitForStop);

// Child mode: output with a NUL and bytes of no one code page inside (0x95 0x5C is "表" in
// code page 932, 0xFF no UTF-8), which must reach kacutil's output as they are.
static ChildMode printBytesMode(L"print-bytes", [](const std::vector<std::wstring>&) {
    return std::fwrite("before\0\x95\x5C\xFF after\n", 1, 17, stdout) == 17 ? 0 : 5;
});

// Configuration and environment commands read one settings file.
TEST(KacutilTool, ConfigurationAndEnvironmentFamilies) {
    Sandbox sandbox;
    std::string data = Utf8(sandbox.DataDir());
    std::string log = data + "/log";
    std::replace(log.begin(), log.end(), '\\', '/');
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\tools\\sudo.exe -u agent\n"
                          "[sec.core]\nCORE_ID=core-4711\n"
                          "[ctrl.env]\nKA_T_LEVEL=2\nKA_T_LIST=C:\\a;c:/A\n"
                          "[ctrl.env.append]\nKA_T_LIST=C:\\b;C:\\a\nPATH=C:\\never\n"
                          "[ctrl.env.prepend]\nKA_T_LIST=D:\\first\n");
    ExpectKacutil({
        {{L"conf"},
         0,
         "configuration          " + data + "\\conf\\ctrl\\\ntemporary              " + data +
             "\\tmp\\\nsudo (ctrl.sudo)       C:\\tools\\sudo.exe -u agent\ncore id *core-4711\n",
         {{"sudo", "C:\\tools\\sudo.exe -u agent"}, {"coreId", "core-4711"}}},
        {{L"dirs"},
         0,
         "*\n$KA_SUDO               C:/tools/sudo.exe -u agent\n*\n$LogDir *" + log + "\n*",
         {{"kaSudo", "C:/tools/sudo.exe -u agent"}, {"logDir", log}}},
        // Redirected, every character is written exactly: double-byte ones, one outside the
        // Basic Multilingual Plane (a surrogate pair), one neither 1252 nor 932 holds.
        {{L"resolve", L"$LogDir\\用户\\Ж\\表ソ\U00020BB7"},
         0,
         log + "/用户/Ж/表ソ\U00020BB7\n",
         {{"resolved", log + "/用户/Ж/表ソ\U00020BB7"}}},
        // A surrogate without its pair has no UTF-8: refused, not replaced.
        Failure({L"resolve", L"C:\\\xD800"}, "the text holds a UTF-16 surrogate without its pair*"),
        {{L"bool", L"TRUE"}, 0, "true\n", {{"boolean", true}}},
        {{L"bool", L"False"}, 3, "false\n", {{"boolean", false}}},
        Failure({L"bool", L"yes"}, "KaCtrl(1): Not a boolean value 'yes'."),
        Usage({L"resolve"}, "missing argument (1 expected, 0 given)"),
        // The child's exit code, 7, is kacutil's; under --json its output follows on
        // standard error.
        {{L"env", L"--append", L"cmd", L"/c", L"echo", L"%KA_T_LEVEL%", L"%KA_T_LIST%&exit", L"7"},
         7,
         "ctrl.env: KA_T_LEVEL=2\nctrl.env: KA_T_LIST=C:\\a;c:/A\n"
         "ctrl.env.append: KA_T_LIST=C:/a;C:/b\nlast value set: C:/a;C:/b\n"
         "running: cmd /c echo *\n2 C:/a;C:/b\n",
         {{"ctrlEnv", {{"KA_T_LEVEL", "2"}, {"KA_T_LIST", "C:\\a;c:/A"}}},
          {"ctrlEnvAppend", {{"KA_T_LIST", "C:/a;C:/b"}}},
          {"lastValueSet", "C:/a;C:/b"}}},
        {{L"env", L"--prepend", L"cmd", L"/c", L"echo", L"%KA_T_LIST%"}, 0, "*\nD:/first;C:/a\n"},
        {{L"dedup", L" a ; A ;b;C:\\x;c:/X"}, 0, "a;b;C:/x\n", {{"list", "a;b;C:/x"}}},
        Usage({L"env", L"--append", L"--"}, "no program given"),
        {{L"env", L"--", L"Z:\\no\\such\\program.exe"}, 1, "*\nkacutil env: KaTek(9): Command *"},
        {{L"env", L"--", KaTest::ProgramPath(), L"--ka-child", L"print-bytes"},
         0,
         "*\nbefore\\0\x95\x5C\xFF after\n"},
    });
}

TEST(KacutilTool, ProcessFamily) {
    Sandbox sandbox;
    // Made here, the stop event is there (and stays signalled) however late the children start.
    KaHold::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, kStopEvent));
    ChildProcess gentle = ChildProcess::Start(L"wait-for-stop", {});
    ChildProcess stubborn = ChildProcess::Start(L"wait-for-stop", {});
    bool admin = KaCtrl::RunningAsAdministrator();
    int debug = KaCtrl::SetDebugPrivilege(); // this process has kacutil's token
    ExpectKacutil({
        // "x" names another stop event, so stubborn can only be terminated, at once whatever
        // the time-out; the time-outs are the range's ends, -1 waiting without limit.
        {{L"stop", std::to_wstring(stubborn.Pid()), L"x", L"--timeout", L"2147483647"},
         0,
         "process " + std::to_string(stubborn.Pid()) + " terminated (1)\n"},
        {{L"stop", std::to_wstring(gentle.Pid()), L"t", L"--timeout", L"-1"},
         0,
         "process " + std::to_string(gentle.Pid()) + " ended (0)\n"},
        Usage({L"service", L"KaCtrl", L"sideways"}, "bad control code 'sideways'"),
        // Numbers past every integer type are out of range too.
        Usage({L"stop", L"99999999999999999999", L"x"}, "process id out of range '9*9'"),
        Usage({L"service", L"KaCtrl", L"0x10000000000000000"}, "control code out of range '0x1*0'"),
        Usage({L"stop", L"1", L"x", L"--timeout", L"-99999999999999999999"},
              "timeout out of range *"),
        // One past each end of the range, which is not symmetric.
        Usage({L"stop", L"1", L"x", L"--timeout", L"-2"},
              "timeout out of range '-2' (-1 to 2147483647)"),
        Usage({L"stop", L"1", L"x", L"--timeout", L"2147483648"},
              "timeout out of range '2147483648' (-1 to 2147483647)"),
        // No code page carries a surrogate without its pair; the message shows it escaped.
        Usage({L"service", L"Ka\xDC00", L"stop"},
              "service name 'Ka\\uDC00' cannot be given in the ANSI code page *"),
        debug == 0 ? KacutilCase{{L"privilege"}, 0, "SeDebugPrivilege enabled (0)\n"}
                   : Failure({L"privilege"}, "SeDebugPrivilege not enabled: * (64)"),
        {{L"admin"}, admin ? 0 : 3, admin ? "true\n" : "false\n", {{"administrator", admin}}},
        {{L"signal", L"SIGTERM"}, 0, "0\n", {{"signal", 0}}},
    });
    // Both are really gone, not only reported so.
    EXPECT_EQ(gentle.WaitForExit(10000), 0u);
    EXPECT_EQ(stubborn.WaitForExit(10000), 0u);
}

TEST(KacutilTool, HelpTextAndVersionFamilies) {
    Sandbox sandbox;
    std::string logs = Utf8(sandbox.MakeDir(L"logs"));
    sandbox.WriteFile(L"logs\\a.log", "x");
    sandbox.WriteFile(L"logs\\a表", "x");
    sandbox.WriteFile(L"logs\\bソ", "x");
    // The seconds count from 1970, as the platform's clock does.
    std::string now = std::to_string(std::time(nullptr)).substr(0, 6);
    std::vector<KacutilCase> cases = {
        {{L"--help"}, 0, "usage: kacutil COMMAND *exit codes:\n  0 *is\n  UTF-8 without*"},
        {{L"error", L"--help"}, 0, "usage: kacutil error CODE [--json]\n*exit codes: 0 *"},
        {{}, 2, "kacutil: no command given (kacutil --help)\n"},
        {{L"frobnicate"}, 2, "kacutil: unknown command 'frobnicate' (kacutil --help)\n"},
        {{L"time"}, 0, now + "%%%%.%%%000  %%%%-%%-%% %%:%%:%%.%%% UTC\n", Json::object()},
        {{L"error", L"0x2"}, 0, "* (2)\n", {{"code", 2}}},
        Usage({L"error", L"4294967296"}, "error code out of range '4294967296'"),
        {{L"ls", sandbox.Root() + L"\\logs", L".log"},
         0,
         logs + "/a.log\n",
         {{"entries", Json::array({logs + "/a.log"})}}},
        Failure({L"ls", sandbox.Root() + L"\\logs\\missing", L".log"},
                "cannot list the directory '" + logs + "\\missing' (logged to the control log)"),
        {{L"version"},
         0,
         "file                *\\KaCtrlUtils.dll\n@(#)BegWS    :1.0\n*@(#)EndWS    :\n"
         "file version        %*.%*.%*.0\nFileDescription     KaCtrl Utils library\n*",
         {{"strings", {{"fileDescription", "KaCtrl Utils library"}, {"osPlatform", "Windows"}}}}},
        Usage({L"version", L"--long"}, "unexpected argument '--long'"),
    };
    // "表" (0x95 0x5C in code page 932, a backslash its trail byte) reaches the library in the
    // code pages 932 and UTF-8; 1252 cannot carry it.
    const std::vector<std::wstring> ls = {L"ls", sandbox.Root() + L"\\logs", L"表"};
    cases.push_back(
        ::GetACP() == 1252
            ? Usage(ls, "suffix '表' cannot be given in the ANSI code*")
            : KacutilCase{ls, 0, logs + "/a表\n", {{"entries", Json::array({logs + "/a表"})}}});
    ExpectKacutil(cases);
}

// The status facts as the table, the answer lines and the JSON document show them, for the
// facts the stand-in cannot make: a service that may not be opened, a state the platform does
// not define.
TEST(KacutilStatusReport, EveryFactRendered) {
    using Kacutil::ServiceFound;
    struct Case {
        Kacutil::DaemonFacts facts;
        Kacutil::DaemonAnswers answers;
        const char* pattern; // the rows below the heading, cells between "|", then the lines
        Json json;
    };
    const std::vector<Case> cases = {
        {{{ServiceFound::Denied}, {true, "KaCtrlMutexObject"}},
         {63, false, std::nullopt},
         "KaCtrl|*|no access|-\nmutex|KaCtrlMutexObject|present|-\nStatus   63: not active*"
         "\nAddress  (none)\nNote     the library asks for the mutex only when it can open*",
         {{"service", {{"state", "no access"}, {"pid", nullptr}}}, {"address", nullptr}}},
        {{{ServiceFound::Queried, 9, 4711}, {false, "KaCtrlMutexObject"}},
         {62, true, "http://x/"},
         "KaCtrl|*|state 9|4711\n*|absent|-\nStatus   62: active, no answer at the port-file "
         "address\nRunning  true: the server answers at the default address\nAddress  http://x/\n",
         {{"service", {{"state", "state 9"}, {"pid", 4711}}},
          {"running", true},
          {"note", nullptr}}},
    };
    for (const auto& [facts, answers, pattern, json] : cases) {
        std::vector<Kacutil::TableRow> rows = Kacutil::RenderStatusTable(facts);
        std::string shown;
        for (size_t i = 1; i < rows.size(); ++i) {
            shown += rows[i][0] + "|" + rows[i][1] + "|" + rows[i][2] + "|" + rows[i][3] + "\n";
        }
        for (const std::string& line : Kacutil::RenderAnswerLines(answers, facts)) {
            shown += line + "\n";
        }
        EXPECT_PRED2(Glob, pattern, shown);
        ExpectHolds(Kacutil::RenderStatusJson(answers, facts), json, shown);
    }
}

// Text that is not UTF-8 (a lone surrogate as an encoder that lets it through writes it, a
// cut sequence) is refused whole, never written altered.
TEST(KacutilJson, InvalidTextRefused) {
    EXPECT_THROW(Kacutil::RenderJson({{"a", "C:\xED\xA0\x80"}}), Json::type_error);
    EXPECT_THROW(Kacutil::RenderJson({{"a", "\xE8\xA1"}}), Json::type_error);
}

// kacutil status, uri and service against the stand-in daemon installed as the service
// "KaCtrl": the exit code is the status code, and the address is the published one (the
// address without a port file is judged by status_test).
TEST(KacutilDaemon, StatusFamily) {
    const std::string path = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kac:KacdStatus xmlns:kac=\"urn:trelm:kac\">";
    RunStandin({L"remove"});
    Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    sandbox.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=1000\nRECEIVE_TIMEOUT=1000\n");
    {
        // Without the service, a mutex where a service's would be: the table shows it, and
        // that the library does not count it. The table leaves the address to the XML.
        KaHold::unique_handle mutex(::CreateMutexW(
            nullptr, FALSE,
            (KaAgent::kGlobalNamespaceW + std::wstring(KaAgent::kMutexNameW)).c_str()));
        ExpectKacutil({
            {{L"status"},
             63,
             "Name       Description                        State       PID     \n"
             "KaCtrl     service of the control daemon kacd absent      -       \n"
             "mutex      Global\\KaCtrlMutexObject           present     -       \n\n"
             "Status   63: not active*\nRunning  false: *\nAddress  http://localhost/*\n"
             "Note     the library asks for the mutex only when it can open the service\n",
             {{"service", {{"state", "absent"}, {"pid", nullptr}}},
              {"mutex", {{"name", "Global\\KaCtrlMutexObject"}, {"state", "present"}}},
              {"status", 63}}},
            {{L"status", L"--xml"},
             63,
             xml + "<kac:StatusCode>63</kac:StatusCode>*<kac:Running>false</kac:Running>" +
                 "<kac:Address>http://localhost" + path + "</kac:Address></kac:KacdStatus>\n"},
            Usage({L"status", L"--xml", L"--json"}, "--xml and --json exclude each other"),
        });
    }
    std::wstring portFile = sandbox.DataDir() + L"\\tmp\\" + KaAgent::kPortFileNameW;
    StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
    ASSERT_TRUE(service.Control(L"start"));
    const std::string port = ReadBytes(portFile), // four bytes, least significant first
        address =
            "http://localhost:" + std::to_string(uint8_t(port.at(0)) | uint8_t(port.at(1)) << 8) +
            path;
    ExpectKacutil({
        {{L"status"},
         0,
         "Name *\nKaCtrl     service of the control daemon kacd running     %*\n"
         "mutex      KaCtrlMutexObject                  present     -       \n\n"
         "Status   0: active, *\nRunning  true: *\nAddress  " +
             address + "\n",
         {{"mutex", {{"name", "KaCtrlMutexObject"}}}, {"running", true}, {"note", nullptr}}},
        {{L"status", L"--xml"}, 0, "*<kac:Running>true</kac:Running>*"},
        {{L"uri"}, 0, address + "\n", {{"address", address}}},
        {{L"service", L"KaCtrl", L"2"}, 0, "control 2 sent to the service KaCtrl\n"},
        // The paused daemon keeps its mutex, which alone counts as active.
        {{L"status"}, 0, "*kacd paused *\nStatus   0: *", {{"service", {{"state", "paused"}}}}},
        // The stand-in accepts no parameter change.
        Failure({L"service", L"KaCtrl", L"6"}, "the service KaCtrl refused control 6: *"),
    });
    // 70000 is no port: the address refuses it, and the status call throws before any answer.
    sandbox.WriteFile(L"data\\tmp\\" + std::wstring(KaAgent::kPortFileNameW),
                      std::string("\x70\x11\x01\x00", 4));
    ExpectKacutil({
        {{L"status"},
         1,
         "*\nkacutil status: KaTek(7): Not a*",
         {{"status", nullptr}, {"address", nullptr}}},
        {{L"status", L"--xml"},
         1,
         xml + "<kac:Failure><kac:CatalogID>KaTek</kac:CatalogID>" +
             "<kac:MsgNumber>7</kac:MsgNumber></kac:Failure>*"},
    });
}
