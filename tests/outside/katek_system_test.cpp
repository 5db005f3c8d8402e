// KaTek against the real system: the settings file, the agent's directories, the port-file
// format, directory listing and tracing in a sandbox installation named through the
// environment, and child commands (this program in child mode "spam").
#include "ChildMode.h"
#include "KaTekTest.h"
#include "Sandbox.h"

#include <stdlib.h>

#include <map>
#include <numeric>
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
        {"[a]\r\nK=V\r\nL=W", "a", "K=V|L=W"}, // CRLF, no final line end
        {"[a]\nK= \"q\" ;no comment \nE=\nQ=a=b\n", "a", "K= \"q\" ;no comment |E=|Q=a=b"},
        {"K=V\n[a]\n", "a", "line 1"},                   // an attribute before any section
        {"[other]\nK=V\n[x] trailing\n", "a", "line 3"}, // outside the namespace asked for
    };
    for (const auto& [file, ns, expected] : cases) {
        sandbox.WriteSettings(file);
        const auto open = [ns = ns] { return AttributesOf(ConfigNamespace_t(ns).Open()); };
        if (Contains(expected, "line ")) {
            EXPECT_PRED2(Contains, Thrown(open), Utf8(sandbox.SettingsFile()) + "', " + expected);
        } else {
            EXPECT_EQ(expected, open()) << file;
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
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=1\n");
    Configuration_t config = ConfigNamespace_t("a").Open();
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=2\n");
    EXPECT_EQ(std::string("1"), config.GetAttrValue("K").GetData());
    config.SetAttrValue("APP_NAME", "kac");
    config.SetAttrValue("K", "3");
    EXPECT_EQ("K=3|APP_NAME=kac", AttributesOf(config));
    EXPECT_EQ("K=2", AttributesOf(ConfigNamespace_t("a").Open())) << "read afresh, not changed";
}

// Every key the callers' tables use, by number, with its directory below the installation
// (I) or the data directory (D), or the current (C) or the system's temporary one (T).
TEST(KaTekDir, EveryKeyAndHowBasesJoin) {
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
    }
    EXPECT_EQ(15, keys);
    // The system's temporary directory keeps its separator, and a sub-path adds no second.
    EXPECT_EQ(String_t(temp + std::wstring(L"x")), Dir_t::Path(DIR_SYSTEM_TMP, String_t("x")));
    for (int key : {1, 4, 36, 40, 63}) {
        EXPECT_THROW(Dir_t::Path(static_cast<DirKey_e>(key), String_t()), RuntimeError_t) << key;
    }
    // Bases as given or by default, sub-paths joined below them with backslashes.
    const std::tuple<const wchar_t*, const char*, const wchar_t*> cases[] = {
        {L"D:\\Agent\\", nullptr, L"D:\\Agent\\bin"},              // trailing separator dropped
        {L"", nullptr, L"C:\\Program Files\\Trelm\\KaAgent\\bin"}, // unset: the default
        {L"D:\\A", "/a/b/", L"D:\\A\\bin\\a\\b\\"},
    };
    for (const auto& [install, sub, expected] : cases) {
        KaTest::SetEnv(L"KA_INSTALL_DIR", install);
        EXPECT_EQ(String_t(expected), Dir_t::Path(DIR_KA_BIN, String_t(sub))) << Utf8(install);
    }
    // A base that is not absolute throws naming its variable, the other base unaffected.
    KaTest::SetEnv(L"KA_INSTALL_DIR", L"relative\\dir");
    EXPECT_PRED2(Contains, Thrown([] { Dir_t::Path(DIR_KA_BIN, String_t()); }), "KA_INSTALL_DIR");
    EXPECT_EQ(String_t(sandbox.DataDir()), Dir_t::Path(DIR_DATA, String_t()));
    ASSERT_EQ(0, _putenv_s("KA_DATA_DIR", "E:\\viaputenv")); // as the library's callers set it
    EXPECT_EQ(String_t("E:\\viaputenv\\log"), Dir_t::Path(DIR_LOG, String_t()));
}

// The names in dir that end in suffix, sorted, each followed by a blank.
std::string ListAll(const std::wstring& dir, const char* suffix) {
    DirLister_t lister(File_t(String_t(dir)), DirLister_t::Filter_t().Suffix(String_t(suffix)));
    std::set<std::string> names;
    for (; !lister.IsAtEnd(); lister.Next()) {
        names.insert(NarrowUtf8(lister.GetCurrentName().Std()) + " ");
    }
    EXPECT_FALSE(lister.Next());
    return std::accumulate(names.begin(), names.end(), std::string());
}

