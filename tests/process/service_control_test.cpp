// Service control against the stand-in control daemon, installed as the service "KaCtrl".
#include "HandleCount.h"
#include "Holders.h"
#include "Standin.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr ULONGLONG kStateBoundMs = 30000; // Wine may take seconds to start a service
constexpr DWORD kUserControl = 200;        // the stand-in rejects every user control

char kServiceName[] = "KaCtrl";

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

DWORD CurrentState(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return ::QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Polls until service is in state; answers the last state seen.
DWORD WaitForState(SC_HANDLE service, DWORD state) {
    ULONGLONG deadline = ::GetTickCount64() + kStateBoundMs;
    DWORD current = CurrentState(service);
    while (current != state && ::GetTickCount64() < deadline) {
        ::Sleep(50);
        current = CurrentState(service);
    }
    return current;
}

class StandinService : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // The stand-in needs neither mutex nor port to answer control codes.
        service_ =
            std::make_unique<KaTest::StandinService>(std::vector<std::wstring>{L"--no-mutex"});
    }
    static void TearDownTestSuite() { service_.reset(); }

    // Every case starts from a running service, whatever the one before left.
    void SetUp() override {
        ASSERT_TRUE(service_->Installed());
        handle_.reset(KaCtrl::GetServiceControlHandle(kServiceName));
        ASSERT_TRUE(handle_) << "error " << ::GetLastError();
        DWORD state = CurrentState(handle_.get());
        if (state == SERVICE_PAUSED) {
            ASSERT_TRUE(service_->Control(L"continue"));
        } else if (state != SERVICE_RUNNING) {
            ASSERT_TRUE(service_->Control(L"start"));
        }
        ASSERT_EQ(WaitForState(handle_.get(), SERVICE_RUNNING), DWORD{SERVICE_RUNNING});
    }
    void TearDown() override { handle_.reset(); }

    static std::unique_ptr<KaTest::StandinService> service_;
    KaHold::unique_service handle_;
};

std::unique_ptr<KaTest::StandinService> StandinService::service_;

TEST(GetServiceControlHandle, ServiceThatIsNotInstalledGivesNull) {
    char madeUp[] = "KaCtrlNoSuchService";
    char blankName[] = "no such service";
    char empty[] = "";
    struct {
        char* name;
        bool madeUpName;
    } cases[] = {{madeUp, true}, {blankName, true}, {empty, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KaHold::unique_service service(KaCtrl::GetServiceControlHandle(c.name));
        DWORD error = ::GetLastError();
        EXPECT_FALSE(service);
        if (c.madeUpName) {
            // Releasing the manager handle keeps the reason for the caller.
            EXPECT_EQ(error, DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
        }
    }
}

// The manager handle is released inside GetServiceControlHandle, so every use of the handle
// here comes after that release.
TEST_F(StandinService, AcceptedControlsGiveZero) {
    struct {
        const char* what;
        DWORD control;
        DWORD stateAfter;
    } cases[] = {
        {"pause", SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
        {"pause again", SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
        {"continue", SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(KaCtrl::SendServiceControlSignal(handle_.get(), c.control), 0)
            << "error " << ::GetLastError();
        EXPECT_EQ(WaitForState(handle_.get(), c.stateAfter), c.stateAfter);
    }
}

TEST_F(StandinService, RefusedControlsGive64) {
    struct {
        const char* what;
        DWORD control;
        bool refusedOnlyByTheService; // the manager passes it on, the service says no
    } cases[] = {
        {"a control the service does not accept", SERVICE_CONTROL_PARAMCHANGE, false},
        // GENERIC_EXECUTE carries no right to interrogate.
        {"a control the handle has no right for", SERVICE_CONTROL_INTERROGATE, false},
        {"a control no caller may send", SERVICE_CONTROL_SHUTDOWN, false},
        {"no control code at all", 0, false},
        {"a code out of every range", 1000, false},
        {"a user control the service rejects", kUserControl, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.refusedOnlyByTheService && RunningUnderWine()) {
            // Wine's service manager reports success for any user control a running
            // service is sent, whatever the service's handler answers.
            continue;
        }
        EXPECT_EQ(KaCtrl::SendServiceControlSignal(handle_.get(), c.control), 64);
        EXPECT_EQ(CurrentState(handle_.get()), DWORD{SERVICE_RUNNING});
    }
}

TEST_F(StandinService, HandleWithoutTheRightGives64) {
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    KaHold::unique_service queryOnly(
        ::OpenServiceW(manager.get(), L"KaCtrl", SERVICE_QUERY_STATUS));
    ASSERT_TRUE(queryOnly);
    EXPECT_EQ(KaCtrl::SendServiceControlSignal(queryOnly.get(), SERVICE_CONTROL_PAUSE), 64);
    EXPECT_EQ(KaCtrl::SendServiceControlSignal(queryOnly.get(), SERVICE_CONTROL_STOP), 64);
    EXPECT_EQ(CurrentState(handle_.get()), DWORD{SERVICE_RUNNING});
}

TEST_F(StandinService, StoppedServiceRefusesEveryControl) {
    ASSERT_EQ(KaCtrl::SendServiceControlSignal(handle_.get(), SERVICE_CONTROL_STOP), 0);
    ASSERT_EQ(WaitForState(handle_.get(), SERVICE_STOPPED), DWORD{SERVICE_STOPPED});
    const DWORD controls[] = {SERVICE_CONTROL_STOP, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                              SERVICE_CONTROL_INTERROGATE, kUserControl};
    for (DWORD control : controls) {
        SCOPED_TRACE(control);
        EXPECT_EQ(KaCtrl::SendServiceControlSignal(handle_.get(), control), 64);
    }
}

TEST_F(StandinService, LeavesNoHandlesBehind) {
    char madeUp[] = "KaCtrlNoSuchService";
    KaTest::HandleUse before = KaTest::MeasureHandleUse();
    int unexpected = 0;
    for (int i = 0; i < 1000; ++i) {
        KaHold::unique_service service(KaCtrl::GetServiceControlHandle(kServiceName));
        unexpected += !service;
        unexpected += KaCtrl::GetServiceControlHandle(madeUp) != nullptr;
        unexpected +=
            KaCtrl::SendServiceControlSignal(handle_.get(), SERVICE_CONTROL_INTERROGATE) != 64;
    }
    KaTest::HandleUse after = KaTest::MeasureHandleUse();
    EXPECT_EQ(unexpected, 0);
    EXPECT_TRUE(KaTest::NoMoreHandles(before, after))
        << "handles " << before.count << " -> " << after.count << ", highest fresh handle "
        << before.highestFresh << " -> " << after.highestFresh;
}

} // namespace
