// Internal: the control catalog's messages that this library raises or logs, and the
// three ways it reports a failure with them.
#pragma once

#include "frame/Export.h"

#include <cstdint>
#include <initializer_list>

namespace KaCtrl {

struct CatalogMessage {
    uint32_t number;
    const char* defaultText;
};

inline constexpr CatalogMessage kNotABoolean{1, "Not a boolean value '%1'."};
inline constexpr CatalogMessage kErrorListingDirectory{2, "Error listing directory '%1'."};
inline constexpr CatalogMessage kErrorGettingCoreId{3, "Error getting KaCore ID: '%1'."};

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
