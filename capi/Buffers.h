// The sizing convention of the C interface, apart from any platform call: how an answer
// reaches a buffer the caller owns, and the list form of REG_MULTI_SZ.
#pragma once

#include "KaCtrlUtilsC.h"

#include <algorithm>
#include <list>
#include <string>
#include <string_view>

namespace KaCtrlC {

// CopyOut writes answer and its ending NUL into buffer when size holds them, and tells
// needed how many units that takes either way. A null needed, or a null buffer of a size
// other than 0, is refused with nothing written but a needed of 0.
template <class Unit>
KaCtrlStatus CopyOut(std::basic_string_view<Unit> answer, Unit* buffer, size_t size,
                     size_t* needed) noexcept {
    if (needed == nullptr) {
        return KACTRL_INVALID_ARGUMENT;
    }
    if (buffer == nullptr && size != 0) {
        *needed = 0;
        return KACTRL_INVALID_ARGUMENT;
    }
    // A view is never SIZE_MAX long: the NUL always has a unit to be counted in.
    *needed = answer.size() + 1;
    if (size < *needed) {
        return KACTRL_BUFFER_TOO_SMALL;
    }
    std::copy(answer.begin(), answer.end(), buffer);
    buffer[answer.size()] = Unit();
    return KACTRL_SUCCESS;
}

// JoinMultiString answers names each ended by a NUL, less the one more that CopyOut adds:
// for no name the lone NUL that, with CopyOut's, makes the two of an empty list.
template <class Text> std::wstring JoinMultiString(const std::list<Text>& names) {
    std::wstring joined;
    for (const Text& name : names) {
        joined.append(name.Std()).push_back(L'\0');
    }
    if (names.empty()) {
        joined.push_back(L'\0');
    }
    return joined;
}

} // namespace KaCtrlC
