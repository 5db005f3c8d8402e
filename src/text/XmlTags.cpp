// XML elements of the status output. Each element is exactly OpenTag, Data, CloseTag on the
// caller's writer; the caller owns the document around them, and the writer owns escaping.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

namespace KaCtrl {

namespace {

// Every element of the control component's output lives under this prefix.
const char* const kPrefix = "kac";

void WriteElement(const XmlWriter_t& writer, const String_t& tag, const String_t& text) {
    writer.OpenTag(String_t(kPrefix), tag);
    writer.Data(text);
    writer.CloseTag();
}

} // namespace

void WriteXMLStringTag(const XmlWriter_t& writer, const String_t& tag, const String_t& value) {
    // Readers take a missing element for "no value", so an empty one is not written at all.
    if (!value.IsNotEmpty()) {
        return;
    }
    WriteElement(writer, tag, value);
}

void WriteXMLBoolTag(const XmlWriter_t& writer, const String_t& tag, bool value) {
    WriteElement(writer, tag, String_t(value ? "true" : "false"));
}

void WriteXMLIntegerTag(const XmlWriter_t& writer, const String_t& tag, int value) {
    WriteElement(writer, tag, NumToStr(value));
}

void WriteXMLCatalog(const XmlWriter_t& writer, const String_t& tag, const String_t& catalogId,
                     const String_t& msgNumber) {
    // Half a catalog reference names no message, so it is left out like an empty value.
    if (catalogId.IsEmpty() || msgNumber.IsEmpty()) {
        return;
    }
    writer.OpenTag(String_t(kPrefix), tag);
    WriteXMLStringTag(writer, String_t("CatalogID"), catalogId);
    WriteXMLStringTag(writer, String_t("MsgNumber"), msgNumber);
    writer.CloseTag();
}

} // namespace KaCtrl
