// KaTek against the real system: the settings file, the agent's directories, the port-file
// format, directory listing and tracing in a sandbox installation named through the
// environment, and child commands (this program in child mode "report").
#include "ChildMode.h"
#include "KaTekTest.h"
#include "Sandbox.h"

#include <stdlib.h>

#include <map>
#include <regex>
#include <set>

using namespace KaTekStr;
using namespace KaTekConfig;
using namespace KaTekRuntime;
using namespace KaTekIo;
using namespace KaTekTrc;
using KaTekCmd::Command_t;
using KaTekMsg::RuntimeError_t;
using KaTest::Utf8;
using namespace std::string_literals;

namespace {

// All attributes of a set in index order, as "K=V|L=W".
std::string AttributesOf(const Configuration_t& config) {
    std::string pairs;
    String_t name, value;
    for (int i = 0; config.GetAttr(i, name, value); ++i) {
        pairs += (i ? "|" : "") + NarrowUtf8(name.Std()) + "=" + NarrowUtf8(value.Std());
    }
    EXPECT_FALSE(config.GetAttr(-1, name, value));
    return pairs + (config.GetAttr(config.GetAttrCount(), name, value) ? "|past the end" : "");
}

// A malformed line must raise an error that leads a reader to the exact place: the file's
// path and the line number ("line N" expected).
TEST(KaTekConfig, ParsesTheSettingsFile) {
    KaTest::Sandbox sandbox;
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"[lnk.http]\nZ=1\nA=2\nM=3\n", "lnk.http", "Z=1|A=2|M=3"}, // file order
        {"[lnk.http]\nA=1\n", "ctrl.env", ""},                      // absent namespace
        {"; top\n# also\n\n[a]\n  ; indented\nK=V\n\t\n#K=W\n", "a", "K=V"},
        {"\xEF\xBB\xBF[a]\nK=V\n", "a", "K=V"},             // byte-order mark
        {"[a]\r\nK=V\r\nL=W\r\n", "a", "K=V|L=W"},          // CRLF
        {"[a]\nK=V", "a", "K=V"},                           // no final line end
        {"[a]\nK=1\n[b]\nX=9\n[a]\nL=2\n", "a", "K=1|L=2"}, // a repeated section accumulates
        {"[a]\nK=1\nL=2\nK=3\n", "a", "K=3|L=2"},           // a repeated key keeps its place
        {"[a]\nK= \"q\" ;no comment \nE=\nQ=a=b\n", "a", "K= \"q\" ;no comment |E=|Q=a=b"},
        {"  [ a ]  \n  K  =v\n", "a", "K=v"}, // names trimmed
        {"[A]\nK=1\n[a]\nK=2\n", "a", "K=2"}, // section names exact
        {"[a]\nK=\xC3\xA9\xE4\xB8\xAD\n", "a", "K=\xC3\xA9\xE4\xB8\xAD"},
        {"[a]\nK=V\njust words\n", "a", "line 3"},
        {"K=V\n[a]\n", "a", "line 1"}, // an attribute before any section
        {"[a]\r\n\r\n[broken\r\n", "a", "line 3"},
        {"[a]\n[]\n", "a", "line 2"},
        {"[a]\n=value\n", "a", "line 2"},
        {"[other]\nK=V\n[x] trailing\n", "a", "line 3"}, // outside the namespace asked for
    };
    for (const auto& [file, ns, expected] : cases) {
        sandbox.WriteSettings(file);
        std::string got;
        const std::string error =
            Thrown([&, ns = ns] { got = AttributesOf(ConfigNamespace_t(ns).Open()); });
        if (Contains(expected, "line ")) {
            EXPECT_PRED2(Contains, error, Utf8(sandbox.SettingsFile()) + "', " + expected);
        } else {
            EXPECT_EQ(expected, got) << file << error;
        }
    }
}

