// What the library takes of the outside libraries' types (the names of src/outside): texts and
// their narrow copies, messages and exceptions across the DLL, URIs, the agent's directories
// and the port file's stream, against the real system.
#include "Checks.h"
#include "Generator.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

using namespace KaTekStr;
using namespace KaTekMsg;
using namespace KaTekRuntime;
using namespace KaTekIo;
using KaTekNet::URI_t;
using KaTest::Contains;
using KaTest::Thrown;
using KaTest::Utf8;
using namespace std::string_literals;

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

// Find(what, start, end, fold) in "abcABC\x00C4": where it matches, or npos. A match that fills
// its whole window, or ends where the window ends, is found; one unit less of window, not.
TEST(KaTekText, FindLowerAndAnsiAtThePlatformBoundary) {
    const std::tuple<const wchar_t*, uint32_t, uint32_t, bool, uint32_t> cases[] = {
        {L"bc", 2, npos, false, npos}, {L"bc", 2, npos, true, 4},
        {L"\x00E4", 0, npos, true, 6}, {L"bc", 0, 2, false, npos},
        {L"c", 9, npos, false, npos},  {L"c", 2, 99, false, 2},
        {L"abc", 0, 3, false, 0},      {L"abc", 0, 2, false, npos},
        {L"bcA", 1, 4, false, 1},      {L"bcA", 1, 3, false, npos},
        {L"\x00C4", 6, 7, false, 6},   {L"\x00C4", 6, 6, false, npos}};
    for (const auto& [what, start, end, fold, expected] : cases) {
        EXPECT_EQ(expected, String_t(L"abcABC\x00C4").Find(String_t(what), start, end, fold))
            << NarrowUtf8(what) << " " << start << ".." << end << " fold " << fold;
    }
    EXPECT_EQ(String_t(L"path \x00E4\x03C9 c:\\x"), String_t(L"PATH \x00C4\x03A9 C:\\X").ToLower());
    EXPECT_EQ(String_t("abc"), String_t("abc").Right(npos));
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

// A narrow copy (encoding 0, the ANSI code page) keeps ASCII exactly and makes none of
// look-alikes ('?' aside, the page's default character); read back as the platform reads it,
// a trail byte is no character of its own.
TEST(KaTekText, NarrowCopiesNeverMakeAsciiOfLookAlikes) {
    // In code page 932 the bytes of these hold three of "\\", yet the text holds one.
    const std::wstring trail = L"\x8868\\\x30BD";
    const std::string trailBytes = MBS_t(String_t(trail), ENC_ANSI).c_str();
    EXPECT_EQ(WidenAnsi(trailBytes), GetACP() == 1252 ? L"?\\?" : trail);
    EXPECT_TRUE(GetACP() != 932 || trailBytes == "\x95\x5C\x5C\x83\x5C");
    KaTest::Generator gen{std::mt19937(7)};
    for (int round = 0; round < 600; ++round) {
        const std::wstring text = gen.Text(12);
        const MBS_t mbs(String_t(text), ENC_ANSI);
        const std::wstring back = WidenAnsi(std::string(mbs.c_str(), mbs.size()));
        for (int ascii = 1; ascii < 128; ++ascii) {
            EXPECT_TRUE(ascii == '?' || std::count(text.begin(), text.end(), ascii) ==
                                            std::count(back.begin(), back.end(), ascii))
                << Utf8(text);
        }
    }
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
// text_test.)
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

} // namespace
