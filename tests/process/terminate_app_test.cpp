// TerminateApp against real child processes: children of this program that create their
// stop event and end on it (soon, late or never), and children without a stop event.
#include "ChildMode.h"
#include "HandleCount.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

using KaCtrl::String_t;

constexpr DWORD kEndedByItself = 7;         // a child that ended on its stop event
constexpr DWORD kForcedExitCode = 0;        // TerminateApp's exit code for a forced end
constexpr DWORD kStartBoundMs = 30000;      // Wine may take seconds to start a process
constexpr ULONGLONG kNoWaitBoundMs = 20000; // far below the 60 s time-out of no-wait cases
constexpr DWORD kNever = INFINITE;

std::wstring StopEventName(const std::wstring& name) {
    return L"com.trelm.ka." + name + L".stop";
}

void TellParentReady(const std::wstring& readyName) {
    KaHold::unique_handle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str()));
    ::SetEvent(ready.get());
}

// args: stop-event name, ready-event name, milliseconds to linger after the stop request
// ("-1": never end).
int StopOnEvent(const std::vector<std::wstring>& args) {
    KaHold::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, args.at(0).c_str()));
    TellParentReady(args.at(1));
    ::WaitForSingleObject(stop.get(), INFINITE);
    ::Sleep(static_cast<DWORD>(std::stol(args.at(2))));
    return kEndedByItself;
}

// args: ready-event name. Has no stop event, so only a forced end stops it.
int Idle(const std::vector<std::wstring>& args) {
    TellParentReady(args.at(0));
    ::Sleep(INFINITE);
    return kEndedByItself;
}

KaTest::ChildMode stopOnEventMode(L"stop-on-event", StopOnEvent);
KaTest::ChildMode idleMode(L"idle", Idle);

// A name no other test program uses, for events and applications of one case.
std::wstring UniqueName(const wchar_t* base) {
    static std::atomic<unsigned> counter{0};
    return std::wstring(base) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
}

// A child, ready for TerminateApp, and (when it has one) its stop event held open here so
// that the test can see whether it was signalled, even after the child ended.
struct Target {
    KaTest::ChildProcess child;
    KaHold::unique_handle stopEvent;
};

// Throws when the child ends or takes too long instead of getting ready, which fails the
// test that started it.
void WaitUntilReady(const KaTest::ChildProcess& child, HANDLE ready) {
    HANDLE both[] = {ready, child.Handle()};
    if (::WaitForMultipleObjects(2, both, FALSE, kStartBoundMs) != WAIT_OBJECT_0) {
        throw std::runtime_error("the child did not get ready");
    }
}

Target StartTarget(const std::wstring& stopEventName, DWORD lingerMs) {
    std::wstring readyName = UniqueName(L"ka-process-test-ready");
    KaHold::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    Target target;
    if (stopEventName.empty()) {
        target.child = KaTest::ChildProcess::Start(L"idle", {readyName});
    } else {
        std::wstring linger = lingerMs == kNever ? L"-1" : std::to_wstring(lingerMs);
        target.child =
            KaTest::ChildProcess::Start(L"stop-on-event", {stopEventName, readyName, linger});
    }
    WaitUntilReady(target.child, ready.get());
    if (!stopEventName.empty()) {
        target.stopEvent.reset(::OpenEventW(SYNCHRONIZE, FALSE, stopEventName.c_str()));
    }
    return target;
}