// The file lies in the configuration directory unless KA_CONFIG_FILE names another; it is
// read afresh on every Open, and changes to an opened set stay in the set.
TEST(KaTekConfig, FileLocationAbsenceAndChanges) {
    KaTest::Sandbox sandbox;
    KaTest::SetEnv(L"KA_CONFIG_FILE", sandbox.Root() + L"\\nowhere\\KaAgent.ini");
    EXPECT_EQ(0, ConfigNamespace_t("a").Open().GetAttrCount());
    const std::wstring dir = sandbox.MakeDir(L"a-directory.ini"); // cannot be read as a file
    KaTest::SetEnv(L"KA_CONFIG_FILE", dir);
    EXPECT_PRED2(Contains, Thrown([] { ConfigNamespace_t("a").Open(); }), Utf8(dir));
    KaTest::SetEnv(L"KA_CONFIG_FILE", L"");
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\config\\KaAgent.ini"), SettingsFilePath());
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=1\nLATIN=\xC3\xA9\n");
    Configuration_t config = ConfigNamespace_t("a").Open();
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=2\n");
    EXPECT_EQ(std::string("1"), config.GetAttrValue("K").GetData());
    EXPECT_TRUE(config.GetAttrValue("k").IsNull()); // keys match exactly
    if (GetACP() == 1252) {
        EXPECT_EQ(std::string("\xE9"), config.GetAttrValue("LATIN").GetData()); // ANSI form
    }
    config.SetAttrValue("APP_NAME", "kac");
    config.SetAttrValue("K", "3");
    EXPECT_EQ("K=3|LATIN=\xC3\xA9|APP_NAME=kac", AttributesOf(config));
    EXPECT_EQ("K=2", AttributesOf(ConfigNamespace_t("a").Open())) << "read afresh, not changed";
}

// Every key the callers' tables use, by number, with its directory below the installation
// (I) or the data directory (D), or the current (C) or the system's temporary one (T).
TEST(KaTekDir, EveryKeyUnderTheSandbox) {
    KaTest::Sandbox sandbox;
    wchar_t current[MAX_PATH + 1] = {}, temp[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, current);
    GetTempPathW(MAX_PATH + 1, temp);
    const std::map<wchar_t, std::wstring> bases = {
        {L'I', sandbox.InstallDir()}, {L'D', sandbox.DataDir()}, {L'C', current}, {L'T', temp}};
    std::wistringstream table(L"0 I\\bin 2 C 3 D 6 D\\config 10 I\\instrumentation 11 D\\log "
                              L"14 D\\temp 19 I 20 I\\java 21 I\\lbin 22 I\\lib 25 I\\misc "
                              L"28 I\\nonKA 35 T 39 D\\user");
    int keys = 0;
    std::wstring where;
    for (int key; table >> key >> where; ++keys) {
        const String_t expected(bases.at(where[0]) + where.substr(1));
        EXPECT_EQ(expected, Dir_t::Path(static_cast<DirKey_e>(key), String_t::Null())) << key;
        EXPECT_EQ(expected, Dir_t::Path(static_cast<DirKey_e>(key), String_t(""))) << key;
    }
    EXPECT_EQ(15, keys);
    // The system's temporary directory keeps its separator, and a sub-path adds no second.
    EXPECT_EQ(String_t(temp + std::wstring(L"x")), Dir_t::Path(DIR_SYSTEM_TMP, String_t("x")));
    for (int key : {1, 4, 5, 7, 12, 13, 15, 18, 23, 36, 38, 40, 63}) {
        EXPECT_THROW(Dir_t::Path(static_cast<DirKey_e>(key), String_t()), RuntimeError_t) << key;
    }
}

