// KaTek runtime, private: what a conversion into a code page may ask of the platform.
#pragma once

#include <cstdint>

namespace KaTekStr {

// NarrowingFlags answers the WideCharToMultiByte flags for a conversion into codePage, an
// actual page (CP_ACP already resolved, since a manifest or the system may make the ANSI code
// page UTF-8): "no best fit" wherever the platform takes it, so that no look-alike becomes
// ASCII syntax on the way; 0 for UTF-8 and GB18030, which hold every character and refuse
// that flag, and for the pages that take no flag at all (50220-50229, 57002-57011, UTF-7
// and Symbol), which Windows refuses with ERROR_INVALID_FLAGS where Wine does not.
uint32_t NarrowingFlags(uint32_t codePage);

} // namespace KaTekStr
