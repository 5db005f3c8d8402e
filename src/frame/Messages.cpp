#include "frame/Messages.h"

namespace KaCtrl {

KaTekMsg::Message_t MakeCatalogMessage(const CatalogMessage& message,
                                       std::initializer_list<String_t> args) {
    KaTekMsg::CreateError_t builder(Catalog::GetCatalog(), message.number, message.defaultText);
    for (const String_t& arg : args) {
        builder << arg;
    }
    return builder;
}

void RaiseCatalogError(const CatalogMessage& message, std::initializer_list<String_t> args) {
    throw KaTekMsg::IllegalStateError_t(MakeCatalogMessage(message, args));
}

void RaiseWrapped(const CatalogMessage& message, const KaTekMsg::Exception_t& caught) {
    RaiseCatalogError(message, {caught.GetMessageList().Format(KaTekMsg::FMT_LINES)});
}

void LogCaughtThenOwn(const KaTekMsg::Exception_t& caught, const CatalogMessage& message,
                      std::initializer_list<String_t> args) {
    KaTekMsg::MessageList_t caughtMessages = caught.GetMessageList();
    LogMessage(caughtMessages);
    KaTekMsg::MessageList_t own;
    own.Add(MakeCatalogMessage(message, args));
    LogMessage(own);
}

} // namespace KaCtrl
