// The outside libraries through their public headers against the real system: KaTek's texts,
// messages, URIs, settings file, directories, port file, tracing and child commands (this
// program in child mode "env"); KaCtrl's catalog, log and certificate probe; KaLnk's client
// settings and PingServer, run on a thread of its own against a loopback HTTP server that
// this program serves. Then text at the platform boundary, from seeded generators: texts
// made of the units that a platform reads otherwise than the caller meant (NUL, lone
// surrogates, fullwidth look-alikes of ASCII syntax, letters outside the ANSI code page, line
// ends, quotes, the separators of paths, lists and variables) go through the exported text
// functions, the settings reader, child commands and the XML writer. The XML document goes to
// the file KA_XML_OUT names; only text_boundary_parse runs that case, then reads the document
// back with Python's own parser (text_boundary_check.py). Last, by tables, the runtime's
// internal pieces that need no platform call and the shared headers.
#include "Checks.h"
#include "ChildMode.h"
#include "CodePages.h"
#include "CommandLine.h"
#include "EnvironmentBlock.h"
#include "LoopbackChoice.h"
#include "LoopbackProbe.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

using namespace KaTekStr;
using namespace KaTekMsg;
using namespace KaTekConfig;
using namespace KaTekRuntime;
using namespace KaTekIo;
using namespace KaTekTrc;
using KaLnkCb::PingServer;
using KaLnkHttp::HttpClient;
using KaTekCmd::Command_t;
using KaTekNet::URI_t;
using KaTest::Contains;
using KaTest::ReadBytes;
using KaTest::Thrown;
using KaTest::Utf8;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace KaTekStr {
void PrintTo(const String_t& text, std::ostream* out) {
    *out << (text.IsNull() ? "(null)" : '"' + NarrowUtf8(text.Std()) + '"');
}
} // namespace KaTekStr

