#include "Failure.h"

#include "Buffers.h"

#include "KaTek.h"

#include <windows.h>

#include <new>
#include <stdexcept>
#include <system_error>

namespace KaCtrlC {

namespace {

struct LastFailure {
    uint32_t number = 0;
    std::wstring text;
};

// Each thread's own record, so that concurrent callers never read one another's failure. It
// lives in a fiber-local slot, whose callback frees it when the thread ends: a C++
// thread_local object with a destructor would not do here, since this runtime frees a DLL's
// thread-local storage at thread exit before it runs the object's destructor on it.
DWORD failureSlot = FLS_OUT_OF_INDEXES;

void WINAPI FreeLastFailure(void* failure) {
    delete static_cast<LastFailure*>(failure);
}

// The calling thread's record, made on its first failure; null when no memory is left for
// one, in which case the thread reads no failure. The caller's last-error code stays as it
// was: the slot's calls may set it.
LastFailure* ThreadFailure(bool make) noexcept {
    const DWORD lastError = ::GetLastError();
    auto* failure = static_cast<LastFailure*>(::FlsGetValue(failureSlot));
    if (failure == nullptr && make) {
        failure = new (std::nothrow) LastFailure();
        if (failure != nullptr && !::FlsSetValue(failureSlot, failure)) {
            delete failure;
            failure = nullptr;
        }
    }
    ::SetLastError(lastError);
    return failure;
}

uint32_t FirstNumber(const KaTekMsg::Exception_t& error) {
    const auto& messages = error.GetMessageList().GetMessages();
    return messages.empty() ? 0 : messages.front().GetNumber();
}

// The exception being handled, recorded; building its text may itself throw.
KaCtrlStatus RecordRethrown() {
    try {
        throw;
    } catch (const Refusal& refusal) {
        return Record(refusal.status, refusal.number, refusal.text);
    } catch (const KaTekMsg::Exception_t& error) {
        return Record(KACTRL_CONFIG_ERROR, FirstNumber(error),
                      error.GetMessageList().Format(KaTekMsg::FMT_LINES).Std());
    } catch (const std::bad_alloc&) {
        return Record(KACTRL_OUT_OF_MEMORY, 0, L"out of memory");
    } catch (const std::length_error& error) {
        return Record(KACTRL_TOO_LONG, 0, KaTekStr::WidenUtf8(error.what()));
    } catch (const std::system_error& error) {
        return Record(KACTRL_PLATFORM_ERROR, static_cast<uint32_t>(error.code().value()),
                      KaTekStr::WidenUtf8(error.what()));
    } catch (const std::exception& error) {
        return Record(KACTRL_PLATFORM_ERROR, ERROR_INTERNAL_ERROR,
                      KaTekStr::WidenUtf8(error.what()));
    } catch (...) {
        return Record(KACTRL_PLATFORM_ERROR, ERROR_INTERNAL_ERROR, L"unknown exception");
    }
}

} // namespace

bool AllocateFailureSlot() noexcept {
    failureSlot = ::FlsAlloc(FreeLastFailure);
    return failureSlot != FLS_OUT_OF_INDEXES;
}

void FreeFailureSlot() noexcept {
    if (failureSlot != FLS_OUT_OF_INDEXES) {
        ::FlsFree(failureSlot);
        failureSlot = FLS_OUT_OF_INDEXES;
    }
}

void Refuse(KaCtrlStatus status, std::wstring text, uint32_t number) {
    throw Refusal{status, number, std::move(text)};
}

KaCtrlStatus Record(KaCtrlStatus status, uint32_t number, std::wstring_view text) noexcept {
    LastFailure* failure = ThreadFailure(true);
    if (failure == nullptr) {
        return status;
    }
    failure->number = number;
    try {
        failure->text.assign(text);
    } catch (...) {
        failure->text.clear();
    }
    return status;
}

KaCtrlStatus RecordCurrentException() noexcept {
    try {
        return RecordRethrown();
    } catch (...) {
        return Record(KACTRL_OUT_OF_MEMORY, 0, {});
    }
}

} // namespace KaCtrlC

// Reading is no call that fails in the sense of the failure it reads: it records nothing.
KaCtrlStatus KaCtrlGetLastFailure(uint32_t* number, wchar_t* text, size_t size, size_t* needed) {
    const KaCtrlC::LastFailure* failure = KaCtrlC::ThreadFailure(false);
    const std::wstring_view kept = failure != nullptr ? failure->text : std::wstring_view();
    KaCtrlStatus status = KaCtrlC::CopyOut(kept, text, size, needed);
    if (number != nullptr && status != KACTRL_INVALID_ARGUMENT) {
        *number = failure != nullptr ? failure->number : 0;
    }
    return status;
}