// Bases as given or by default, sub-paths joined below them with backslashes; a base that
// is not absolute (nullptr expected) throws naming its variable, the other base unaffected.
TEST(KaTekDir, JoinsBasesAndSubPaths) {
    KaTest::Sandbox sandbox;
    const std::tuple<const wchar_t*, const char*, const wchar_t*> cases[] = {
        {L"D:\\Agent\\", nullptr, L"D:\\Agent\\bin"}, // trailing separator dropped
        {L"D:\\", nullptr, L"D:\\bin"},               // a drive root keeps its separator
        {L"", nullptr, L"C:\\Program Files\\Trelm\\KaAgent\\bin"}, // unset: the default
        {L"D:\\A", "a/b/c.txt", L"D:\\A\\bin\\a\\b\\c.txt"},
        {L"\\\\server\\share", "/lead/trail/", L"\\\\server\\share\\bin\\lead\\trail\\"},
        {L"relative\\dir", nullptr, nullptr},
        {L"\\rooted", nullptr, nullptr},
    };
    for (const auto& [install, sub, expected] : cases) {
        KaTest::SetEnv(L"KA_INSTALL_DIR", install);
        String_t got;
        const std::string error =
            Thrown([&, sub = sub] { got = Dir_t::Path(DIR_KA_BIN, String_t(sub)); });
        EXPECT_EQ(String_t(expected ? expected : L""), got) << Utf8(install);
        EXPECT_EQ(expected == nullptr, Contains(error, "KA_INSTALL_DIR")) << error;
        EXPECT_EQ(String_t(sandbox.DataDir()), Dir_t::Path(DIR_DATA, String_t()));
    }
    KaTest::SetEnv(L"KA_DATA_DIR", L"");
    EXPECT_EQ(String_t("C:\\ProgramData\\Trelm\\KaAgent\\temp"),
              Dir_t::Path(DIR_KA_TMP, String_t()));
    ASSERT_EQ(0, _putenv_s("KA_DATA_DIR", "E:\\viaputenv")); // as the library's callers set it
    EXPECT_EQ(String_t("E:\\viaputenv\\log"), Dir_t::Path(DIR_LOG, String_t()));
}

// The port file as the daemon writes it: four bytes, least significant first.
TEST(KaTekIo, ReadUInt32IsLittleEndianAndNeedsFourBytes) {
    KaTest::Sandbox sandbox;
    const std::wstring two = sandbox.WriteFile(L"two.port", "\x90\x1F");
    FileInputStream_t twoBytes{String_t(two)};
    EXPECT_PRED2(Contains, Thrown([&] { DataInputStream_t(twoBytes).ReadUInt32(); }), Utf8(two));
    const std::wstring path = sandbox.WriteFile(L"kacd.port", "\x90\x1F\0\0\x01\x02\x03\x04\x05"s);
    FileInputStream_t file{String_t(path)};
    DataInputStream_t data(file);
    EXPECT_EQ(8080u, data.ReadUInt32());
    EXPECT_EQ(0x04030201u, data.ReadUInt32());
    EXPECT_THROW(data.ReadUInt32(), RuntimeError_t);
    // An open stream must not stop the daemon from replacing the port file.
    EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
    data.Close();
    EXPECT_THROW(data.ReadUInt32(), RuntimeError_t);
}

// The names in dir that end in suffix, sorted, each followed by a blank.
std::string ListAll(const std::wstring& dir, const char* suffix) {
    DirLister_t lister(File_t(String_t(dir)), DirLister_t::Filter_t().Suffix(String_t(suffix)));
    std::set<std::string> names;
    for (; !lister.IsAtEnd(); lister.Next()) {
        names.insert(NarrowUtf8(lister.GetCurrentName().Std()));
    }
    EXPECT_FALSE(lister.Next());
    std::string joined;
    for (const std::string& name : names) {
        joined += name + " ";
    }
    return joined;
}

TEST(KaTekIo, ListsWithSuffixFilter) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.MakeDir(L"list");
    for (const wchar_t* name : {L"a.log", L"c.LOG", L"d.log.old", L"sub.log\\deep.log"}) {
        sandbox.WriteFile(L"list\\"s + name, "x");
    }
    EXPECT_EQ("a.log sub.log ", ListAll(dir, ".log")); // case counts; directories count
    EXPECT_EQ("a.log sub.log ", ListAll(dir + L"\\", ".log"));
    EXPECT_EQ("a.log c.LOG d.log.old sub.log ", ListAll(dir, ""));
    EXPECT_EQ("", ListAll(sandbox.MakeDir(L"empty"), ""));
}

