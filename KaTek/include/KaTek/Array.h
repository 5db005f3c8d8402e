// KaTek runtime: byte arrays.
#pragma once

#include "KaTek/Str.h"

#include <string>

namespace KaTekArray {

// CharArray_t holds narrow text, or nothing (the null array). A String_t made from it is the
// null text when it holds nothing. An array made from a text keeps that text too: its narrow
// copy is in the ANSI code page, where characters the code page lacks become its default
// character, but the String_t made back from it is the exact text, so a value that only
// passes through narrow form on its way from one text to another loses nothing.
class KATEK_API CharArray_t {
public:
    CharArray_t() = default;
    explicit CharArray_t(std::string bytes) : bytes_(std::move(bytes)), isNull_(false) {}
    explicit CharArray_t(const KaTekStr::String_t& text)
        : text_(text), isNull_(false), hasText_(true) {
        const KaTekStr::MBS_t narrow(text, KaTekStr::ENC_ANSI);
        bytes_.assign(narrow.c_str(), narrow.size());
    }

    bool IsNull() const { return isNull_; }
    // NUL-terminated text; the null pointer for the null array.
    const char* GetData() const { return isNull_ ? nullptr : bytes_.c_str(); }
    size_t GetLength() const { return bytes_.size(); }
    operator KaTekStr::String_t() const {
        return hasText_ ? text_ : KaTekStr::String_t(GetData());
    }

private:
    std::string bytes_;
    KaTekStr::String_t text_;
    bool isNull_ = true;
    bool hasText_ = false;
};

} // namespace KaTekArray