namespace {

const uint32_t npos = String_t::npos; // by value: npos itself is not exported from the DLL

// Texts in memory: null against empty, checked ranges, search, the conversions at the
// platform boundary, messages and exceptions across the DLL, and URIs.

// Null is told from empty. Ranges outside the text throw and leave it alone; the edges
// themselves are fine.
TEST(KaTekText, NullIsToldFromEmptyAndEditsAreCheckedAtTheEdges) {
    for (const String_t& null : {String_t::Null(), String_t(static_cast<const char*>(nullptr)),
                                 String_t(static_cast<const wchar_t*>(nullptr)),
                                 String_t::Null() + String_t::Null(), String_t::Null().ToLower()}) {
        EXPECT_TRUE(null.IsNull());
    }
    for (const String_t& text : {String_t(), String_t(""), String_t(L""), String_t::Null() + "x",
                                 String_t::Null().Replace(0, 0, "x")}) {
        EXPECT_FALSE(text.IsNull()) << NarrowUtf8(text.Std());
    }
    const std::pair<uint32_t, uint32_t> outside[] = {
        {7, 7}, {4, 3}, {0, 7}, {0, npos}, {npos, npos}};
    for (const auto& [start, end] : outside) {
        String_t text("abcdef");
        EXPECT_THROW(text.Replace(start, end, "x"), RuntimeError_t) << start << ".." << end;
        EXPECT_THROW(text.Delete(start, end), RuntimeError_t) << start << ".." << end;
        EXPECT_THROW(text.SetAt(end == npos ? npos : 6, UTF16CodePoint_t('x')), RuntimeError_t);
        EXPECT_EQ(String_t("abcdef"), text);
    }
    String_t text("abcdef");
    EXPECT_EQ(String_t("abcdefgh"), text.Replace(6, 6, String_t(L"gh")));
    EXPECT_EQ(String_t("ab/defgh"), text.Replace(2, 3, UTF16CodePoint_t('/')));
    EXPECT_EQ(String_t("ab/defg"), text.Delete(7, 8).Delete(3, 3));
    EXPECT_EQ(String_t("ab/def\\"), text.SetAt(6, UTF16CodePoint_t(L'\\')));
}

// Find(what, start, end, fold) in "abcABC\x00C4": where it matches, or npos.
TEST(KaTekText, FindLowerAndAnsiAtThePlatformBoundary) {
    const std::tuple<const wchar_t*, uint32_t, uint32_t, bool, uint32_t> cases[] = {
        {L"bc", 2, npos, false, npos}, {L"bc", 2, npos, true, 4},    {L"\x00E4", 0, npos, true, 6},
        {L"bc", 0, 2, false, npos},    {L"c", 9, npos, false, npos}, {L"c", 2, 99, false, 2}};
    for (const auto& [what, start, end, fold, expected] : cases) {
        EXPECT_EQ(expected, String_t(L"abcABC\x00C4").Find(String_t(what), start, end, fold))
            << NarrowUtf8(what) << " " << start << ".." << end << " fold " << fold;
    }
    EXPECT_EQ(String_t(L"path \x00E4\x03C9 c:\\x"), String_t(L"PATH \x00C4\x03A9 C:\\X").ToLower());
    EXPECT_EQ(String_t("abc"), String_t("abc").Right(npos));
    // Narrowing asks "no best fit" of every code page but those that refuse it, which Windows
    // would answer with ERROR_INVALID_FLAGS (Wine takes any flag).
    for (const uint32_t page : {65001u, 54936u, 50220u, 50229u, 57002u, 57011u, 65000u, 42u}) {
        EXPECT_EQ(0u, NarrowingFlags(page)) << page;
    }
    for (const uint32_t page : {1252u, 932u, 936u, 437u, 50230u, 57001u, 57012u}) {
        EXPECT_EQ(uint32_t{WC_NO_BEST_FIT_CHARS}, NarrowingFlags(page)) << page;
    }
}

const MessageCatalog_t kCatalog(String_t("KaCtrl"));

// Placeholders take the arguments in order, and an argument is not expanded once more; a
// missing argument, a lone percent sign and a number too large are kept as written.
TEST(KaTekMsg, PlaceholdersListsExceptionsAndSystemTexts) {
    MessageList_t list;
    list.Add(CreateError_t(kCatalog, 2, "%2 before %1, %3 %10 100% %99999999999999999999 %")
             << String_t("%2") << "B");
    list.Add(CreateError_t(RuntimeCatalog(), 4, "%1") << String_t(L"\x00E4"));
    EXPECT_STREQ("KaCtrl(2): B before %2, %3 %10 100% %99999999999999999999 %\nKaTek(4): \xC3\xA4",
                 Exception_t(list).what());
    // Thrown inside KaTek.dll, caught here by its type.
    EXPECT_EQ("KaTek(8): Range [1, 3) outside a text of length 2",
              Thrown([] { String_t("ab").Delete(1, 3); }));
    // System texts end in a line break that would split a log line.
    EXPECT_EQ(npos, SystemErrorText(ERROR_ACCESS_DENIED).Find(String_t("\n")));
    // A code the system has no text for still says which code it was.
    EXPECT_NE(npos, SystemErrorText(0x2FFFFFFFu).Find(String_t("805306367")));
}

TEST(KaTekUri, RefusesWhatIsNotAnAbsoluteHttpUriAndTakesTheRestApart) {
    for (const char* text :
         {"", "/com.trelm.ka.ctrl.kacd/lnkrpcserver", "localhost/x", "ftp://localhost/x",
          "http://localhost:65536/x", "http://localhost:4294967297/x", // would wrap to 1
          "http://localhost:80a/x", "http:///x", static_cast<const char*>(nullptr)}) {
        EXPECT_THROW(URI_t{String_t(text)}, RuntimeError_t) << (text ? text : "(null)");
    }
    const URI_t uri{String_t("HTTPS://Host/a?b=c")}, edge{String_t("http://localhost:65535")};
    EXPECT_EQ(String_t("https Host 443 /a?b=c 65535 /"),
              uri.GetScheme() + " " + uri.GetHost() + " " + NumToStr(uri.GetPort()) + " " +
                  uri.GetPath() + " " + NumToStr(edge.GetPort()) + " " + edge.GetPath());
}

// KaTek against the real system, in a sandbox installation named through the environment.

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

// The syntax is judged by config_test's table; values, their order and errors naming the
// file and the line by SettingsReadBackExactlyOrNameTheLine. The file lies in the
// configuration directory unless KA_CONFIG_FILE names another; it is read afresh on every
// Open, and changes to an opened set stay in the set.
TEST(KaTekConfig, ParsesLocatesAndRereadsTheSettingsFile) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("\xFF\xFE[\0a\0]\0\r\0K"s); // UTF-16 ending in half a unit
    EXPECT_PRED2(Contains, Thrown([] { ConfigNamespace_t("a").Open(); }),
                 Utf8(sandbox.SettingsFile()) + "', line 2");
    KaTest::SetEnv(L"KA_CONFIG_FILE", sandbox.Root() + L"\\nowhere\\KaAgent.ini");
    EXPECT_EQ(0, ConfigNamespace_t("a").Open().GetAttrCount());
    // Over the platform's length limit a path may hide a file that is there: never no settings.
    std::wstring overlong = sandbox.Root();
    while (overlong.size() < MAX_PATH) {
        overlong += L"\\nowhere-else";
    }
    KaTest::SetEnv(L"KA_CONFIG_FILE", overlong);
    EXPECT_PRED2(Contains, Thrown([] { ConfigNamespace_t("a").Open(); }), Utf8(overlong));
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

// The settings file's last parse, kept while the file shows no change.

// What a lookup of "[a] K" finds: its value, "-" when there is none, or the error's text.
std::string LookUpK() {
    try {
        const KaTekArray::CharArray_t value = ConfigNamespace_t("a").Open().GetAttrValue("K");
        return value.GetData() == nullptr ? "-" : value.GetData();
    } catch (const RuntimeError_t& error) {
        return error.what();
    }
}

// Between lookups the file is edited in place (to the same length or another), replaced by a
// rename (by a file of the same size and times: only the folder shows it), removed, broken or
// left alone; half the time the file and its folder are then dated long ago, each time to
// another time, so that the last parse may be trusted. Each lookup, twice after each change,
// answers what the file holds then, a broken file's error each time.
TEST(KaTekConfigCache, EveryChangeIsSeenByTheNextLookup) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    const std::wstring renamed = sandbox.Root() + L"\\KaAgent.new";
    std::mt19937 random(20261207);
    std::string expected = "-";
    uint64_t old = KaTest::SystemTimeAgo(3600);
    for (int round = 0; round < 400; ++round) {
        const std::string value = std::to_string(1000 + random() % (round % 3 == 0 ? 10 : 90000));
        const std::string text = "[b]\nK=x\n[a]\nK=" + value + "\n";
        WIN32_FILE_ATTRIBUTE_DATA before{};
        const bool present = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before);
        switch (random() % 6) {
        case 0:
            sandbox.WriteSettings(text);
            expected = value;
            break;
        case 1:
            sandbox.WriteFile(L"KaAgent.new", text);
            if (present) {
                KaTest::SetFileTimes(renamed,
                                     (uint64_t{before.ftCreationTime.dwHighDateTime} << 32) |
                                         before.ftCreationTime.dwLowDateTime,
                                     (uint64_t{before.ftLastWriteTime.dwHighDateTime} << 32) |
                                         before.ftLastWriteTime.dwLowDateTime);
            }
            ASSERT_TRUE(::MoveFileExW(renamed.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
            expected = value;
            break;
        case 2:
            ::DeleteFileW(path.c_str());
            expected = "-";
            break;
        case 3:
            sandbox.WriteSettings(text + "broken\n");
            expected = "*Malformed settings file '" + Utf8(path) + "', line 5: *";
            break;
        default:
            break;
        }
        if (random() % 2 == 0) {
            old -= 100000000; // 10 s earlier than any time given before
            if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
                KaTest::SetFileTimes(path, old, old);
            }
            KaTest::SetFileTimes(sandbox.Root(), 0, old);
        }
        for (int lookup = 0; lookup < 2; ++lookup) {
            ASSERT_PRED2(KaTest::Glob, expected, LookUpK()) << "round " << round;
        }
    }
}

