// RAII holders for Win32 resources, one per kind of release call, shared by the
// libraries' sources (not installed). A holder owns at most one resource and releases it
// when it is reset or destroyed; releasing keeps the thread's last-error code, so that a
// cleanup on the way out never hides the error the caller is about to read.
#pragma once

// winsock2.h must come before windows.h, which would otherwise bring the older winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winhttp.h>

#include <utility>

namespace KaHold {

template <typename T, typename Traits> class Holder {
public:
    Holder() = default;
    explicit Holder(T value) : value_(value) {}
    ~Holder() { reset(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    Holder(Holder&& other) noexcept : value_(other.release()) {}
    Holder& operator=(Holder&& other) noexcept {
        reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return Traits::IsValid(value_); }
    // The address to hand to a call that fills in a new resource; releases the old one.
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        T old = std::exchange(value_, value);
        if (Traits::IsValid(old)) {
            DWORD lastError = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(lastError);
        }
    }

private:
    T value_ = Traits::Invalid();
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none".
struct KernelTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using unique_handle = Holder<HANDLE, KernelTraits>;

struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
using unique_find = Holder<HANDLE, FindTraits>;

struct ServiceTraits {
    static SC_HANDLE Invalid() { return nullptr; }
    static bool IsValid(SC_HANDLE h) { return h != nullptr; }
    static void Close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
using unique_service = Holder<SC_HANDLE, ServiceTraits>;

struct SidTraits {
    static PSID Invalid() { return nullptr; }
    static bool IsValid(PSID p) { return p != nullptr; }
    static void Close(PSID p) { ::FreeSid(p); }
};
using unique_sid = Holder<PSID, SidTraits>;

struct LocalTraits {
    static HLOCAL Invalid() { return nullptr; }
    static bool IsValid(HLOCAL p) { return p != nullptr; }
    static void Close(HLOCAL p) { ::LocalFree(p); }
};
using unique_local = Holder<HLOCAL, LocalTraits>;

struct WinHttpTraits {
    static HINTERNET Invalid() { return nullptr; }
    static bool IsValid(HINTERNET h) { return h != nullptr; }
    static void Close(HINTERNET h) { ::WinHttpCloseHandle(h); }
};
using unique_winhttp = Holder<HINTERNET, WinHttpTraits>;

// Winsock sockets (closing one needs ws2_32).
struct SocketTraits {
    static SOCKET Invalid() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
    static void Close(SOCKET s) { ::closesocket(s); }
};
using unique_socket = Holder<SOCKET, SocketTraits>;

// The address list GetAddrInfoW hands out (freeing it needs ws2_32).
struct AddressInfoTraits {
    static PADDRINFOW Invalid() { return nullptr; }
    static bool IsValid(PADDRINFOW p) { return p != nullptr; }
    static void Close(PADDRINFOW p) { ::FreeAddrInfoW(p); }
};
using unique_address_info = Holder<PADDRINFOW, AddressInfoTraits>;

// The block GetEnvironmentStringsW hands out.
struct EnvironmentStringsTraits {
    static LPWCH Invalid() { return nullptr; }
    static bool IsValid(LPWCH p) { return p != nullptr; }
    static void Close(LPWCH p) { ::FreeEnvironmentStringsW(p); }
};
using unique_environment_strings = Holder<LPWCH, EnvironmentStringsTraits>;

// An initialised process/thread attribute list; its memory belongs to the caller.
struct AttributeListTraits {
    static LPPROC_THREAD_ATTRIBUTE_LIST Invalid() { return nullptr; }
    static bool IsValid(LPPROC_THREAD_ATTRIBUTE_LIST p) { return p != nullptr; }
    static void Close(LPPROC_THREAD_ATTRIBUTE_LIST p) { ::DeleteProcThreadAttributeList(p); }
};
using unique_attribute_list = Holder<LPPROC_THREAD_ATTRIBUTE_LIST, AttributeListTraits>;

// A library loaded by LoadLibrary.
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE m) { return m != nullptr; }
    static void Close(HMODULE m) { ::FreeLibrary(m); }
};
using unique_module = Holder<HMODULE, ModuleTraits>;

} // namespace KaHold