TEST(KaTekIo, FailuresNameThePath) {
    KaTest::Sandbox sandbox;
    const std::wstring missing = sandbox.Root() + L"\\no-such\\kacd.port";
    const std::wstring dir = sandbox.MakeDir(L"a-dir"), file = sandbox.WriteFile(L"file", "x");
    for (const std::wstring& path : {missing, dir}) {
        EXPECT_PRED2(Contains, Thrown([&] { FileInputStream_t in{String_t(path)}; }), Utf8(path));
    }
    for (const std::wstring& path : {missing, file, sandbox.Root() + L"\\no-such"}) {
        EXPECT_PRED2(Contains, Thrown([&] { ListAll(path, ""); }), Utf8(path));
    }
    EXPECT_THROW(ListAll(L"", ""), RuntimeError_t);
}

TEST(KaTekTrace, SettingsDecideWhatIsTraced) {
    const std::tuple<std::string, const char*, bool, uint32_t> cases[] = {
        {"AREAS= tek.io , ctrl.utils \nLEVEL=17\n", "ctrl.utils", true, 17},
        {"AREAS=*\n", "any.area", true, 0xFFFFFFFF}, // every area, every level
        {"AREAS=a\nLEVEL=0XFFFFFFFF\n", "a", true, 0xFFFFFFFF},
        {"AREAS=ctrl\n", "ctrl.utils", false, 0}, // a prefix is no match
        {"AREAS=ctrl.utils.x\n", "ctrl.utils", false, 0},
        {"LEVEL=1\n", "ctrl.utils", false, 0},
        {"AREAS=a\nLEVEL=4294967296\n", "a", false, 0}, // not a 32-bit mask
        {"AREAS=a\nLEVEL=-1\n", "a", false, 0},
        {"not a setting\n", "a", false, 0}, // an unreadable file
    };
    KaTest::Sandbox sandbox;
    for (const auto& [section, area, attached, mask] : cases) {
        // Another namespace tracing everything must not count.
        sandbox.WriteSettings("[other]\nAREAS=*\n[tek.trace]\n" + section);
        TraceWrapper_t wrapper(area, 2);
        EXPECT_NO_THROW(wrapper.InitObject());
        ASSERT_EQ(attached, wrapper.HasObject()) << section;
        if (attached) {
            EXPECT_EQ(mask, static_cast<TraceObj_t&>(wrapper).GetLevelMask()) << section;
        }
    }
}

// A wrapper left without an object tries again on the next InitObject; once attached, it
// keeps its object.
TEST(KaTekTrace, AttachesOnceWhenConfigured) {
    KaTest::Sandbox sandbox;
    TraceWrapper_t wrapper("ctrl.utils", 2);
    wrapper.InitObject();
    EXPECT_FALSE(wrapper.HasObject());
    sandbox.WriteSettings("[tek.trace]\nAREAS=ctrl.utils\nLEVEL=1\n");
    wrapper.InitObject();
    ASSERT_TRUE(wrapper.HasObject());
    TraceObj_t& attached = wrapper;
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\log\\trace.log"), attached.GetFile());
    sandbox.WriteSettings("[tek.trace]\nAREAS=*\nLEVEL=2\n");
    wrapper.InitObject();
    EXPECT_EQ(&attached, &static_cast<TraceObj_t&>(wrapper));
    EXPECT_EQ(1u, attached.GetLevelMask());
}

