// Internal: the three ways the library reports a failure with a message of the control
// catalog (KaCtrl.h holds its messages).
#pragma once

#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include <initializer_list>

namespace KaCtrl {

// MakeCatalogMessage builds message of the control catalog with its arguments in
// placeholder order.
KaTekMsg::Message_t MakeCatalogMessage(const CatalogMessage& message,
                                       std::initializer_list<String_t> args);

// RaiseCatalogError throws IllegalStateError_t carrying the catalog message.
[[noreturn]] void RaiseCatalogError(const CatalogMessage& message,
                                    std::initializer_list<String_t> args);

// RaiseWrapped throws the catalog message with the caught exception's messages, formatted
// one per line, as its only argument; the caught exception itself is dropped.
[[noreturn]] void RaiseWrapped(const CatalogMessage& message, const KaTekMsg::Exception_t& caught);

// LogCaughtThenOwn logs the caught exception's messages, then the catalog message, as two
// entries of the control log.
void LogCaughtThenOwn(const KaTekMsg::Exception_t& caught, const CatalogMessage& message,
                      std::initializer_list<String_t> args);

} // namespace KaCtrl
