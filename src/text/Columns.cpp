// Fixed-width columns of the plain-text status tables. A field is padded but never cut, so
// a long value pushes the rest of its row right instead of losing characters.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include <cstdint>

namespace KaCtrl {

namespace {

String_t PadRight(const String_t& text, uint32_t width) {
    String_t padded(text);
    for (uint32_t length = padded.GetLength(); length < width; ++length) {
        padded += " ";
    }
    return padded;
}

} // namespace

String_t FormatName(const String_t& text) {
    return PadRight(text, 11);
}

String_t FormatDescription(const String_t& text) {
    return PadRight(text, 35);
}

String_t FormatCategory(const String_t& text) {
    return PadRight(text, 12);
}

String_t FormatPID(const String_t& text) {
    return PadRight(text, 8);
}

} // namespace KaCtrl
