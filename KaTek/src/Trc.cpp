// KaTek runtime: tracing.
#include "KaTek/Trc.h"
#include "KaTek/Config.h"
#include "KaTek/Runtime.h"

#include "AppendLine.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

namespace KaTekTrc {

namespace {

// True when area is one of AREAS' comma-separated names, or AREAS names every area.
bool IsAreaListed(const String_t& areas, const char* area) {
    const std::wstring& list = areas.Std();
    for (size_t start = 0; start <= list.size();) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) {
            comma = list.size();
        }
        String_t entry(list.substr(start, comma - start));
        entry.Trim();
        if (entry == "*" || entry == area) {
            return true;
        }
        start = comma + 1;
    }
    return false;
}

int DigitValue(wchar_t unit) {
    if (unit >= L'0' && unit <= L'9') {
        return unit - L'0';
    }
    if (unit >= L'a' && unit <= L'f') {
        return unit - L'a' + 10;
    }
    if (unit >= L'A' && unit <= L'F') {
        return unit - L'A' + 10;
    }
    return -1;
}

// Decimal or 0x-hex, all of it; false for anything else or a value beyond 32 bits.
bool ParseLevelMask(const String_t& text, uint32_t& mask) {
    String_t trimmed = text;
    trimmed.Trim();
    std::wstring digits = trimmed.Std();
    int base = 10;
    if (digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    if (digits.empty()) {
        return false;
    }
    unsigned long long value = 0;
    for (wchar_t unit : digits) {
        const int digit = DigitValue(unit);
        if (digit < 0 || digit >= base) {
            return false;
        }
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) {
            return false;
        }
    }
    mask = static_cast<uint32_t>(value);
    return true;
}

// A trace object for area when the settings trace it, or none. A level that cannot be read
// also gives none: tracing with a guessed mask could hide or flood what was asked for.
std::unique_ptr<TraceObj_t> MakeTraceObject(const char* area) {
    const KaTekConfig::Configuration_t settings =
        KaTekConfig::ConfigNamespace_t("tek.trace").Open();
    const String_t areas = KaTekConfig::FindAttr(settings, "AREAS");
    if (areas.IsEmpty() || !IsAreaListed(areas, area)) {
        return nullptr;
    }
    uint32_t mask = 0xFFFFFFFFu;
    const String_t level = KaTekConfig::FindAttr(settings, "LEVEL");
    if (level.IsNotEmpty() && !ParseLevelMask(level, mask)) {
        return nullptr;
    }
    String_t file = KaTekConfig::FindAttr(settings, "FILE");
    if (file.IsEmpty()) {
        file = KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_LOG, String_t("trace.log"));
    }
    return std::make_unique<TraceObj_t>(area, mask, file);
}

} // namespace

void TraceObj_t::DoTrace(uint32_t level, const String_t& text, const char* sourceFile,
                         int line) const {
    // A trace point must never change what the traced operation does, so nothing escapes.
    try {
        if (file_.IsEmpty()) {
            return;
        }
        // The record stays one line even when the text spans several.
        std::string utf8 = KaTekStr::NarrowUtf8(text.Std());
        std::replace(utf8.begin(), utf8.end(), '\r', ' ');
        std::replace(utf8.begin(), utf8.end(), '\n', ' ');
        std::string record = KaCommon::FormatTimeStamp() + " " +
                             std::to_string(::GetCurrentThreadId()) + " " + (area_ ? area_ : "") +
                             " " + std::to_string(level) + " " + utf8 + " (" +
                             (sourceFile ? sourceFile : "") + ":" + std::to_string(line) + ")\r\n";
        KaCommon::AppendToFile(file_.c_str(), record);
    } catch (...) {
    }
}

void TraceWrapper_t::InitObject() {
    if (HasObject()) {
        return;
    }
    std::unique_ptr<TraceObj_t> made;
    try {
        made = MakeTraceObject(area_);
    } catch (const std::exception&) {
        // Settings that cannot be read leave the area untraced; the caller runs on.
        return;
    }
    if (!made) {
        return;
    }
    // Two threads may get here together: the first to publish wins, the other's object is
    // dropped, so every caller sees one object. A published object is never deleted: the
    // wrappers are static objects of other modules, which may trace from any thread until
    // the process ends, and no one could know when the last of them stopped using it.
    TraceObj_t* expected = nullptr;
    if (obj_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) {
        made.release();
    }
}

} // namespace KaTekTrc
