// The XML tag writers on the runtime's real writer. The test writes every case into one
// document, xml_tags.xml in the working directory, which check_xml_tags.py then reads back
// with a real XML parser.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"

#include <fstream>

using namespace KaCtrl;

TEST(XmlTags, WritesEveryCaseIntoOneDocument) {
    std::ofstream file("xml_tags.xml", std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file) << "cannot create xml_tags.xml in the working directory";
    KaTekXml::XmlWriter_t w(file);
    w.StartDocument();
    w.OpenTag("", "Cases");
    // Each case in a plain element of its name; check_xml_tags.py says what each must hold.
    auto write = [&w](const char* name, auto writeCase) {
        w.OpenTag("", name);
        writeCase();
        w.CloseTag();
    };
    write("StringEmpty", [&] { WriteXMLStringTag(w, "Name", ""); });
    write("StringNull", [&] { WriteXMLStringTag(w, "Name", KaTekStr::String_t::Null()); });
    write("StringBlank", [&] { WriteXMLStringTag(w, "Name", " "); });
    write("StringMarkup",
          [&] { WriteXMLStringTag(w, "Name", "a < b && c > \"d\" 'e' </kac:Name> ]]> &amp;"); });
    write("BoolTrue", [&] { WriteXMLBoolTag(w, "Flag", true); });
    write("BoolFalse", [&] { WriteXMLBoolTag(w, "Flag", false); });
    write("IntZero", [&] { WriteXMLIntegerTag(w, "Count", 0); });
    write("IntNegative", [&] { WriteXMLIntegerTag(w, "Count", -42); });
    write("CatalogBoth", [&] { WriteXMLCatalog(w, "Message", "KaCtrl", "2"); });
    write("CatalogNoId", [&] { WriteXMLCatalog(w, "Message", "", "2"); });
    write("CatalogNoNumber", [&] { WriteXMLCatalog(w, "Message", "KaCtrl", ""); });
    // An empty tag name goes to the writer as it is, and the writer's refusal comes back.
    EXPECT_THROW(WriteXMLStringTag(w, "", "x"), KaTekMsg::Exception_t);
    w.EndDocument();
    ASSERT_TRUE(file.flush());
}
