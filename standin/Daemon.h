// What the daemon holds while it runs, the same for the service and the console modes:
// the named mutex, the port file, the request log and the HTTP listeners.
#pragma once

#include "HttpServer.h"
#include "Options.h"

namespace Standin {

// Holds the named mutex: created owned, so that it reads as held both to a probe that
// opens it by name and to one that waits on it. Must be released on the thread that made it.
class NamedMutexHold {
public:
    NamedMutexHold() = default;
    ~NamedMutexHold();
    NamedMutexHold(const NamedMutexHold&) = delete;
    NamedMutexHold& operator=(const NamedMutexHold&) = delete;

    Outcome Take(const wchar_t* name);

private:
    KaHold::unique_handle mutex_;
    bool owned_ = false;
};

class Daemon {
public:
    explicit Daemon(const Options& options);

    // Takes the mutex (unless --no-mutex), opens the log, listens, writes the port file.
    Outcome Open();
    // Serves until stop is signalled or --seconds pass, then closes every socket. The mutex
    // and log stay held until the daemon is destroyed.
    void Serve(HANDLE stop);

private:
    Outcome Listen(uint16_t& listened);

    Options options_;
    NamedMutexHold mutex_;
    WinsockSession winsock_;
    RequestLog log_;
    HttpServer server_;
};

// Writes value to path as four bytes, least significant first, creating missing folders. The
// file is replaced in one step, never truncated in place.
Outcome WritePortFile(const std::wstring& path, uint32_t value);

// The tick count at which --seconds end, or never.
ULONGLONG ComputeDeadline(const Options& options);

} // namespace Standin
