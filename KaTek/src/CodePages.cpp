// KaTek runtime: the flags each code page takes.
#include "CodePages.h"

#include <windows.h>

namespace KaTekStr {

uint32_t NarrowingFlags(uint32_t codePage) {
    const bool holdsEveryCharacter = codePage == CP_UTF8 || codePage == 54936;
    const bool takesNoFlags = (codePage >= 50220 && codePage <= 50229) ||
                              (codePage >= 57002 && codePage <= 57011) || codePage == CP_UTF7 ||
                              codePage == CP_SYMBOL;
    return holdsEveryCharacter || takesNoFlags ? 0 : WC_NO_BEST_FIT_CHARS;
}

} // namespace KaTekStr
