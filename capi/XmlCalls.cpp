// XML tag writers on a document held by a handle.
#include "Calls.h"

#include "KaCtrlUtils.h"

#include <memory>

using namespace KaCtrlC;

struct KaCtrlXmlWriter {
    KaTekXml::XmlWriter_t writer; // writes into its own text
};

namespace {

// Write runs write on the writer behind handle, refusing a null handle.
template <class Action> KaCtrlStatus Write(KaCtrlXmlWriter* handle, Action&& write) noexcept {
    return Guard([&] {
        write(Out(handle, L"writer").writer);
        return KACTRL_SUCCESS;
    });
}

} // namespace

KaCtrlStatus KaCtrlCreateXmlWriter(KaCtrlXmlWriter** writer) {
    return Guard([&] {
        KaCtrlXmlWriter*& made = Out(writer, L"writer");
        made = nullptr;
        auto handle = std::make_unique<KaCtrlXmlWriter>();
        handle->writer.StartDocument();
        made = handle.release();
        return KACTRL_SUCCESS;
    });
}

void KaCtrlFreeXmlWriter(KaCtrlXmlWriter* writer) {
    delete writer;
}

KaCtrlStatus KaCtrlXmlOpenTag(KaCtrlXmlWriter* writer, const wchar_t* prefix, const wchar_t* name) {
    return Write(writer, [&](const KaTekXml::XmlWriter_t& xml) {
        xml.OpenTag(TakeText(prefix, L"prefix"), TakeText(name, L"name"));
    });
}

KaCtrlStatus KaCtrlXmlCloseTag(KaCtrlXmlWriter* writer) {
    return Write(writer, [](const KaTekXml::XmlWriter_t& xml) { xml.CloseTag(); });
}

KaCtrlStatus KaCtrlWriteXMLStringTag(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                     const wchar_t* value) {
    return Write(writer, [&](const KaTekXml::XmlWriter_t& xml) {
        KaCtrl::WriteXMLStringTag(xml, TakeText(tag, L"tag"), TakeText(value, L"value"));
    });
}

KaCtrlStatus KaCtrlWriteXMLBoolTag(KaCtrlXmlWriter* writer, const wchar_t* tag, int32_t value) {
    return Write(writer, [&](const KaTekXml::XmlWriter_t& xml) {
        KaCtrl::WriteXMLBoolTag(xml, TakeText(tag, L"tag"), value != 0);
    });
}

KaCtrlStatus KaCtrlWriteXMLIntegerTag(KaCtrlXmlWriter* writer, const wchar_t* tag, int32_t value) {
    return Write(writer, [&](const KaTekXml::XmlWriter_t& xml) {
        KaCtrl::WriteXMLIntegerTag(xml, TakeText(tag, L"tag"), value);
    });
}

KaCtrlStatus KaCtrlWriteXMLCatalog(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                   const wchar_t* catalogId, const wchar_t* msgNumber) {
    return Write(writer, [&](const KaTekXml::XmlWriter_t& xml) {
        KaCtrl::WriteXMLCatalog(xml, TakeText(tag, L"tag"), TakeText(catalogId, L"catalogId"),
                                TakeText(msgNumber, L"msgNumber"));
    });
}

KaCtrlStatus KaCtrlGetXmlDocument(KaCtrlXmlWriter* writer, char* document, size_t size,
                                  size_t* needed) {
    return AnswerText(document, size, needed, [&] {
        const KaTekXml::XmlWriter_t& xml = Out(writer, L"writer").writer;
        xml.EndDocument();
        return xml.GetDocument();
    });
}