TEST(KaTekTrace, DoTraceAppendsOneLinePerCallAndNeverThrows) {
    KaTest::Sandbox sandbox;
    const std::wstring file = sandbox.WriteFile(L"trace.log", "earlier line\r\n");
    const TraceObj_t trace("ctrl.utils", 1, String_t(file));
    trace.DoTrace(1, String_t(L"Append returns \u00E9"), "../Utils", 42);
    trace.DoTrace(4, String_t("second\r\nrecord"), "src/x.cpp", 7);
    const std::string head = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )" +
                             std::to_string(GetCurrentThreadId()) + R"( ctrl\.utils )";
    const std::string written = ReadBytes(file);
    EXPECT_TRUE(
        std::regex_match(written, std::regex("earlier line\r\n" + head +
                                             "1 Append returns \xC3\xA9 \\(\\.\\./Utils:42\\)\r\n" +
                                             head + "4 second  record \\(src/x\\.cpp:7\\)\r\n")))
        << written;
    const std::wstring missing = sandbox.Root() + L"\\missing\\dir\\trace.log";
    for (const std::wstring& target : {sandbox.MakeDir(L"a-directory"), missing, std::wstring()}) {
        EXPECT_NO_THROW(TraceObj_t("area", 1, String_t(target)).DoTrace(1, String_t("t"), "f", 1));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(missing.c_str()));
}

// Child commands.

constexpr uint32_t kPatientMs = 120000; // generous: the machine is shared and Wine is slow

// report A B ...: each argument as "[A]" and each entry of its environment block, one per
// line, in order; exit N: ends with code N; spam N: N bytes 'o' to standard output, then
// "!err" to standard error; sleep MS: sleeps, then ends.
int Report(const std::vector<std::wstring>& args) {
    const std::wstring mode = args.at(0);
    const unsigned long number = args.size() > 1 ? std::wcstoul(args[1].c_str(), nullptr, 10) : 0;
    std::wstring lines = mode == L"spam" ? std::wstring(number, L'o') : L"";
    for (size_t i = 1; mode == L"report" && i < args.size(); ++i) {
        lines += L"[" + args[i] + L"]\n";
    }
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    for (const wchar_t* entry = block.get(); mode == L"report" && *entry;) {
        lines += entry + std::wstring(L"\n");
        entry += wcslen(entry) + 1;
    }
    Sleep(mode == L"sleep" ? number : 0);
    const auto write = [](DWORD which, const std::string& bytes) {
        DWORD written = 0;
        WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, 0);
    };
    write(STD_OUTPUT_HANDLE, MBS_t(String_t(lines), ENC_ANSI).c_str());
    write(STD_ERROR_HANDLE, mode == L"spam" ? "!err" : "");
    return mode == L"exit" ? static_cast<int>(number) : 0;
}
const KaTest::ChildMode kReport(L"report", Report);

Command_t Child(std::vector<String_t> args) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    args.insert(args.begin(), {String_t("--ka-child"), String_t("report")});
    return Command_t(String_t(self), args);
}

std::wstring RunToEnd(Command_t& command) {
    command.Start();
    EXPECT_TRUE(command.Wait(kPatientMs));
    EXPECT_EQ(0u, command.GetExitCode());
    return command.GetOutput().Std();
}

