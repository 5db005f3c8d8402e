#include "Daemon.h"

#include "WhileHeld.h"

#include <climits>

namespace Standin {

namespace {

constexpr ULONGLONG kReplaceTimeoutMs = 5000;

// Creates every missing folder above the file at path.
void CreateParentFolders(const std::wstring& path) {
    // Start after the root ("C:\" or "\\server\share\"), which cannot be created.
    size_t from = path.compare(0, 2, L"\\\\") == 0 ? path.find(L'\\', path.find(L'\\', 2) + 1)
                                                   : path.find(L'\\');
    if (from == std::wstring::npos) {
        return;
    }
    for (size_t at = path.find(L'\\', from + 1); at != std::wstring::npos;
         at = path.find(L'\\', at + 1)) {
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

// Writes bytes to a new file at path, through to the disk.
Outcome WriteNewFile(const std::wstring& path, const void* bytes, DWORD size) {
    KaHold::unique_handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), bytes, size, &written, nullptr) || written != size ||
        !::FlushFileBuffers(file.get())) {
        return Outcome::LastError("cannot write ", path);
    }
    return Outcome::Success();
}

// Moves from over to, replacing it, while readers let it.
bool MoveOver(const std::wstring& from, const std::wstring& to) {
    return KaFiles::RetryWhileHeld(kReplaceTimeoutMs, [&] {
        return ::MoveFileExW(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
}

} // namespace

NamedMutexHold::~NamedMutexHold() {
    if (owned_) {
        ::ReleaseMutex(mutex_.get());
    }
}

Outcome NamedMutexHold::Take(const wchar_t* name) {
    // Waiting on it is all a probe needs; this holder also releases it.
    ObjectSecurity security;
    Outcome outcome = GrantToAdministratorsAndSystem(SYNCHRONIZE, security);
    if (!outcome.Ok()) {
        return outcome;
    }
    mutex_.reset(::CreateMutexExW(&security.attributes, name, CREATE_MUTEX_INITIAL_OWNER,
                                  SYNCHRONIZE | MUTEX_MODIFY_STATE));
    if (!mutex_) {
        return Outcome::LastError("cannot create the mutex ", name);
    }
    // When it existed already (another stand-in holds it), it is ours only to keep open.
    owned_ = ::GetLastError() != ERROR_ALREADY_EXISTS;
    return Outcome::Success();
}

Outcome WritePortFile(const std::wstring& path, uint32_t value) {
    CreateParentFolders(path);
    const unsigned char bytes[4] = {static_cast<unsigned char>(value & 0xFF),
                                    static_cast<unsigned char>((value >> 8) & 0xFF),
                                    static_cast<unsigned char>((value >> 16) & 0xFF),
                                    static_cast<unsigned char>((value >> 24) & 0xFF)};
    // Written beside it and moved over it in one step, so that a reader finds the old file or
    // the new one whole, never an empty one. The process id keeps two writers apart.
    std::wstring temporary = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
    Outcome outcome = WriteNewFile(temporary, bytes, sizeof(bytes));
    if (outcome.Ok() && !MoveOver(temporary, path)) {
        outcome = Outcome::LastError("cannot replace the port file ", path);
    }
    if (!outcome.Ok()) {
        ::DeleteFileW(temporary.c_str());
    }
    return outcome;
}

ULONGLONG ComputeDeadline(const Options& options) {
    if (options.seconds == INFINITE) {
        return ULLONG_MAX;
    }
    return ::GetTickCount64() + static_cast<ULONGLONG>(options.seconds) * 1000;
}

Daemon::Daemon(const Options& options) : options_(options), server_(log_, options.silent) {}

Outcome Daemon::Open() {
    Outcome outcome = options_.noMutex ? Outcome::Success() : mutex_.Take(kMutexNameW);
    if (outcome.Ok() && !options_.logPath.empty()) {
        CreateParentFolders(options_.logPath);
        outcome = log_.Open(options_.logPath);
    }
    uint16_t listened = 0;
    if (outcome.Ok()) {
        outcome = Listen(listened);
    }
    if (outcome.Ok() && !options_.portFile.empty()) {
        uint32_t named = options_.writePortSet ? options_.writePort : listened;
        if (options_.writePortSet || options_.port != Options::kNoPort) {
            outcome = WritePortFile(options_.portFile, named);
        }
    }
    return outcome;
}

// Listens where the options say; listened receives the port of --port.
Outcome Daemon::Listen(uint16_t& listened) {
    if (options_.port == Options::kNoPort && !options_.http80) {
        return Outcome::Success();
    }
    Outcome outcome = winsock_.Start();
    if (outcome.Ok() && options_.port != Options::kNoPort) {
        outcome = server_.Listen(static_cast<uint16_t>(options_.port), listened);
    }
    // One listener is enough when --port names 80 too.
    if (outcome.Ok() && options_.http80 && options_.port != 80) {
        uint16_t bound = 0;
        outcome = server_.Listen(80, bound);
    }
    return outcome;
}

void Daemon::Serve(HANDLE stop) {
    server_.Serve(stop, ComputeDeadline(options_));
}

} // namespace Standin
