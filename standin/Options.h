// The options shared by the modes that serve (service, run) and the one that only holds
// the mutex; install keeps them to put on the service's command line.
#pragma once

#include "Common.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Standin {

struct Options {
    static constexpr int kNoPort = -1;

    int port = kNoPort;  // --port N: listen on 127.0.0.1:N and [::1]:N (0: a port the system picks)
    bool http80 = false; // --http80: also listen on port 80 of both, the default address
    bool writePortSet = false; // --write-port N: the port file names N, whatever we listen on
    uint32_t writePort = 0;
    std::wstring portFile;    // --portfile PATH
    std::wstring logPath;     // --log PATH
    bool silent = false;      // --silent: accept, read, never answer
    bool noMutex = false;     // --no-mutex
    DWORD seconds = INFINITE; // --seconds N: run and mutex end by themselves after N s

    // The arguments that give these options again, paths made absolute, for a process that
    // starts elsewhere (the service manager starts the service in the system directory).
    std::vector<std::wstring> ToArguments() const;
};

// Parses args[first..] into options; relative paths are made absolute.
Outcome ParseOptions(const std::vector<std::wstring>& args, size_t first, Options& options);

} // namespace Standin
