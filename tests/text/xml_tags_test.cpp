// The XML tag writers on the runtime's real writer. One test writes every case into one
// document, xml_tags.xml in the working directory, which check_xml_tags.py then reads back
// with a real XML parser; the others watch what reaches the writer.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <climits>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using KaTekStr::String_t;
using KaTekXml::XmlWriter_t;

namespace {

struct WriterCase {
    const char* name; // the plain element the case is wrapped in; the checker knows it
    std::function<void(const XmlWriter_t&)> write;
};

const std::wstring kMarkup = L"a < b && c > \"d\" 'e' </kac:Name> ]]> &amp;";

// Kept in step with the table in check_xml_tags.py, which says what each case must hold.
std::vector<WriterCase> Cases() {
    using namespace KaCtrl;
    return {
        {"StringEmpty", [](auto& w) { WriteXMLStringTag(w, "Name", ""); }},
        {"StringNull", [](auto& w) { WriteXMLStringTag(w, "Name", String_t::Null()); }},
        {"StringPlain", [](auto& w) { WriteXMLStringTag(w, "Name", "kacd"); }},
        {"StringBlank", [](auto& w) { WriteXMLStringTag(w, "Name", " "); }},
        {"StringMarkup", [](auto& w) { WriteXMLStringTag(w, "Name", String_t(kMarkup)); }},
        {"StringNonAscii",
         [](auto& w) { WriteXMLStringTag(w, "Name", L"Gr\u00fc\u00dfe \u20ac"); }},
        {"StringLineBreaks", [](auto& w) { WriteXMLStringTag(w, "Name", "one\r\ntwo\nthree"); }},
        {"TagNonAscii", [](auto& w) { WriteXMLStringTag(w, L"Gr\u00f6\u00dfe", "1"); }},
        {"BoolTrue", [](auto& w) { WriteXMLBoolTag(w, "Flag", true); }},
        {"BoolFalse", [](auto& w) { WriteXMLBoolTag(w, "Flag", false); }},
        {"IntZero", [](auto& w) { WriteXMLIntegerTag(w, "Count", 0); }},
        {"IntNegative", [](auto& w) { WriteXMLIntegerTag(w, "Count", -42); }},
        {"IntMin", [](auto& w) { WriteXMLIntegerTag(w, "Count", INT_MIN); }},
        {"IntMax", [](auto& w) { WriteXMLIntegerTag(w, "Count", INT_MAX); }},
        {"CatalogBoth", [](auto& w) { WriteXMLCatalog(w, "Message", "KaCtrl", "2"); }},
        {"CatalogNoId", [](auto& w) { WriteXMLCatalog(w, "Message", "", "2"); }},
        {"CatalogNoNumber", [](auto& w) { WriteXMLCatalog(w, "Message", "KaCtrl", ""); }},
        {"CatalogNeither", [](auto& w) { WriteXMLCatalog(w, "Message", "", ""); }},
        {"CatalogMarkup", [](auto& w) { WriteXMLCatalog(w, "Message", "<cat>", "&1"); }},
        {"InCallOrder",
         [](auto& w) {
             WriteXMLIntegerTag(w, "Pid", 7);
             WriteXMLStringTag(w, "Skipped", "");
             WriteXMLBoolTag(w, "Running", true);
             WriteXMLCatalog(w, "Status", "KaCtrl", "1");
             WriteXMLStringTag(w, "Name", "kac");
         }},
    };
}

// The runtime's own failure, as it arrived: catalog and number of its first message.
std::wstring CatchRuntimeFailure(const std::function<void()>& call) {
    try {
        call();
    } catch (const KaTekMsg::RuntimeError_t& error) {
        const KaTekMsg::Message_t& first = error.GetMessageList().GetMessages().at(0);
        return first.GetCatalogId().Std() + L"(" + std::to_wstring(first.GetNumber()) + L")";
    }
    return L"nothing thrown";
}

} // namespace

TEST(XmlTags, WritesEveryCaseIntoOneDocument) {
    std::ofstream file("xml_tags.xml", std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file) << "cannot create xml_tags.xml in the working directory";
    XmlWriter_t writer(file);
    writer.StartDocument();
    writer.OpenTag("", "Cases");
    for (const WriterCase& item : Cases()) {
        writer.OpenTag("", item.name);
        item.write(writer);
        writer.CloseTag();
    }
    writer.EndDocument();
    ASSERT_TRUE(file.flush());
}

TEST(XmlTags, EmptyValuesMakeNoCallOnTheWriter) {
    // An empty element name would make the writer throw, so any call on it would show.
    const std::vector<std::function<void(const XmlWriter_t&)>> silent = {
        [](auto& w) { KaCtrl::WriteXMLStringTag(w, "", ""); },
        [](auto& w) { KaCtrl::WriteXMLStringTag(w, "", String_t::Null()); },
        [](auto& w) { KaCtrl::WriteXMLCatalog(w, "", "", "2"); },
        [](auto& w) { KaCtrl::WriteXMLCatalog(w, "", "KaCtrl", ""); },
        [](auto& w) { KaCtrl::WriteXMLCatalog(w, "", "", ""); },
    };
    for (size_t index = 0; index < silent.size(); ++index) {
        XmlWriter_t writer;
        writer.OpenTag("", "Outer");
        EXPECT_NO_THROW(silent[index](writer)) << "case " << index;
        EXPECT_EQ(writer.GetDocument(), "<Outer>") << "case " << index;
    }
}

TEST(XmlTags, WriterFailuresReachTheCallerUnchanged) {
    // Element names are the writer's to judge: each of these is refused there, with the
    // runtime's XML message, and nothing of ours is put in its place.
    for (const char* tag : {"", "1st", "two words", "a:b"}) {
        XmlWriter_t writer;
        const std::vector<std::function<void()>> calls = {
            [&] { KaCtrl::WriteXMLStringTag(writer, tag, "x"); },
            [&] { KaCtrl::WriteXMLBoolTag(writer, tag, false); },
            [&] { KaCtrl::WriteXMLIntegerTag(writer, tag, 1); },
            [&] { KaCtrl::WriteXMLCatalog(writer, tag, "KaCtrl", "2"); },
        };
        for (size_t index = 0; index < calls.size(); ++index) {
            EXPECT_EQ(CatchRuntimeFailure(calls[index]), L"KaTek(10)")
                << "tag '" << tag << "', writer " << index;
        }
    }
}
