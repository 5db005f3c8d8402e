// Shows KaTek texts readably in test failure messages.
#pragma once

#include "KaTek/Str.h"

#include <ostream>

namespace KaTekStr {

inline void PrintTo(const String_t& text, std::ostream* out) {
    if (text.IsNull()) {
        *out << "(null)";
        return;
    }
    *out << '"' << NarrowUtf8(text.Std()) << '"';
}

} // namespace KaTekStr
