// Internal: the URI form of a file name made from units the caller gives up, so that a
// long text is turned where it lies instead of in a copy.
#pragma once

#include "KaTek.h"

#include <string>

namespace KaCtrl {

// UnitsToURI answers units with each backslash before the first NUL turned into "/", as
// FileNameToURI does without escaping spaces.
KaTekStr::String_t UnitsToURI(std::wstring&& units);

} // namespace KaCtrl
