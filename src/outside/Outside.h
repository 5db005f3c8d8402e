// Internal: the names through which the library reaches the runtime (KaTek), the
// communication library (KaLnk) and the control library (KaCtrl).
#pragma once

#include "KaCtrl.h"
#include "KaLnk.h"
#include "KaTek.h"

namespace KaCtrl {

using KaTekArray::CharArray_t;
using KaTekConfig::ConfigNamespace_t;
using KaTekConfig::Configuration_t;
using KaTekIo::DataInputStream_t;
using KaTekIo::DirLister_t;
using KaTekIo::File_t;
using KaTekIo::FileInputStream_t;
using KaTekMsg::Exception_t;
using KaTekMsg::IllegalStateError_t;
using KaTekMsg::MessageList_t;
using KaTekRuntime::Dir_t;
using KaTekRuntime::DirKey_e;
using KaTekStr::MBS_t;
using KaTekStr::NumToStr;
using KaTekStr::UTF16CodePoint_t;

// The control library shares this namespace, so its names need no using-declaration to be
// seen here; these say which of them the library takes from KaCtrl.dll.
using KaCtrl::Catalog;
using KaCtrl::CatalogMessage;
using KaCtrl::IsCertInstalled;
using KaCtrl::kErrorGettingCoreId;
using KaCtrl::kErrorListingDirectory;
using KaCtrl::kNotABoolean;
using KaCtrl::LogMessage;

} // namespace KaCtrl