bool Signalled(HANDLE event) {
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

struct TerminateCase {
    const char* what;
    std::wstring childEventName; // empty: the child has no stop event
    std::wstring appName;        // what TerminateApp is given
    DWORD lingerMs;              // how long the child takes to end once signalled
    int timeout;
    int expectedResult;
    DWORD expectedExitCode;
    bool expectSignalled;
    ULONGLONG minElapsedMs; // a forced end after a wait comes no sooner than this
    ULONGLONG maxElapsedMs; // a case without a wait returns long before its time-out
};

TEST(TerminateApp, StopsChildrenPolitelyThenByForce) {
    const std::wstring app = UniqueName(L"ka-app");
    const std::wstring accented = UniqueName(L"caf\u00e9");
    const TerminateCase cases[] = {
        {"ends on its stop event", StopEventName(app), app, 0, 60000, 0, kEndedByItself, true, 0,
         kNoWaitBoundMs},
        {"-1 waits without limit", StopEventName(app + L"i"), app + L"i", 2000, -1, 0,
         kEndedByItself, true, 0, kNoWaitBoundMs + 2000},
        {"ignores its stop event", StopEventName(app + L"n"), app + L"n", kNever, 1500, 1,
         kForcedExitCode, true, 1000, kNoWaitBoundMs},
        {"time-out 0 forces at once", StopEventName(app + L"z"), app + L"z", 10000, 0, 1,
         kForcedExitCode, true, 0, kNoWaitBoundMs},
        {"no stop event: forced without a wait", L"", app + L"x", 0, 60000, 1, kForcedExitCode,
         false, 0, kNoWaitBoundMs},
        {"empty name", StopEventName(L""), L"", 0, 60000, 0, kEndedByItself, true, 0,
         kNoWaitBoundMs},
        {"letter case is kept", StopEventName(L"KA-" + app), L"ka-" + app, 0, 60000, 1,
         kForcedExitCode, false, 0, kNoWaitBoundMs},
        {"blanks are kept", StopEventName(app + L"b"), L" " + app + L"b", 0, 60000, 1,
         kForcedExitCode, false, 0, kNoWaitBoundMs},
        {"ANSI name", StopEventName(accented), accented, 0, 60000, 0, kEndedByItself, true, 0,
         kNoWaitBoundMs},
    };
    for (const TerminateCase& c : cases) {
        SCOPED_TRACE(c.what);
        Target target = StartTarget(c.childEventName, c.lingerMs);
        ULONGLONG start = ::GetTickCount64();
        int result = KaCtrl::TerminateApp(target.child.Pid(), c.timeout, String_t(c.appName));
        ULONGLONG elapsed = ::GetTickCount64() - start;
        EXPECT_EQ(result, c.expectedResult);
        EXPECT_EQ(target.child.WaitForExit(kStartBoundMs), c.expectedExitCode);
        if (target.stopEvent) {
            EXPECT_EQ(Signalled(target.stopEvent.get()), c.expectSignalled);
        }
        EXPECT_GE(elapsed, c.minElapsedMs);
        EXPECT_LT(elapsed, c.maxElapsedMs);
    }
}

TEST(TerminateApp, ProcessThatCannotBeOpenedIsLeftAlone) {
    const std::wstring app = UniqueName(L"ka-absent");
    KaHold::unique_handle stop(::CreateEventW(nullptr, TRUE, FALSE, StopEventName(app).c_str()));
    ASSERT_TRUE(stop);
    const unsigned long pids[] = {0, 0x7FFFFFFC, 0xFFFFFFFC};
    for (unsigned long pid : pids) {
        SCOPED_TRACE(pid);
        ASSERT_FALSE(KaHold::unique_handle(::OpenProcess(SYNCHRONIZE, FALSE, pid)))
            << "the identifier names a process here";
        // A stale 87 must not turn the failure into a success either.
        ::SetLastError(ERROR_INVALID_PARAMETER);
        EXPECT_EQ(KaCtrl::TerminateApp(pid, 60000, String_t(app)), -1);
        EXPECT_FALSE(Signalled(stop.get()));
    }
}

TEST(TerminateApp, StaleLastErrorOfCallerDoesNotCountAsStopped) {
    struct {
        const char* what;
        bool withStopEvent; // which the child then ignores
        int timeout;
    } cases[] = {
        // With a stop event every step succeeds, so none of them replaces the caller's code;
        // without one, the failed open of the event does.
        {"stop event ignored", true, 500},
        {"stop event, time-out 0", true, 0},
        {"no stop event", false, 60000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring app = UniqueName(L"ka-stale");
        Target target = StartTarget(c.withStopEvent ? StopEventName(app) : L"", kNever);
        ::SetLastError(ERROR_INVALID_PARAMETER);
        EXPECT_EQ(KaCtrl::TerminateApp(target.child.Pid(), c.timeout, String_t(app)), 1);
        EXPECT_EQ(target.child.WaitForExit(kStartBoundMs), kForcedExitCode);
    }
}

TEST(TerminateApp, AlreadyEndedProcessIsReportedStopped) {
    const std::wstring app = UniqueName(L"ka-ended");
    Target target = StartTarget(StopEventName(app), 0);
    KaHold::unique_handle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, StopEventName(app).c_str()));
    ASSERT_TRUE(::SetEvent(stop.get()));
    ASSERT_EQ(target.child.WaitForExit(kStartBoundMs), kEndedByItself);
    // This program still holds the process, so its identifier still names it.
    EXPECT_EQ(KaCtrl::TerminateApp(target.child.Pid(), 60000, String_t(app)), 0);
    EXPECT_EQ(KaCtrl::TerminateApp(target.child.Pid(), 60000, String_t(L"ka-none")), 0);
}

TEST(TerminateApp, LeavesNoHandlesBehind) {
    const std::wstring app = UniqueName(L"ka-leak");
    Target ended = StartTarget(StopEventName(app), 0);
    ASSERT_EQ(KaCtrl::TerminateApp(ended.child.Pid(), 60000, String_t(app)), 0);
    ASSERT_EQ(ended.child.WaitForExit(kStartBoundMs), kEndedByItself);
    Target running[10];
    for (Target& target : running) {
        target = StartTarget(L"", 0);
    }

    KaTest::HandleUse before = KaTest::MeasureHandleUse();
    int unexpected = 0;
    for (int i = 0; i < 1000; ++i) {
        // The ended child's event is still there (held here): opened, signalled, waited.
        unexpected += KaCtrl::TerminateApp(ended.child.Pid(), 60000, String_t(app)) != 0;
        unexpected += KaCtrl::TerminateApp(ended.child.Pid(), 60000, String_t(L"none")) != 0;
        unexpected += KaCtrl::TerminateApp(0x7FFFFFFC, 60000, String_t(app)) != -1;
    }
    for (Target& target : running) {
        unexpected += KaCtrl::TerminateApp(target.child.Pid(), 0, String_t(L"none")) != 1;
    }
    KaTest::HandleUse after = KaTest::MeasureHandleUse();
    EXPECT_EQ(unexpected, 0);
    EXPECT_TRUE(KaTest::NoMoreHandles(before, after))
        << "handles " << before.count << " -> " << after.count << ", highest fresh handle "
        << before.highestFresh << " -> " << after.highestFresh;
}

} // namespace
