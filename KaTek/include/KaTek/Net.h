// KaTek runtime: URIs.
#pragma once

#include "KaTek/Str.h"

#include <cstdint>

namespace KaTekNet {

using KaTekStr::String_t;

// URI_t is an absolute http or https URI, taken apart by the platform's URL cracker
// (WinHttpCrackUrl). URI_t() is the empty URI. Text that is not an absolute http or https
// URI, or whose port is above 65535, raises RuntimeError_t.
class KATEK_API URI_t {
public:
    URI_t() = default;
    explicit URI_t(const String_t& text);

    bool IsEmpty() const { return text_.IsEmpty(); }
    const String_t& GetText() const { return text_; }
    const String_t& GetScheme() const { return scheme_; }  // "http" or "https"
    const String_t& GetHost() const { return host_; }
    uint16_t GetPort() const { return port_; }              // the scheme's default when none given
    bool HasExplicitPort() const { return explicitPort_; }
    const String_t& GetPath() const { return path_; }       // path and query, "/" at least

private:
    String_t text_;
    String_t scheme_;
    String_t host_;
    uint16_t port_ = 0;
    bool explicitPort_ = false;
    String_t path_;
};

} // namespace KaTekNet