// An unchanged file whose times are long past is not read again: held where no one else may
// read it, it still answers; written again, it answers anew. A file seen within the clock's
// tick of its write is read again each time, so that a rewrite of the same size and time is
// not missed. Another settings path is another file.
TEST(KaTekConfigCache, AnUnchangedFileIsNotReadAgain) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    sandbox.WriteSettings("[a]\nK=1\n");
    KaTest::SetFileTimes(path, KaTest::SystemTimeAgo(3600), KaTest::SystemTimeAgo(3600));
    KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(3600));
    EXPECT_EQ(LookUpK(), "1");
    {
        KaHold::unique_handle locked(
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked);
        EXPECT_FALSE(KaHold::unique_handle(::CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr)))
            << "a file held that way cannot be read";
        EXPECT_EQ(LookUpK(), "1");
    }
    const uint64_t now = KaTest::SystemTimeAgo(0);
    sandbox.WriteSettings("[a]\nK=2\n");
    KaTest::SetFileTimes(path, now, now);
    EXPECT_EQ(LookUpK(), "2");
    sandbox.WriteSettings("[a]\nK=3\n");
    KaTest::SetFileTimes(path, now, now); // the same size and times as the parse kept
    EXPECT_EQ(LookUpK(), "3");
    const std::wstring other = sandbox.WriteFile(L"other.ini", "[a]\nK=4\n");
    KaTest::SetFileTimes(other, KaTest::SystemTimeAgo(3600), KaTest::SystemTimeAgo(3600));
    KaTest::SetEnv(L"KA_CONFIG_FILE", other);
    EXPECT_EQ(LookUpK(), "4");
    KaTest::SetEnv(L"KA_CONFIG_FILE", path);
    EXPECT_EQ(LookUpK(), "3");
}

// Readers on several threads while the file is replaced again and again, now and then by a
// broken one: each lookup answers one whole version of the file (all its values alike) or the
// broken file's error, never a mix; once the writes end, every reader sees the last version.
TEST(KaTekConfigCache, ConcurrentReadersSeeWholeVersions) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    auto version = [](int number) {
        std::string text = "[a]\n";
        for (int key = 0; key < 50; ++key) {
            text += "K" + std::to_string(key) + "=" + std::to_string(number) + "\n";
        }
        return number % 7 == 6 ? text + "broken\n" : text;
    };
    sandbox.WriteSettings(version(0));
    // Dated long ago, with their folder, so that readers mostly take the parse kept and
    // leave the file alone, which a reader holding it open would keep from being replaced.
    KaTest::SetFileTimes(path, KaTest::SystemTimeAgo(7200), KaTest::SystemTimeAgo(7200));
    KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(7200));
    std::atomic<bool> writing{true};
    std::atomic<int> mixed{0}, lookups{0};
    auto read = [&] {
        const Configuration_t settings = ConfigNamespace_t("a").Open();
        std::set<std::string> values;
        String_t name, value;
        for (int index = 0; settings.GetAttr(index, name, value); ++index) {
            values.insert(Utf8(value.Std()));
        }
        ++lookups;
        return settings.GetAttrCount() == 50 && values.size() == 1 ? *values.begin() : "";
    };
    std::vector<std::thread> readers;
    for (int thread = 0; thread < 4; ++thread) {
        readers.emplace_back([&] {
            while (writing) {
                try {
                    mixed += read().empty();
                    ::Sleep(0); // spinning readers on two cores would starve the writer
                } catch (const RuntimeError_t& error) {
                    mixed += !Contains(error.what(), "line 52");
                    // A broken file is read on every lookup, and one held open cannot be
                    // replaced: the writer gets its turn.
                    ::Sleep(1);
                }
            }
            mixed += read() != "200";
        });
    }
    // Made in a folder of its own, so that only the rename changes the settings' folder.
    const std::wstring next = sandbox.Root() + L"\\staging\\KaAgent.new";
    int replaced = 0;
    for (int number = 1; number <= 200; ++number) {
        sandbox.WriteFile(L"staging\\KaAgent.new", version(number));
        KaTest::SetFileTimes(next, KaTest::SystemTimeAgo(3600 + number),
                             KaTest::SystemTimeAgo(3600 + number));
        // A file that a reader has open cannot be replaced that moment: tried again.
        for (int tries = 0; tries < 5000; ++tries) {
            if (::MoveFileExW(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                ++replaced;
                break;
            }
            ::Sleep(0);
        }
        KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(3600 + number));
    }
    writing = false;
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(replaced, 200);
    EXPECT_EQ(mixed, 0) << "of " << lookups;
}

// How bases and sub-paths join, and the keys no directory belongs to. (The directory of
// every key is judged through the library's directory variables by config_test.)
TEST(KaTekDir, HowBasesJoinAndUnknownKeys) {
    KaTest::Sandbox sandbox;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
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
    // A base that is not absolute leaves the other base unaffected (the runtime's refusal,
    // naming the variable, is judged by config_test's ReplaceDirVariables.AnyLookupFailure).
    KaTest::SetEnv(L"KA_INSTALL_DIR", L"relative\\dir");
    EXPECT_EQ(String_t(sandbox.DataDir()), Dir_t::Path(DIR_DATA, String_t()));
    ASSERT_EQ(0, _putenv_s("KA_DATA_DIR", "E:\\viaputenv")); // as the library's callers set it
    EXPECT_EQ(String_t("E:\\viaputenv\\log"), Dir_t::Path(DIR_LOG, String_t()));
}

// The port file as the daemon writes it: four bytes, least significant first; a file that
// ends sooner names its path. (The directory lister is judged through GetFilesInDir by
// text_dir_listing_test.)
TEST(KaTekIo, ReadsThePortFileOrNamesThePath) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.WriteFile(L"kacd.port", "\x01\x02\x03\x04\x05");
    FileInputStream_t file{String_t(path)};
    DataInputStream_t data(file);
    EXPECT_EQ(0x04030201u, data.ReadUInt32());
    EXPECT_PRED2(Contains, Thrown([&] { data.ReadUInt32(); }), Utf8(path));
    // An open stream must not stop the daemon from replacing the port file.
    EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
    data.Close();
}

