// KaTek in memory: texts (null against empty, checked ranges, search, the conversions at the
// platform boundary), messages and exceptions across the DLL, and URIs. The XML writer is
// driven by text_boundary_test.
#include "KaTekTest.h"

#include <algorithm>

using namespace KaTekStr;
using namespace KaTekMsg;
using KaTekNet::URI_t;
using namespace std::string_literals;

namespace {

const uint32_t npos = String_t::npos; // by value: npos itself is not exported from the DLL

TEST(KaTekText, NullIsToldFromEmpty) {
    for (const String_t& null : {String_t::Null(), String_t(static_cast<const char*>(nullptr)),
                                 String_t(static_cast<const wchar_t*>(nullptr)),
                                 String_t::Null() + String_t::Null(), String_t::Null().ToLower()}) {
        EXPECT_TRUE(null.IsNull());
    }
    for (const String_t& text : {String_t(), String_t(""), String_t(L""), String_t::Null() + "x",
                                 String_t::Null().Replace(0, 0, "x")}) {
        EXPECT_FALSE(text.IsNull()) << NarrowUtf8(text.Std());
    }
}

// Ranges outside the text throw and leave it alone; the edges themselves are fine.
TEST(KaTekText, EditsAreCheckedAtTheEdges) {
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

} // namespace
