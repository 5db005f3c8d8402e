// KaTek runtime: tracing.
//
// Tracing is configured in the settings file's namespace "tek.trace":
//     AREAS  comma-separated area names to trace ("*" for every area)
//     LEVEL  the 32-bit level mask, decimal or 0x-hex (default 0xFFFFFFFF)
//     FILE   the trace file (default "<log directory>\trace.log")
// A TraceWrapper_t is constant-initialised (no code runs to make it). InitObject reads
// the configuration and attaches a TraceObj_t only when the wrapper's area is traced; it
// attaches at most once per process, and a wrapper left without an object tries again on
// the next InitObject, which costs what an Open of an unchanged settings file costs (the
// configuration keeps the file's last parse). DoTrace appends one line:
//     <yyyy-mm-dd hh:mm:ss.mmm> <thread id> <area> <level> <text> (<file>:<line>)
// and never throws because the trace file cannot be written.
#pragma once

#include "KaTek/Str.h"

#include <atomic>
#include <cstdint>

namespace KaTekTrc {

using KaTekStr::String_t;

class KATEK_API TraceObj_t {
public:
    TraceObj_t(const char* area, uint32_t levelMask, const String_t& file)
        : area_(area), levelMask_(levelMask), file_(file) {}
    uint32_t GetLevelMask() const { return levelMask_; }
    const String_t& GetFile() const { return file_; }
    void DoTrace(uint32_t level, const String_t& text, const char* sourceFile, int line) const;

private:
    const char* area_;
    uint32_t levelMask_;
    String_t file_;
};

class KATEK_API TraceWrapper_t {
public:
    constexpr TraceWrapper_t(const char* area, int kind)
        : area_(area), kind_(kind), obj_(nullptr) {}
    TraceWrapper_t(const TraceWrapper_t&) = delete;
    TraceWrapper_t& operator=(const TraceWrapper_t&) = delete;

    const char* GetArea() const { return area_; }
    int GetKind() const { return kind_; }
    bool HasObject() const { return obj_.load(std::memory_order_acquire) != nullptr; }
    void InitObject();
    // The attached object; call only when HasObject() is true.
    operator TraceObj_t&() const { return *obj_.load(std::memory_order_acquire); }

private:
    const char* area_;
    int kind_;
    std::atomic<TraceObj_t*> obj_;
};

} // namespace KaTekTrc