// One wrapper through all steps: without an object it tries again on the next InitObject, with
// the settings as they are then; once attached it keeps its object and appends one line per
// DoTrace to the data directory's trace log, a record's line breaks flattened. Another
// namespace tracing everything must not count.
TEST(KaTekTrace, SettingsDecideWhatIsTracedOnceAndWhere) {
    const std::pair<const char*, uint32_t> steps[] = {
        // The trace settings and the mask then in force.
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
    const std::string written = ReadBytes(file); // the line's head is judged by env_test
    EXPECT_EQ(0u, written.find("earlier line\r\n")) << written;
    EXPECT_PRED2(Contains, written, " ctrl.utils 4 \xC3\xA9  record (../x.cpp:7)\r\n");
}

// The control library: its catalog, the lines LogMessage appends (and a log it cannot
// write), and the certificate probe.
TEST(KaCtrl, LogsOneLinePerMessageNeverThrowsAndFindsTheCertificate) {
    KaTest::Sandbox sandbox; // no log directory yet: LogMessage makes it
    MessageList_t list;
    list.Add(CreateError_t(KaCtrl::Catalog::GetCatalog(), 1, "Not a boolean value '%1'.")
             << String_t(L"\u00E9"));
    list.Add(Message_t(String_t("KaTek"), 4, String_t("two\r\nlines\nhere")));
    KaCtrl::LogMessage(MessageList_t());
    KaCtrl::LogMessage(list);
    const std::string stamp = "%%%%-%%-%% %%:%%:%%.%%% ",
                      written = ReadBytes(sandbox.DataDir() + L"\\log\\KaCtrl.log");
    EXPECT_PRED2(KaTest::Glob,
                 stamp + "KaCtrl(1): Not a boolean value '\xC3\xA9'.\r\n" + stamp +
                     "KaTek(4): two lines here\r\n",
                 written);
    // A directory of the certificate's name is no certificate (the file itself is judged
    // through the daemon's address by status_test).
    sandbox.MakeDir(L"data\\config\\certs\\node.pem");
    EXPECT_FALSE(KaCtrl::IsCertInstalled());
    // The log directory cannot be made; the runtime refuses a relative data directory.
    sandbox.WriteFile(L"blocked\\log", "a file where the log directory should be");
    for (const std::wstring& dataDir : {sandbox.Root() + L"\\blocked", L"rel\\data"s}) {
        KaTest::SetEnv(L"KA_DATA_DIR", dataDir);
        EXPECT_NO_THROW(KaCtrl::LogMessage(list)) << Utf8(dataDir);
    }
}

// KaLnk: the client's settings, and PingServer against a real loopback HTTP server.

using Clock = std::chrono::steady_clock;

const std::string kPingPath = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";

HttpClient Client(const std::vector<std::pair<const char*, const char*>>& settings) {
    Configuration_t configuration;
    for (const auto& [key, value] : settings) {
        configuration.SetAttrValue(key, value);
    }
    return HttpClient(configuration);
}

const int winsock = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}();

// A listening socket on 127.0.0.1 at a port the system chooses, given back in port.
KaHold::unique_socket Listen(uint16_t& port) {
    KaHold::unique_socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size);
    listen(listener.get(), SOMAXCONN);
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return listener;
}

