// KaTek URIs: what the platform's URL cracker accepts as an absolute http or https URI,
// and what must be refused.
#include "KaTek/Msg.h"
#include "KaTek/Net.h"
#include "KaTekPrint.h"

#include <gtest/gtest.h>

using KaTekNet::URI_t;
using KaTekStr::String_t;

namespace {

TEST(KaTekUri, RefusesWhatIsNotAnAbsoluteHttpUri) {
    const wchar_t* refused[] = {
        L"",
        L"/com.trelm.ka.ctrl.kacd/lnkrpcserver",
        L"localhost/x",
        L"ftp://localhost/x",
        L"file:///C:/x",
        L"http://localhost:70000/x",
        L"http://localhost:65536/x",
        L"http://localhost:4294967297/x", // would wrap to 1 in 32 bits
        L"http://localhost:80a/x",
        L"http:///x",
    };
    for (const wchar_t* text : refused) {
        SCOPED_TRACE(KaTekStr::NarrowUtf8(text));
        EXPECT_THROW(URI_t{String_t(text)}, KaTekMsg::RuntimeError_t);
    }
    EXPECT_THROW(URI_t{String_t::Null()}, KaTekMsg::RuntimeError_t);
}

TEST(KaTekUri, TakesAcceptedOnesApart) {
    struct Case {
        const char* text;
        const char* scheme;
        const char* host;
        uint16_t port;
        bool explicitPort;
        const char* path;
    };
    const Case cases[] = {
        {"http://localhost/com.trelm.ka.ctrl.kacd/lnkrpcserver", "http", "localhost", 80, false,
         "/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {"https://localhost:8443/com.trelm.ka.ctrl.kacd/lnkrpcserver", "https", "localhost", 8443,
         true, "/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {"http://localhost:65535/x", "http", "localhost", 65535, true, "/x"},
        {"https://127.0.0.1", "https", "127.0.0.1", 443, false, "/"},
        {"http://example.org/a?b=c", "http", "example.org", 80, false, "/a?b=c"},
        {"HTTP://Host:1/", "http", "Host", 1, true, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const URI_t uri{String_t(c.text)};
        EXPECT_EQ(String_t(c.text), uri.GetText());
        EXPECT_EQ(String_t(c.scheme), uri.GetScheme());
        EXPECT_EQ(String_t(c.host), uri.GetHost());
        EXPECT_EQ(c.port, uri.GetPort());
        EXPECT_EQ(c.explicitPort, uri.HasExplicitPort());
        EXPECT_EQ(String_t(c.path), uri.GetPath());
        EXPECT_FALSE(uri.IsEmpty());
    }
}

TEST(KaTekUri, EmptyAndAssignable) {
    URI_t uri;
    EXPECT_TRUE(uri.IsEmpty());
    uri = URI_t(String_t("http://localhost:1234/p"));
    EXPECT_EQ(1234, uri.GetPort());
    const URI_t copy = uri;
    EXPECT_EQ(String_t("/p"), copy.GetPath());
}

} // namespace
