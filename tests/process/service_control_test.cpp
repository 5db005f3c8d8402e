// Service control against the stand-in control daemon, installed as the service "KaCtrl".
// GetServiceControlHandle releases its manager handle before it returns, so every use of a
// handle here comes after that release.
#include "Checks.h"
#include "Holders.h"
#include "Standin.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

namespace {

char kServiceName[] = "KaCtrl"; // writable, as the library takes it
char kMadeUpName[] = "KaCtrlNoSuchService";

// Polls until service is in state (Wine may take seconds); answers the last state seen.
DWORD WaitForState(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status{};
    int polls = 600;
    while (::QueryServiceStatus(service, &status) && status.dwCurrentState != state && --polls) {
        ::Sleep(50);
    }
    return status.dwCurrentState;
}

TEST(ServiceControl, AcceptedControlsGiveZeroRefusedOnes64AndNoHandleLeaks) {
    // A service that is not installed: null, and releasing the manager handle keeps the
    // reason for the caller.
    KaHold::unique_service none(KaCtrl::GetServiceControlHandle(kMadeUpName));
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_FALSE(none);
    // The stand-in needs neither mutex nor port to answer control codes.
    KaTest::StandinService standin({L"--no-mutex"});
    ASSERT_TRUE(standin.Installed() && standin.Control(L"start"));
    KaHold::unique_service service(KaCtrl::GetServiceControlHandle(kServiceName));
    ASSERT_TRUE(service) << "error " << ::GetLastError();
    ASSERT_EQ(WaitForState(service.get(), SERVICE_RUNNING), DWORD{SERVICE_RUNNING});
    // An accepted control: 0, and the service acts on it; a refused one (the stand-in takes
    // no parameter change): 64.
    EXPECT_EQ(KaCtrl::SendServiceControlSignal(service.get(), SERVICE_CONTROL_PAUSE), 0);
    EXPECT_EQ(WaitForState(service.get(), SERVICE_PAUSED), DWORD{SERVICE_PAUSED});
    EXPECT_EQ(KaCtrl::SendServiceControlSignal(service.get(), SERVICE_CONTROL_PARAMCHANGE), 64);

    uintptr_t before = KaTest::HighestFreshHandle();
    int unexpected = 0;
    for (int i = 0; i < 1000; ++i) {
        unexpected += !KaHold::unique_service(KaCtrl::GetServiceControlHandle(kServiceName));
        unexpected += KaCtrl::GetServiceControlHandle(kMadeUpName) != nullptr;
        // GENERIC_EXECUTE carries no right to interrogate; the handle asks for that right too.
        unexpected +=
            KaCtrl::SendServiceControlSignal(service.get(), SERVICE_CONTROL_INTERROGATE) != 0;
    }
    EXPECT_EQ(unexpected, 0);
    EXPECT_TRUE(KaTest::NoMoreHandlesThan(before));
}

// The name is narrow text in the ANSI code page, as the caller holds it: in code page 932 both
// U+8868 and U+30BD end in the byte of "\" (0x5C), and neither is a "\". A page that cannot
// hold them (1252) makes "?" of them, which names no service.
TEST(ServiceControl, NarrowNameIsReadInTheAnsiCodePage) {
    const std::wstring name = L"KaCtrl\x8868\x30BD" + std::to_wstring(::GetCurrentProcessId());
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    KaHold::unique_service made(::CreateServiceW(manager.get(), name.c_str(), name.c_str(), DELETE,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                 SERVICE_ERROR_IGNORE, L"C:\\no-such.exe", nullptr,
                                                 nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(made) << "error " << ::GetLastError();
    std::string narrow = KaTekStr::MBS_t(KaTekStr::String_t(name), KaTekStr::ENC_ANSI).c_str();
    EXPECT_EQ(bool(KaHold::unique_service(KaCtrl::GetServiceControlHandle(&narrow[0]))),
              GetACP() != 1252);
    EXPECT_TRUE(::DeleteService(made.get()));
}

} // namespace