bool IsReadable(SOCKET s, int ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{ms / 1000, ms % 1000 * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// Pings host at port through the process-wide client on a thread of its own, while this one
// serves the connection that comes to listener: it reads the request's head and answers with
// the status line answer; "hangup" closes the connection without a word, "silent" holds it
// until the client lets go of it. Answers what the ping found and the head the server read.
std::pair<KaLnkCb::ServiceStatus, std::string>
Ping(SOCKET listener, uint16_t port, const std::string& host, const std::string& answer) {
    std::future<KaLnkCb::ServiceStatus> status = std::async(std::launch::async, [&] {
        return PingServer(
            URI_t(("http://" + host + ":" + std::to_string(port) + kPingPath).c_str()));
    });
    // The ping's own try of a loopback address comes first, and ends without a byte.
    KaHold::unique_socket connection;
    std::string head;
    for (int tries = 0; head.empty() && tries < 2; ++tries) {
        connection.reset(IsReadable(listener, 10000) ? accept(listener, nullptr, nullptr)
                                                     : INVALID_SOCKET);
        char buffer[1024];
        for (int got = 1; got > 0 && head.find("\r\n\r\n") == std::string::npos;) {
            got = IsReadable(connection.get(), 2000) ? recv(connection.get(), buffer, 1024, 0) : 0;
            head.append(buffer, static_cast<size_t>(std::max(got, 0)));
        }
    }
    const std::string reply = "HTTP/1.1 " + answer +
                              "\r\nLocation: http://127.0.0.1:" + std::to_string(port) +
                              "/moved\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    if (answer == "silent") {
        IsReadable(connection.get(), 20000); // until the client lets go of it
    } else if (answer != "hangup") {
        send(connection.get(), reply.data(), static_cast<int>(reply.size()), 0);
    }
    connection.reset(); // before the ping ends: a hangup is no silence
    return {status.get(), head};
}

// Each test sets the process-wide client it needs.

// Time-outs are whole milliseconds in 1..60000, anything else takes the default 3000; the
// User-Agent is "APP_NAME/APP_VERSION", or "KaLnk/1.0" without a name.
TEST(KaLnk, ClientSettingsFallBackToTheDefaults) {
    const std::pair<const char*, uint32_t> timeouts[] = {
        {"1", 1}, {" 60000\t", 60000}, {"0", 3000}, {"60001", 3000}, {"12x", 3000}};
    for (const auto& [text, expected] : timeouts) {
        const HttpClient client = Client({{"CONNECT_TIMEOUT", text}, {"RECEIVE_TIMEOUT", "2"}});
        EXPECT_EQ(expected, client.GetConnectTimeout()) << "'" << text << "'";
        EXPECT_EQ(expected, Client({{"RECEIVE_TIMEOUT", text}}).GetReceiveTimeout()) << text;
    }
    EXPECT_EQ(String_t("KaLnk/1.0"), Client({{"APP_VERSION", "9"}}).GetUserAgent());
}

// One GET of the URI per ping, never retried, no redirect followed (a second connection would
// wait unserved); the daemon's name "localhost" must reach the server (the User-Agent is judged
// by status_test). Silence ends the ping by the receive time-out (4000 ms): not sooner, and not
// by the default (3000 ms) nor the connect time-out (10000 ms); the bounds leave seconds for a
// busy machine (that a refusal comes at once is judged by status_test). Pings that answer, are
// refused and time out (a short receive time-out keeps the silent server cheap) must give back
// every handle they took, the abandoned connections too.
TEST(KaLnk, PingJudgesTheAnswerWithinItsTimeOutsAndLeavesNoHandle) {
    const std::pair<const char*, KaLnkCb::ServiceStatus> cases[] = {
        {"200 OK", KaLnkCb::SS_OK},
        {"404 Not Found", KaLnkCb::SS_BAD_ANSWER},
        {"302 Found", KaLnkCb::SS_BAD_ANSWER}, // following it would report on another address
        {"hangup", KaLnkCb::SS_FAILED},
        {"silent", KaLnkCb::SS_TIMEOUT},
    };
    for (const auto& [answer, expected] : cases) {
        uint16_t port = 0;
        const KaHold::unique_socket listener = Listen(port);
        HttpClient::SetGlobalClient(
            Client({{"CONNECT_TIMEOUT", "10000"}, {"RECEIVE_TIMEOUT", "4000"}}));
        const Clock::time_point start = Clock::now();
        const auto [status, head] = Ping(listener.get(), port, "localhost", answer);
        const Clock::duration elapsed = Clock::now() - start;
        EXPECT_EQ(expected, status) << answer;
        EXPECT_TRUE(expected != KaLnkCb::SS_TIMEOUT || (elapsed >= 3900ms && elapsed < 8000ms))
            << elapsed / 1ms << " ms";
        EXPECT_FALSE(IsReadable(listener.get(), 0)) << answer << ": a second connection";
        EXPECT_EQ(0u, head.find("GET " + kPingPath + " HTTP/1.1\r\n")) << head;
        EXPECT_PRED2(Contains, head, "\r\nHost: localhost:" + std::to_string(port));
    }
    uint16_t closed = 0, answering = 0, silent = 0;
    Listen(closed); // taken from the system, then let go: nothing listens on it
    const URI_t refused(("http://127.0.0.1:" + std::to_string(closed) + kPingPath).c_str());
    EXPECT_THROW(PingServer(URI_t()), RuntimeError_t);
    const KaHold::unique_socket answerer = Listen(answering), holder = Listen(silent);
    const HttpClient steady = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "2000"}});
    const HttpClient hasty = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "20"}});
    const auto pingAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            HttpClient::SetGlobalClient(steady);
            EXPECT_EQ(KaLnkCb::SS_OK, Ping(answerer.get(), answering, "127.0.0.1", "200 OK").first);
            EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(refused));
            HttpClient::SetGlobalClient(hasty);
            EXPECT_EQ(KaLnkCb::SS_TIMEOUT, Ping(holder.get(), silent, "127.0.0.1", "silent").first);
        }
    };
    pingAll(3); // the platform's first-use allocations happen here
    const uintptr_t before = KaTest::HighestFreshHandle();
    pingAll(40);
    EXPECT_TRUE(KaTest::NoMoreHandlesThan(before));
}

// Where a loopback server is reached: the first address in the resolver's order that did
// not refuse, an earlier one still unanswered waited for while there is time.
TEST(KaLnk, LoopbackAddressChosenInTheResolversOrder) {
    using KaLnkCb::Choice;
    using R = KaLnkCb::Reach;
    const struct {
        std::vector<R> reaches;
        bool timeIsUp;
        Choice::Verdict verdict;
        size_t index;
    } cases[] = {
        {{}, false, Choice::Refused, 0},
        {{R::Refused, R::Refused}, false, Choice::Refused, 0},
        {{R::Accepted, R::Pending}, false, Choice::Use, 0},
        {{R::Refused, R::Accepted}, false, Choice::Use, 1},
        {{R::Pending, R::Accepted}, false, Choice::Wait, 0},
        {{R::Pending, R::Accepted}, true, Choice::Use, 1},
        {{R::Refused, R::Pending}, false, Choice::Wait, 0},
        {{R::Refused, R::Pending}, true, Choice::TimedOut, 0},
    };
    for (const auto& c : cases) {
        const Choice choice = KaLnkCb::ChooseAddress(c.reaches, c.timeIsUp);
        EXPECT_EQ(choice.verdict, c.verdict) << c.reaches.size() << " " << c.timeIsUp;
        EXPECT_EQ(choice.verdict == Choice::Use ? choice.index : 0, c.index);
    }
    EXPECT_EQ(KaLnkCb::HostField(L"localhost", 80, false), L"localhost");
    EXPECT_EQ(KaLnkCb::HostField(L"localhost", 443, false), L"localhost:443");
    EXPECT_EQ(KaLnkCb::HostField(L"localhost", 443, true), L"localhost");
}

// Whether "localhost" names ::1 here; Windows names it first, a Linux host under Wine may not.
bool LocalhostNamesIpv6() {
    ADDRINFOW hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    KaHold::unique_address_info found;
    return ::GetAddrInfoW(L"localhost", L"80", &hints, found.put()) == 0 &&
           IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6*>(found.get()->ai_addr)->sin6_addr);
}