// The child gets its arguments unchanged, and the environment block made from the parent's
// at construction plus PutEnv's changes (names compared without letter case), also those
// made through a copy, as GetEnv reports it; sorted by upper-cased name, as Windows requires
// ('[' and '_' after the letters).
TEST(Command, ChildSeesItsArgumentsAndOwnEnvironment) {
    std::vector<String_t> arguments = {String_t("report")};
    std::wstring expected;
    for (const wchar_t* argument :
         {L"plain", L"two words", L"", L"quote\"in", L"\"", L"trailing\\", L"two\\\\",
          L"back\\\"quote", L"tab\there", L"C:\\Program Files\\dir\\"}) {
        arguments.emplace_back(argument);
        expected += L"[" + std::wstring(argument) + L"]|";
    }
    SetEnvironmentVariableW(L"KA_CMD_PARENT", L"from parent");
    SetEnvironmentVariableW(L"KA_CMD_OVERRIDDEN", L"from parent");
    Command_t command = Child(arguments);
    SetEnvironmentVariableW(L"KA_CMD_LATE", L"set after the command was made");
    Command_t copy = command;
    command.PutEnv(String_t("KA_CMD_PLAIN"), String_t("blanks = and equals"));
    command.PutEnv(String_t("KA_CMD_EMPTY"), String_t(""));
    copy.PutEnv(String_t("ka_cmd_case"), String_t("first"));
    command.PutEnv(String_t("KA_CMD_CASE"), String_t("second"));
    command.PutEnv(String_t("KA_CMD_OVERRIDDEN"), String_t("overridden"));
    for (const char* name : {"ka_cmd_sort_b", "KA_CMD_SORT__", "KA_CMD_SORT_[", "Ka_Cmd_Sort_a"}) {
        copy.PutEnv(String_t(name), String_t("x"));
    }
    std::wistringstream lines(RunToEnd(copy));
    std::wstring ours;
    for (std::wstring line; std::getline(lines, line);) {
        const std::wstring lower = String_t(line).ToLower().Std();
        ours += line[0] == L'[' ? line + L"|" : lower.rfind(L"ka_cmd_", 0) ? L"" : lower + L"|";
    }
    for (const wchar_t* name : {L"KA_CMD_PARENT", L"KA_CMD_OVERRIDDEN", L"KA_CMD_LATE"}) {
        SetEnvironmentVariableW(name, nullptr);
    }
    EXPECT_EQ(expected + L"ka_cmd_case=second|ka_cmd_empty=|ka_cmd_overridden=overridden|"
                         L"ka_cmd_parent=from parent|ka_cmd_plain=blanks = and equals|"
                         L"ka_cmd_sort_a=x|ka_cmd_sort_b=x|ka_cmd_sort_[=x|ka_cmd_sort__=x|",
              ours);
    EXPECT_EQ(String_t("second"), command.GetEnv(String_t("Ka_Cmd_Case")));
    EXPECT_FALSE(command.GetEnv(String_t("KA_CMD_EMPTY")).IsNull());
    EXPECT_TRUE(command.GetEnv(String_t("KA_CMD_LATE")).IsNull());
}

TEST(Command, ReportsExitCodesAndWaitsWithinItsTimeOut) {
    for (uint32_t code : {1u, 255u, 0x80000001u}) {
        Command_t command = Child({String_t("exit"), KaTekStr::NumToStr(code)});
        command.Start();
        ASSERT_TRUE(command.Wait(kPatientMs));
        EXPECT_EQ(code, command.GetExitCode());
    }
    Command_t sleeper = Child({String_t("sleep"), String_t("3000")});
    sleeper.Start();
    EXPECT_FALSE(sleeper.Wait(50));
    EXPECT_TRUE(sleeper.Wait(kPatientMs));
}

// More than a pipe holds: a parent that does not read while it waits never sees the end.
TEST(Command, CollectsOutputAndErrorBeyondThePipesSize) {
    Command_t command = Child({String_t("spam"), String_t("1000000")});
    const std::wstring output = RunToEnd(command);
    EXPECT_TRUE(output == std::wstring(1000000, L'o') + L"!err") << output.size() << " units";
}

TEST(Command, RefusesWhatCannotRun) {
    for (const char* program : {"Z:\\no\\such\\dir\\katek_missing.exe", "katek_missing_xyz", ""}) {
        EXPECT_THROW(Command_t(String_t(program), {}).Start(), RuntimeError_t) << program;
    }
    Command_t command = Child({String_t("exit"), String_t("0")});
    EXPECT_THROW(command.Wait(0), RuntimeError_t) << "not started";
    EXPECT_THROW(command.PutEnv(String_t("A=B"), String_t("x")), RuntimeError_t);
    command.Start();
    EXPECT_THROW(command.Start(), RuntimeError_t);
    EXPECT_TRUE(command.Wait(kPatientMs));
    EXPECT_THROW(Command_t().PutEnv(String_t("A"), String_t("b")), RuntimeError_t);
    EXPECT_THROW(Command_t().Start(), RuntimeError_t);
}

} // namespace
