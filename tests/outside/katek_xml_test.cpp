// XmlWriter_t: escaping of hostile text, namespace declarations, refusals, shared state.
// The hostile document is also written to the file KA_XML_OUT names, which the CTest step
// katek_xml_parse reads back with an independent XML parser (katek_xml_check.py).
#include "KaTek.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using KaTekStr::String_t;
using KaTekXml::XmlWriter_t;

std::wstring Units(std::initializer_list<wchar_t> units) {
    return std::wstring(units);
}

struct HostileCase {
    const char* label;
    std::wstring text;
    std::string expectedBytes; // the element content as written
};

// katek_xml_check.py holds the same cases, in the same order, as the parser must see them.
std::vector<HostileCase> HostileCases() {
    return {
        {"markup", L"a<b>&c</b>", "a&lt;b&gt;&amp;c&lt;/b&gt;"},
        {"quotes", L"\"double\" 'single'", "&quot;double&quot; &apos;single&apos;"},
        {"cdata end", L"]]>", "]]&gt;"},
        {"line ends", L"tab\there\r\nnext\rlast\n", "tab\there&#13;\nnext&#13;last\n"},
        {"controls", Units({0x01, L'x', 0x1F, 0x7F, 0x0B}),
         "\xEF\xBF\xBDx\xEF\xBF\xBD\x7F\xEF\xBF\xBD"},
        {"nul", std::wstring(L"nul") + L'\0' + L"end",
         "nul\xEF\xBF\xBD"
         "end"},
        {"non-ascii", L"\u00E9\u00DF \u6F22\u5B57 \U0001F600",
         "\xC3\xA9\xC3\x9F \xE6\xBC\xA2\xE5\xAD\x97 \xF0\x9F\x98\x80"},
        {"lone surrogates", Units({0xD800, L'x', 0xDC00, 0xDBFF}),
         "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"non-characters", Units({0xFFFE, 0xFFFF, 0xFFFD}), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"entity lookalike", L"&amp; &#60; &lt;", "&amp;amp; &amp;#60; &amp;lt;"},
        {"blanks", L"  ", "  "},
        {"empty", L"", ""},
    };
}

std::string Element(const std::string& content) {
    return "<t>" + content + "</t>";
}

TEST(XmlWriter, EscapesHostileText) {
    for (const HostileCase& hostile : HostileCases()) {
        XmlWriter_t writer;
        writer.OpenTag(String_t(""), String_t("t"));
        writer.Data(String_t(hostile.text.data(), static_cast<uint32_t>(hostile.text.size())));
        writer.CloseTag();
        EXPECT_EQ(Element(hostile.expectedBytes), writer.GetDocument()) << hostile.label;
    }
}

TEST(XmlWriter, DeclaresEachPrefixWhereItFirstComesIntoScope) {
    XmlWriter_t writer;
    writer.StartDocument();
    writer.OpenTag(String_t("kac"), String_t("outer"));
    writer.OpenTag(String_t("kac"), String_t("inner"));
    writer.CloseTag();
    writer.OpenTag(String_t("p"), String_t("other"));
    writer.CloseTag();
    writer.OpenTag(String_t("p"), String_t("again"));
    writer.OpenTag(String_t(""), String_t("plain"));
    writer.EndDocument();
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<kac:outer xmlns:kac=\"urn:trelm:kac\"><kac:inner></kac:inner>"
              "<p:other xmlns:p=\"urn:trelm:p\"></p:other>"
              "<p:again xmlns:p=\"urn:trelm:p\"><plain></plain></p:again></kac:outer>",
              writer.GetDocument());
}

TEST(XmlWriter, AcceptsNonAsciiNames) {
    XmlWriter_t writer;
    writer.OpenTag(String_t(L"\u00E9t"), String_t(L"n\u00E4me-1.x_\u00B7"));
    writer.CloseTag();
    EXPECT_EQ("<\xC3\xA9t:n\xC3\xA4me-1.x_\xC2\xB7 xmlns:\xC3\xA9t=\"urn:trelm:\xC3\xA9t\">"
              "</\xC3\xA9t:n\xC3\xA4me-1.x_\xC2\xB7>",
              writer.GetDocument());
}

struct BadName {
    const wchar_t* prefix;
    std::wstring name;
};