// A listening socket on ::1 alone, at a port where 127.0.0.1 has none.
KaHold::unique_socket ListenIpv6(uint16_t& port) {
    for (;;) {
        KaHold::unique_socket listener(socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        int size = sizeof(address);
        bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size);
        listen(listener.get(), SOMAXCONN);
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin6_port);
        KaHold::unique_socket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4.sin_port = htons(port);
        if (bind(probe.get(), reinterpret_cast<sockaddr*>(&v4), sizeof(v4)) == 0) {
            return listener;
        }
    }
}

// A daemon that listens on one loopback address is reached where the resolver names that
// address, on ::1 as on 127.0.0.1 (the Host field as the URI names the server is judged by
// PingJudgesTheAnswerWithinItsTimeOutsAndLeavesNoHandle); one that does not listen is refused
// at once, long before the connect time-out (20 s), with no request made.
TEST(KaLnk, LoopbackPingsReachTheAddressThatListensAndRefusalsAnswerAtOnce) {
    uint16_t port = 0;
    const KaHold::unique_socket onIpv6 = ListenIpv6(port);
    const auto deadline = Clock::now() + 20s;
    const KaLnkCb::LoopbackRoute literal = KaLnkCb::ProbeLoopback(L"::1", port, deadline);
    EXPECT_EQ(literal.kind, KaLnkCb::LoopbackRoute::Reached);
    EXPECT_EQ(literal.server, L"::1");
    const KaLnkCb::LoopbackRoute named = KaLnkCb::ProbeLoopback(L"localhost", port, deadline);
    EXPECT_EQ(named.kind, LocalhostNamesIpv6() ? KaLnkCb::LoopbackRoute::Reached
                                               : KaLnkCb::LoopbackRoute::Refused);
    EXPECT_EQ(KaLnkCb::ProbeLoopback(L"localhost.invalid", port, deadline).kind,
              KaLnkCb::LoopbackRoute::NotLoopback);
    uint16_t closed = 0;
    Listen(closed);
    HttpClient::SetGlobalClient(
        Client({{"CONNECT_TIMEOUT", "20000"}, {"RECEIVE_TIMEOUT", "4000"}}));
    const URI_t refused(("http://localhost:" + std::to_string(closed) + kPingPath).c_str());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(refused));
    EXPECT_LT(Clock::now() - start, 5000ms);
}

// Text at the platform boundary.

const std::wstring kUnits[] = {L"\0"s,    L"\xD800", L"\xDFFF", L"\xFF3C", L"\xFF1B", L"\xFF02",
                               L"\xFF1D", L"\xFF54", L"\xFF32", L"\x7528", L"\xE9",   L"\U0001F600",
                               L"\r",     L"\n",     L"\t",     L"\"",     L"'",      L"$",
                               L";",      L"\\",     L"/",      L"%",      L"=",      L"<",
                               L"&",      L"]]>",    L"\x01",   L"\xFFFE", L" ",      L"a",
                               L"B",      L"\x8868", L"\x30BD"}; // the last two end in the byte of
                                                                 // "\" in code page 932

struct Generator {
    std::mt19937 rng;
    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
    // Up to maxUnits units of kUnits; with settingsSafe, none a settings line cannot hold.
    std::wstring Text(size_t maxUnits, bool settingsSafe = false) {
        std::wstring text;
        for (size_t count = Below(maxUnits + 1); text.size() < count;) {
            const std::wstring& unit = kUnits[Below(std::size(kUnits))];
            const bool unsafe = L"\0\r\n\xD800\xDFFF"s.find(unit[0]) != std::wstring::npos;
            text += settingsSafe && unsafe ? L"x" : unit;
        }
        return text;
    }
};

std::string Hex(const std::wstring& units) {
    std::string hex;
    for (wchar_t unit : units) {
        char digits[8];
        hex += std::string(digits, std::snprintf(digits, sizeof digits, "%04X ", unit));
    }
    return hex;
}

// The keys AvoidDuplicate compares, by a model of its own: the pieces of a ";" list up to its
// first NUL, slashes for backslashes, blanks (space, tab, CR, LF, VT, FF) off both ends, and
// lower case by the C runtime (the generator's case variants come from it too).
std::vector<std::wstring> Keys(std::wstring list) {
    std::replace(list.begin(), list.end(), L'\\', L'/');
    std::wistringstream pieces(list.substr(0, list.find(L'\0')));
    std::vector<std::wstring> keys;
    for (std::wstring piece; std::getline(pieces, piece, L';');) {
        if (!piece.empty()) {
            piece.erase(0, piece.find_first_not_of(L" \t\r\n\v\f"));
            piece.erase(piece.find_last_not_of(L" \t\r\n\v\f") + 1);
            std::transform(piece.begin(), piece.end(), piece.begin(), towlower);
            keys.push_back(piece);
        }
    }
    return keys;
}

// Lists drawn from a few entries, repeated in other letter case and blanks: the result
// holds no backslash and no entry twice, yet every entry of the list in one of its forms.
TEST(TextBoundary, AvoidDuplicateKeepsEveryEntryOnceAndNoBackslash) {
    Generator gen{std::mt19937(13)};
    for (int round = 0; round < 400; ++round) {
        std::vector<std::wstring> pool(1 + gen.Below(5));
        std::generate(pool.begin(), pool.end(), [&] { return gen.Text(6); });
        std::wstring list;
        for (size_t piece = gen.Below(12); piece > 0; --piece) {
            std::wstring entry = pool[gen.Below(pool.size())];
            std::transform(entry.begin(), entry.end(), entry.begin(),
                           gen.Below(2) ? towupper : towlower);
            list += (gen.Below(3) ? L";" : L"; ;") + entry + (gen.Below(2) ? L" " : L"");
        }
        const std::wstring cleaned = KaCtrl::AvoidDuplicate(String_t(list)).Std();
        SCOPED_TRACE(Utf8(list) + " gave " + Utf8(cleaned));
        EXPECT_EQ(std::wstring::npos, cleaned.find(L'\\'));
        const std::vector<std::wstring> kept = Keys(cleaned);
        EXPECT_EQ(kept.size(), std::set<std::wstring>(kept.begin(), kept.end()).size());
        for (const std::wstring& key : Keys(list)) {
            EXPECT_TRUE(key.empty() || std::count(kept.begin(), kept.end(), key)) << "lost";
        }
    }
}

