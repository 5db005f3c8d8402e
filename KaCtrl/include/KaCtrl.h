// KaCtrl, the control component's library: its message catalog, its message log and the
// node's certificate state. One DLL, KaCtrl.dll.
//
// The log is "<log directory>\KaCtrl.log" (Dir_t::Path(DIR_LOG)); each message is one
// line: "<yyyy-mm-dd hh:mm:ss.mmm> <catalog>(<number>): <text>". The certificate counts as
// installed when "<configuration directory>\certs\node.pem" exists (Dir_t::Path(DIR_KA_CONF)).
#pragma once

#include "KaTek.h"

#include <cstdint>

#ifdef KACTRL_BUILD
#define KACTRL_API __declspec(dllexport)
#else
#define KACTRL_API __declspec(dllimport)
#endif

namespace KaCtrl {

// True when the node's certificate file exists.
KACTRL_API bool IsCertInstalled();

class KACTRL_API Catalog {
public:
    // The control component's catalog, id "KaCtrl".
    static const KaTekMsg::MessageCatalog_t& GetCatalog();
};

// CatalogMessage is a message of the catalog: its number and its default text, "%1" standing
// for its argument.
struct CatalogMessage {
    uint32_t number;
    const char* defaultText;
};

inline constexpr CatalogMessage kNotABoolean{1, "Not a boolean value '%1'."};
inline constexpr CatalogMessage kErrorListingDirectory{2, "Error listing directory '%1'."};
inline constexpr CatalogMessage kErrorGettingCoreId{3, "Error getting KaCore ID: '%1'."};

// Appends each message of the list to the control log; never throws because the log
// cannot be written.
KACTRL_API void LogMessage(const KaTekMsg::MessageList_t& messages);

} // namespace KaCtrl