TEST(XmlWriter, RefusesNamesXmlDoesNotAllow) {
    const std::vector<BadName> cases = {
        {L"", L""},
        {L"", L"1abc"},
        {L"", L"a b"},
        {L"", L"a:b"},
        {L"", L"-a"},
        {L"", L"a<b"},
        {L"", L"a&b"},
        {L"kac", L"a\"b"},
        {L"x:y", L"a"},
        {L"1p", L"a"},
        {L"xmlns", L"a"},
        {L"xml", L"a"},
        {L"", Units({L'a', 0xD800})},
    };
    for (size_t index = 0; index < cases.size(); ++index) {
        const BadName& bad = cases[index];
        XmlWriter_t writer;
        try {
            writer.OpenTag(String_t(bad.prefix), String_t(bad.name));
            ADD_FAILURE() << "bad name case " << index << " was accepted";
        } catch (const KaTekMsg::RuntimeError_t& error) {
            ASSERT_FALSE(error.GetMessageList().IsEmpty());
            EXPECT_EQ(uint32_t(KaTekMsg::MSG_XML),
                      error.GetMessageList().GetMessages()[0].GetNumber());
        }
        EXPECT_EQ("", writer.GetDocument()) << "case " << index << " left a trace";
    }
}

TEST(XmlWriter, RefusesCallsOutOfOrder) {
    XmlWriter_t writer;
    EXPECT_THROW(writer.CloseTag(), KaTekMsg::RuntimeError_t);
    writer.OpenTag(String_t(""), String_t("a"));
    EXPECT_THROW(writer.StartDocument(), KaTekMsg::RuntimeError_t) << "a declaration comes first";
    writer.CloseTag();
    EXPECT_THROW(writer.CloseTag(), KaTekMsg::RuntimeError_t);
    EXPECT_EQ("<a></a>", writer.GetDocument());
}

TEST(XmlWriter, CopiesShareOneDocument) {
    XmlWriter_t writer;
    const XmlWriter_t copy = writer;
    writer.OpenTag(String_t("kac"), String_t("a"));
    copy.Data(String_t("x"));
    copy.CloseTag(); // closes what the original opened
    EXPECT_EQ("<kac:a xmlns:kac=\"urn:trelm:kac\">x</kac:a>", writer.GetDocument());
    EXPECT_EQ(writer.GetDocument(), copy.GetDocument());
}

TEST(XmlWriter, WritesToAStreamAsItGoes) {
    std::ostringstream out;
    const XmlWriter_t writer(out);
    writer.OpenTag(String_t("kac"), String_t("a"));
    writer.Data(String_t("<"));
    EXPECT_EQ("<kac:a xmlns:kac=\"urn:trelm:kac\">&lt;", out.str());
    writer.EndDocument();
    EXPECT_EQ("<kac:a xmlns:kac=\"urn:trelm:kac\">&lt;</kac:a>", out.str());
    EXPECT_EQ("", writer.GetDocument()) << "a stream writer keeps no text of its own";
}

TEST(XmlWriter, FailingStreamThrows) {
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    const XmlWriter_t writer(out);
    EXPECT_THROW(writer.OpenTag(String_t(""), String_t("a")), KaTekMsg::RuntimeError_t);
}

void WriteHostileDocument(const XmlWriter_t& writer) {
    writer.StartDocument();
    writer.OpenTag(String_t("kac"), String_t("cases"));
    for (const HostileCase& hostile : HostileCases()) {
        writer.OpenTag(String_t("kac"), String_t("case"));
        writer.Data(String_t(hostile.text.data(), static_cast<uint32_t>(hostile.text.size())));
        writer.CloseTag();
    }
    writer.OpenTag(String_t("p"), String_t("outer"));
    writer.OpenTag(String_t("q"), String_t("inner"));
    writer.Data(String_t(L"\u00E9"));
    writer.EndDocument();
}

// Feeds katek_xml_parse, which checks the file with a parser of its own.
TEST(XmlWriter, WritesHostileDocumentForTheParser) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"KA_XML_OUT", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        GTEST_SKIP() << "KA_XML_OUT is not set";
    }
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file.is_open());
    WriteHostileDocument(XmlWriter_t(file));
    file.close();
    EXPECT_FALSE(file.fail());
}

} // namespace