// The column formatters and their widths.
const std::pair<String_t (*)(const String_t&), size_t> kColumns[] = {
    {KaCtrl::FormatName, 11},
    {KaCtrl::FormatDescription, 35},
    {KaCtrl::FormatCategory, 12},
    {KaCtrl::FormatPID, 8}};

// Look-alikes stay what they are: no narrow copy (nor anything built on one) makes ASCII
// syntax of them, and the boolean is the two ASCII words in any letter case only. The file
// forms and the columns keep every unit.
TEST(TextBoundary, LookAlikesNeverBecomeAscii) {
    // In code page 932 the bytes of these hold three of "\", yet the text holds one.
    const std::wstring trail = L"\x8868\\\x30BD";
    const std::string trailBytes = MBS_t(String_t(trail), ENC_ANSI).c_str();
    EXPECT_EQ(WidenAnsi(trailBytes), GetACP() == 1252 ? L"?\\?" : trail);
    EXPECT_TRUE(GetACP() != 932 || trailBytes == "\x95\x5C\x5C\x83\x5C");
    Generator gen{std::mt19937(7)};
    for (int round = 0; round < 600; ++round) {
        const std::wstring text = gen.Text(12);
        const MBS_t mbs(String_t(text), ENC_ANSI);
        // Read back as the platform reads it: a trail byte is no character of its own.
        const std::wstring back = WidenAnsi(std::string(mbs.c_str(), mbs.size()));
        for (int ascii = 1; ascii < 128; ++ascii) { // ASCII stays, and none is made ('?' aside)
            EXPECT_TRUE(ascii == '?' || std::count(text.begin(), text.end(), ascii) ==
                                            std::count(back.begin(), back.end(), ascii))
                << Utf8(text);
        }
        const std::wstring uri = KaCtrl::FileNameToURI(String_t(text), false).Std();
        EXPECT_EQ(std::wstring::npos, uri.substr(0, uri.find(L'\0')).find(L'\\'));
        // The columns pad on the right to their width and never cut, a NUL or a lone surrogate
        // no end; thrice the text passes every width.
        const std::wstring field = KaCtrl::ReverseSlashes(String_t(uri + uri + uri)).Std();
        EXPECT_EQ(3 * text.size(), field.size());
        for (const auto& [format, width] : kColumns) {
            const std::wstring padding(field.size() < width ? width - field.size() : 0, L' ');
            EXPECT_EQ(field + padding, format(String_t(field)).Std()) << width;
        }
        // No variable can form from these units: nothing but the backslashes changes.
        EXPECT_EQ(uri, KaCtrl::ReplaceDirVariables(String_t(text)).Std());
        // A word with each letter as it is, in upper case, fullwidth, or with a unit added.
        const std::wstring word = round % 2 ? L"true" : L"false";
        std::wstring given;
        bool isWord = true;
        for (wchar_t letter : word) {
            const size_t how = gen.Below(8);
            isWord = isWord && how < 4;
            const wchar_t forms[] = {letter, static_cast<wchar_t>(towupper(letter)),
                                     static_cast<wchar_t>(letter + 0xFEE0), letter};
            given += forms[how / 2] + (how >= 6 ? kUnits[gen.Below(std::size(kUnits))] : L"");
        }
        int answer = -1; // where GetBooleanFromString refuses the text
        Thrown<IllegalStateError_t>(
            [&] { answer = KaCtrl::GetBooleanFromString(String_t(given)); });
        EXPECT_EQ(isWord ? round % 2 : -1, answer) << Utf8(given);
    }
}

// Settings files in UTF-8 with and without a mark and in UTF-16LE, with CRLF, LF and lone CR
// line ends, give every value back exactly and in file order; one undecodable sequence or
// NUL in any of them names the file and its line.
TEST(TextBoundary, SettingsReadBackExactlyOrNameTheLine) {
    KaTest::Sandbox sandbox;
    Generator gen{std::mt19937(42)};
    const std::string bad[] = {"\xE9"s, "\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s,
                               "\x80"s, "\xE2\x82"s, "\0"s,           "\xFF\xFE"s};
    for (int round = 0; round < 60; ++round) {
        const int encoding = round % 3; // UTF-8, UTF-8 with its mark, UTF-16LE
        const auto encode = [encoding](const std::wstring& text) {
            return encoding < 2
                       ? NarrowUtf8(text)
                       : std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        };
        const size_t lines = 2 + gen.Below(20), broken = round % 4 ? 0 : 2 + gen.Below(lines - 1);
        std::string bytes =
            std::vector{""s, "\xEF\xBB\xBF"s, "\xFF\xFE"s}[encoding] + encode(L"[ns]\n");
        std::vector<std::wstring> values;
        for (size_t line = 2; line <= lines; ++line) {
            values.push_back(gen.Text(8, true));
            bytes += encode(L"K" + std::to_wstring(line) + L"=");
            if (line == broken) {
                bytes += encoding < 2 ? bad[gen.Below(std::size(bad))]
                                      : "\x00\xDC\0\0"s.substr(gen.Below(2) * 2, 2);
            }
            bytes += encode(values.back() + std::vector{L"\r\n", L"\n", L"\r"}[line % 3]);
        }
        sandbox.WriteSettings(bytes);
        const auto open = [] { return ConfigNamespace_t("ns").Open(); };
        if (broken) {
            EXPECT_PRED2(Contains, Thrown(open),
                         Utf8(sandbox.SettingsFile()) + "', line " + std::to_string(broken) + ":");
            continue;
        }
        const Configuration_t config = open();
        String_t name, value;
        for (size_t index = 0; index < values.size(); ++index) {
            ASSERT_TRUE(config.GetAttr(static_cast<int>(index), name, value));
            EXPECT_EQ(String_t(values[index]), value) << encoding;
        }
    }
}