// The port file as the daemon writes it: four bytes, least significant first.
TEST(KaTekIo, ReadsThePortFileAndListsDirectoriesOrNamesThePath) {
    KaTest::Sandbox sandbox;
    const std::wstring two = sandbox.WriteFile(L"two.port", "\x90\x1F");
    FileInputStream_t twoBytes{String_t(two)};
    EXPECT_PRED2(Contains, Thrown([&] { DataInputStream_t(twoBytes).ReadUInt32(); }), Utf8(two));
    const std::wstring path = sandbox.WriteFile(L"kacd.port", "\x90\x1F\0\0\x01\x02\x03\x04\x05"s);
    FileInputStream_t file{String_t(path)};
    DataInputStream_t data(file);
    EXPECT_EQ(8080u, data.ReadUInt32());
    EXPECT_EQ(0x04030201u, data.ReadUInt32());
    // An open stream must not stop the daemon from replacing the port file.
    EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
    data.Close();
    // Listing: letter case counts, directories are listed too; failures name the path.
    for (const wchar_t* name : {L"a.log", L"c.LOG", L"d.log.old", L"sub.log\\deep.log"}) {
        sandbox.WriteFile(L"list\\"s + name, "x");
    }
    EXPECT_EQ("a.log sub.log ", ListAll(sandbox.Root() + L"\\list\\", ".log"));
    EXPECT_EQ("", ListAll(sandbox.MakeDir(L"empty"), ""));
    const std::wstring missing = sandbox.Root() + L"\\no-such",
                       plain = sandbox.WriteFile(L"f", "x");
    for (const std::wstring& unlistable : {missing, plain}) {
        EXPECT_PRED2(Contains, Thrown([&] { ListAll(unlistable, ""); }), Utf8(unlistable));
    }
}

// One wrapper through all steps: without an object it tries again on the next InitObject;
// once attached it keeps its object and appends one line per DoTrace to the data directory's
// trace log, a record's line breaks flattened. Another namespace tracing everything must
// not count.
TEST(KaTekTrace, SettingsDecideWhatIsTracedOnceAndWhere) {
    const std::pair<const char*, uint32_t> steps[] = {
        {"not a setting", 0},                      // an unreadable file
        {"AREAS=ctrl", 0},                         // a prefix is no match
        {"AREAS=ctrl.utils\nLEVEL=4294967296", 0}, // not a 32-bit mask
        {"AREAS= tek.io , ctrl.utils \nLEVEL=17", 17},
        {"AREAS=*\nLEVEL=2", 17},
    };
    KaTest::Sandbox sandbox;
    TraceWrapper_t wrapper("ctrl.utils", 2);
    for (const auto& [section, mask] : steps) {
        sandbox.WriteSettings("[other]\nAREAS=*\n[tek.trace]\n"s + section + "\n");
        EXPECT_NO_THROW(wrapper.InitObject());
        ASSERT_EQ(mask != 0, wrapper.HasObject()) << section;
        EXPECT_EQ(mask, mask ? static_cast<TraceObj_t&>(wrapper).GetLevelMask() : 0) << section;
    }
    const std::wstring file = sandbox.WriteFile(L"data\\log\\trace.log", "earlier line\r\n");
    static_cast<TraceObj_t&>(wrapper).DoTrace(4, String_t(L"\u00E9\r\nrecord"), "../x.cpp", 7);
    const std::string written = ReadBytes(file); // the line's head is judged by env_trace_test
    EXPECT_EQ(0u, written.find("earlier line\r\n")) << written;
    EXPECT_PRED2(Contains, written, " ctrl.utils 4 \xC3\xA9  record (../x.cpp:7)\r\n");
}

// Child commands.

constexpr uint32_t kPatientMs = 120000; // generous: the machine is shared and Wine is slow

// spam N: N bytes 'o' to standard output and "!err" to standard error, then ends with code
// 0x80000001. (Arguments and environment blocks are judged by text_boundary_test.)
int Spam(const std::vector<std::wstring>& args) {
    const std::string out(std::wcstoul(args.at(0).c_str(), 0, 10), 'o');
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), DWORD(out.size()), &written, 0);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "!err", 4, &written, 0);
    return static_cast<int>(0x80000001u);
}
const KaTest::ChildMode kSpam(L"spam", Spam);

// More than a pipe holds: a parent that does not read while it waits never sees the end.
TEST(Command, CollectsOutputBeyondThePipesSizeAndReportsTheExitCode) {
    EXPECT_THROW(Command_t(String_t("Z:\\no\\such\\katek.exe"), {}).Start(), RuntimeError_t);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Command_t command(String_t(self),
                      {String_t("--ka-child"), String_t("spam"), String_t("1000000")});
    command.Start();
    ASSERT_TRUE(command.Wait(kPatientMs));
    EXPECT_EQ(0x80000001u, command.GetExitCode());
    const std::wstring output = command.GetOutput().Std();
    EXPECT_TRUE(output == std::wstring(1000000, L'o') + L"!err") << output.size() << " units";
}

} // namespace
