// KaTek runtime: byte arrays.
#pragma once

#include "KaTek/Str.h"

#include <string>

namespace KaTekArray {

// CharArray_t holds narrow text, or nothing (the null array). A String_t made from it
// is the null text when it holds nothing.
class KATEK_API CharArray_t {
public:
    CharArray_t() = default;
    explicit CharArray_t(std::string bytes) : bytes_(std::move(bytes)), isNull_(false) {}

    bool IsNull() const { return isNull_; }
    // NUL-terminated text; the null pointer for the null array.
    const char* GetData() const { return isNull_ ? nullptr : bytes_.c_str(); }
    size_t GetLength() const { return bytes_.size(); }
    operator KaTekStr::String_t() const { return KaTekStr::String_t(GetData()); }

private:
    std::string bytes_;
    bool isNull_ = true;
};

} // namespace KaTekArray