// child mode "env": each argument after '[', then each environment entry whose name begins
// with "KA_GEN_" in any letter case, in the block's order, one a line as hex units; then more
// 'o's than a pipe holds, "!err" to standard error, and the exit code 0x80000001.
const size_t kBulk = 1000000;
int PrintGenerated(const std::vector<std::wstring>& args) {
    std::string out;
    for (const std::wstring& argument : args) {
        out += "[" + Hex(argument) + "\n";
    }
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    for (const wchar_t* entry = block.get(); *entry; entry += wcslen(entry) + 1) {
        out += _wcsnicmp(entry, L"KA_GEN_", 7) == 0 ? Hex(entry) + "\n" : "";
    }
    out += std::string(kBulk, 'o');
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), DWORD(out.size()), &written, nullptr);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "!err", 4, &written, nullptr);
    return static_cast<int>(0x80000001u);
}
const KaTest::ChildMode kEnvChild(L"env", PrintGenerated);

// The order Windows wants an environment block in: by name, letter case ignored.
bool InBlockOrder(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}

// A child gets its arguments unchanged and exactly the variables put (through the command or
// a copy; a name put again in other letter case keeps its first form), in block order, and
// the parent's. A NUL in a value (which would start an entry of its own) or an '=' or NUL in
// a name is refused naming the variable. Its output, more than a pipe holds (a parent that
// does not read while it waits never sees the end), and its exit code come back whole. (A
// program that is not there cannot be started: kacutil's env row "Z:\no\such\program.exe".)
TEST(TextBoundary, ChildSeesExactlyItsArgumentsAndTheVariablesPut) {
    KaTest::SetEnv(L"KA_GEN_PARENT", L"from parent");
    Generator gen{std::mt19937(5)};
    std::vector<String_t> arguments = {String_t("--ka-child"), String_t("env")};
    std::string expected;
    for (int index = 0; index < 8; ++index) {
        arguments.push_back(String_t(gen.Text(8, true) + (index % 3 ? L"" : L" \\\\")));
        expected += "[" + Hex(arguments.back().Std()) + "\n";
    }
    Command_t command(String_t(KaTest::ProgramPath()), arguments), copy = command;
    KaTest::SetEnv(L"KA_GEN_PARENT", L""); // the command keeps its copy
    std::map<std::wstring, std::wstring, decltype(&InBlockOrder)> put(InBlockOrder);
    put.emplace(L"KA_GEN_PARENT", L"from parent");
    for (int index = 0; index < 40; ++index) {
        std::wstring name = (index % 2 ? L"KA_GEN_" : L"Ka_Gen_") + std::to_wstring(index % 7) +
                            (index % 3 ? L"_" : L"a"),
                     value = gen.Text(10);
        value.erase(std::remove(value.begin(), value.end(), L'\0'), value.end());
        const size_t how = gen.Below(6);
        name += how == 0 ? L"=x" : how == 1 ? L"\0x"s : L"";
        value += how == 2 ? L"\0KA_GEN_INJECTED=evil"s : L"";
        Command_t& target = index % 2 ? command : copy;
        if (how < 3) {
            EXPECT_PRED2(Contains, Thrown([&] { target.PutEnv(String_t(name), String_t(value)); }),
                         Utf8(name.substr(0, name.find(L'\0'))));
            continue;
        }
        target.PutEnv(String_t(name), String_t(value));
        put.emplace(name, L"").first->second = value;
    }
    for (const auto& [name, value] : put) {
        expected += Hex(name + L"=" + value) + "\n";
    }
    command.Start();
    ASSERT_TRUE(command.Wait(120000)); // generous: the machine is shared and Wine is slow
    EXPECT_EQ(0x80000001u, command.GetExitCode());
    const std::string output = NarrowUtf8(command.GetOutput().Std());
    EXPECT_EQ(expected, output.substr(0, expected.size()));
    EXPECT_TRUE(output.substr(expected.size()) == std::string(kBulk, 'o') + "!err")
        << output.size() << " bytes";
}

// A document of hostile texts, and the writer's refusals around its root. Each case is
// followed by its units in hex, for the parser to hold the text against.
TEST(TextBoundary, XmlDocumentParsesBackToTheTextsGiven) {
    const wchar_t* path = _wgetenv(L"KA_XML_OUT");
    if (path == nullptr) {
        GTEST_SKIP() << "KA_XML_OUT is not set: run through text_boundary_parse";
    }
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    const KaTekXml::XmlWriter_t writer(file);
    writer.StartDocument();
    EXPECT_THROW(writer.Data(String_t("before the root")), RuntimeError_t);
    writer.OpenTag(String_t("kac"), String_t("cases"));
    Generator gen{std::mt19937(99)};
    for (int round = 0; round < 300; ++round) {
        const std::wstring text = gen.Text(10);
        for (const auto& [name, data] :
             {std::pair("case", String_t(text)), std::pair("units", String_t(Hex(text).c_str()))}) {
            writer.OpenTag(String_t("kac"), String_t(name));
            writer.Data(data);
            writer.CloseTag();
        }
    }
    writer.OpenTag(String_t("p"), String_t("outer")); // declares p; q inside it declares q
    writer.OpenTag(String_t("q"), String_t("inner"));
    writer.EndDocument();
    EXPECT_THROW(writer.Data(String_t("after the root")), RuntimeError_t);
    EXPECT_THROW(writer.OpenTag(String_t("kac"), String_t("second")), RuntimeError_t);
}

// Pieces that need no platform call, by tables: a child's environment block (KaTek's core)
// and command-line quoting (common/). And the holders' promise to keep the last-error code.

// A block read, then variables set: sorted by name without letter case, a name set again in
// other letter case keeps its first form, a per-drive entry keeps its leading '=', an entry
// without '=' is a name with the empty value, and a block ends in an empty entry (two NULs
// when it holds none).
TEST(KaTekCmdBlock, ReadSetFindAndBuild) {
    const KaTekCmd::NameOrder order = [](const std::wstring& left, const std::wstring& right) {
        return int{InBlockOrder(right, left)} - int{InBlockOrder(left, right)};
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
