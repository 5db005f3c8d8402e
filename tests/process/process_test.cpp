// The process functions against real children of this program. TerminateApp: children that
// create their stop event and end on it (soon, late or never), and ones without a stop event;
// also the handle-leak checks of every function of the area, which need such a child.
// SetDebugPrivilege and RunningAsAdministrator against real tokens: this process's, a child's
// restricted one, and impersonation tokens on threads of their own.
#include "AgentNames.h"
#include "ChildMode.h"
#include "Checks.h"

#include "KaCtrlUtils.h"
#include "process/TokenGroups.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <thread>

namespace {

using KaCtrl::String_t;
using namespace std::string_literals;

constexpr DWORD kEndedByItself = 7;    // a child that ended on its stop event
constexpr DWORD kStartBoundMs = 30000; // Wine may take seconds to start a process
constexpr int kNever = -1;
// Process identifiers are multiples of 4; this one is far above any given out.
constexpr DWORD kNoSuchPid = 0x7FFFFFFC;

std::wstring StopEventName(const std::wstring& name) {
    return KaAgent::kStopEventPrefixW + name + KaAgent::kStopEventSuffixW;
}

// args: ready-event name, stop-event name ("": none, so only a forced end stops it),
// milliseconds to linger once signalled (-1: never end).
int Child(const std::vector<std::wstring>& args) {
    KaHold::unique_handle stop(
        args.at(1).empty() ? nullptr : ::CreateEventW(nullptr, TRUE, FALSE, args[1].c_str()));
    KaHold::unique_handle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, args[0].c_str()));
    ::SetEvent(ready.get());
    // Without a stop event, waits for its own end: forever.
    ::WaitForSingleObject(stop ? stop.get() : ::GetCurrentProcess(), INFINITE);
    ::Sleep(static_cast<DWORD>(std::stol(args.at(2))));
    return kEndedByItself;
}

KaTest::ChildMode childMode(L"child", Child);

// A name no other test program uses, for events and applications of one case.
std::wstring UniqueName(const std::wstring& base) {
    static unsigned counter = 0; // below 1000
    return base + L"-" + std::to_wstring(::GetCurrentProcessId() * 1000ull + counter++);
}

KaTest::ChildProcess StartChild(const std::wstring& stopEventName, int lingerMs) {
    std::wstring readyName = UniqueName(L"ka-process-test-ready");
    KaHold::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    KaTest::ChildProcess child = KaTest::ChildProcess::Start(
        L"child", {readyName, stopEventName, std::to_wstring(lingerMs)});
    HANDLE both[] = {ready.get(), child.Handle()};
    EXPECT_EQ(::WaitForMultipleObjects(2, both, FALSE, kStartBoundMs), WAIT_OBJECT_0)
        << "the child did not get ready";
    return child;
}

TEST(TerminateApp, StopsChildrenPolitelyThenByForce) {
    const std::wstring app = UniqueName(L"ka-app");
    const struct {
        const char* what;
        bool childHasEvent;   // StopEventName(appName), which the child creates
        std::wstring appName; // what TerminateApp is given
        int lingerMs;         // how long the child takes to end once signalled
        int timeout;
        int expected;             // 0: the child ended by itself; 1: forced, with exit code 0
        std::wstring asked = L""; // the name the child is asked by, when not appName
        std::wstring where = L""; // the namespace of the child's event, as its name begins
    } cases[] = {
        {"ends on its stop event", true, app + L"h", 0, 60000, 0},
        {"-1 waits without limit", true, app + L"i", 2000, -1, 0},
        {"ignores its stop event", true, app + L"n", kNever, 1500, 1},
        {"time-out 0 forces at once", true, app + L"z", 10000, 0, 1},
        {"no stop event: forced without a wait", false, app + L"x", 0, 60000, 1},
        {"empty name", true, L"", 0, 60000, 0},
        // The event is opened by its exact name, never by a narrow copy of it.
        {"name outside the ANSI code page", true, UniqueName(L"caf\u00e9\u7528"), 0, 60000, 0},
        {"a look-alike names another application", true, app + L"t", 0, 60000, 1, app + L"\xFF54"},
        {"a NUL cuts no name short", true, app + L"u", 0, 60000, 1, app + L"u.stop\0x"s},
        // As a process that a service started makes it, seen from a user's session.
        {"the event in the global namespace", true, app + L"g", 0, 60000, 0, L"", L"Global\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring eventName = c.where + StopEventName(c.appName);
        KaTest::ChildProcess child = StartChild(c.childHasEvent ? eventName : L"", c.lingerMs);
        // The child's stop event, held open here so that it outlives the child.
        KaHold::unique_handle stopEvent(::OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str()));
        ULONGLONG start = ::GetTickCount64();
        // A stale 87 of the caller must not read as a clean stop: the steps of a forced end
        // after a signalled event all succeed, so none of them replaces it.
        ::SetLastError(ERROR_INVALID_PARAMETER);
        const std::wstring& asked = c.asked.empty() ? c.appName : c.asked;
        EXPECT_EQ(
            KaCtrl::TerminateApp(child.Pid(), c.timeout,
                                 String_t(asked.c_str(), static_cast<uint32_t>(asked.size()))),
            c.expected);
        ULONGLONG elapsed = ::GetTickCount64() - start;
        EXPECT_EQ(child.WaitForExit(kStartBoundMs), c.expected == 0 ? kEndedByItself : 0);
        EXPECT_EQ(stopEvent && ::WaitForSingleObject(stopEvent.get(), 0) == WAIT_OBJECT_0,
                  c.childHasEvent && c.asked.empty());
        // A forced end after a wait comes no sooner than the time-out allows; no case waits
        // out a time-out of 60 s: 20 s is far below it.
        EXPECT_GE(elapsed, c.lingerMs == kNever ? c.timeout - 500u : 0u);
        EXPECT_LT(elapsed, 20000u + (c.lingerMs == kNever ? 0 : c.lingerMs));
    }
}

// A thousand calls of every function of the area leave no handle behind. Among them, a
// process that cannot be opened answers -1 and its application's stop event stays unsignalled,
// and every signal name answers 0.
TEST(ProcessFunctions, ThousandCallsLeaveNoHandlesBehind) {
    const std::wstring app = UniqueName(L"ka-leak"), absent = UniqueName(L"ka-absent");
    KaTest::ChildProcess ended = StartChild(StopEventName(app), 0);
    KaHold::unique_handle stopEvent(::OpenEventW(SYNCHRONIZE, FALSE, StopEventName(app).c_str()));
    KaHold::unique_handle absentStop(
        ::CreateEventW(nullptr, TRUE, FALSE, StopEventName(absent).c_str()));
    ASSERT_FALSE(KaHold::unique_handle(::OpenProcess(SYNCHRONIZE, FALSE, kNoSuchPid)));
    ASSERT_EQ(KaCtrl::TerminateApp(ended.Pid(), 60000, String_t(app)), 0);
    ASSERT_EQ(ended.WaitForExit(kStartBoundMs), kEndedByItself);
    const String_t signalNames[] = {String_t(""), String_t::Null(), String_t("SIGTERM"),
                                    String_t("KILL"), String_t("9")};
    uintptr_t before = KaTest::HighestFreshHandle();
    int unexpected = 0;
    for (int i = 0; i < 1000; ++i) {
        // The ended child, still named by its identifier (this program holds it), and its
        // event, still there (held here): opened, signalled, waited on.
        unexpected += KaCtrl::TerminateApp(ended.Pid(), 60000, String_t(app)) != 0;
        unexpected += KaCtrl::TerminateApp(kNoSuchPid, 0, String_t(absent)) != -1;
        unexpected += KaCtrl::SetDebugPrivilege() != 0;
        unexpected += !KaCtrl::RunningAsAdministrator();
        unexpected += KaCtrl::GetUXSignalFromName(signalNames[i % std::size(signalNames)]) != 0;
    }
    EXPECT_EQ(unexpected, 0);
    EXPECT_NE(::WaitForSingleObject(absentStop.get(), 0), WAIT_OBJECT_0) << "signalled";
    EXPECT_TRUE(KaTest::NoMoreHandlesThan(before));
}

constexpr DWORD kPrivilegeEnabledAfter = 0x100; // added to the child's exit code

KaHold::unique_handle ProcessToken(DWORD access) {
    KaHold::unique_handle token;
    ::OpenProcessToken(::GetCurrentProcess(), access, token.put());
    return token;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> buffer(SECURITY_MAX_SID_SIZE);
    DWORD size = SECURITY_MAX_SID_SIZE;
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, buffer.data(), &size));
    return buffer;
}

LUID DebugPrivilege() {
    LUID luid{};
    ::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &luid);
    return luid;
}

// Reports SetDebugPrivilege's result, plus kPrivilegeEnabledAfter when the privilege is
// enabled afterwards.
int SetDebugPrivilegeChild(const std::vector<std::wstring>&) {
    int result = KaCtrl::SetDebugPrivilege();
    PRIVILEGE_SET debug{1, PRIVILEGE_SET_ALL_NECESSARY, {{DebugPrivilege(), 0}}};
    BOOL enabled = FALSE;
    ::PrivilegeCheck(ProcessToken(TOKEN_QUERY).get(), &debug, &enabled);
    return result + (enabled ? kPrivilegeEnabledAfter : 0);
}

KaTest::ChildMode setDebugPrivilegeMode(L"set-debug-privilege", SetDebugPrivilegeChild);

TEST(SetDebugPrivilege, EnablesItWhereTheTokenHoldsItFailsWhereNot) {
    LUID_AND_ATTRIBUTES removed{DebugPrivilege(), 0};
    KaHold::unique_handle restricted;
    ASSERT_TRUE(::CreateRestrictedToken(ProcessToken(TOKEN_ALL_ACCESS).get(), 0, 0, nullptr, 1,
                                        &removed, 0, nullptr, restricted.put()));
    // The exit code of a child in the mode above; the child is gone when this returns.
    auto childExitCode = [](HANDLE token) {
        return KaTest::ChildProcess::Start(L"set-debug-privilege", {}, token).WaitForExit(30000);
    };
    EXPECT_EQ(childExitCode(nullptr), 0 + kPrivilegeEnabledAfter) << "this process's token";
    EXPECT_EQ(childExitCode(restricted.get()), DWORD{64}) << "a token without the privilege";
}

TEST(RunningAsAdministrator, JudgesTheTokenTheThreadActsWith) {
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    // An impersonation token of this process's user in which Administrators is deny-only.
    SID_AND_ATTRIBUTES denyOnlyGroup{administrators.data(), 0};
    KaHold::unique_handle restricted, denyOnly;
    ASSERT_TRUE(::CreateRestrictedToken(ProcessToken(TOKEN_ALL_ACCESS).get(), 0, 1, &denyOnlyGroup,
                                        0, nullptr, 0, nullptr, restricted.put()));
    ASSERT_TRUE(::DuplicateToken(restricted.get(), SecurityImpersonation, denyOnly.put()));
    // On a thread of its own, so that impersonation never reaches the test thread: whether
    // CheckTokenMembership, which leaves deny-only groups out, counts the thread among the
    // administrators, and the answer.
    auto ask = [&](auto impersonate) {
        BOOL member = FALSE;
        bool answer = false;
        std::thread([&] {
            EXPECT_TRUE(impersonate());
            ::CheckTokenMembership(nullptr, administrators.data(), &member);
            answer = KaCtrl::RunningAsAdministrator();
            ::RevertToSelf();
        }).join();
        return std::pair<bool, bool>(member, answer);
    };
    // A thread without a token of its own is judged by the process's token: an administrator's
    // under Wine (ProcessFunctions.ThousandCallsLeaveNoHandlesBehind). With Administrators
    // deny-only, as UAC leaves it for a filtered administrator, no administrator's thread: the
    // answer of the platform's own test.
    const auto [member, answer] = ask([&] { return ::SetThreadToken(nullptr, denyOnly.get()); });
    EXPECT_FALSE(member) << "the platform's own test";
    EXPECT_FALSE(answer) << "Administrators deny-only";
    // At identification level the thread may read its token's groups only as the process does.
    EXPECT_TRUE(ask([] { return ::ImpersonateSelf(SecurityIdentification); }).second)
        << "identification level";
    // An anonymous token cannot be opened: a thread acting as nobody is no administrator.
    // (Wine's membership test still says yes here, so it is not asked.)
    EXPECT_FALSE(ask([] { return ::ImpersonateSelf(SecurityAnonymous); }).second) << "anonymous";
}

// The group walk on hand-made lists, since every token under Wine holds Administrators:
// found in any place, counted only where it is enabled and not deny-only, and absent.
TEST(RunningAsAdministrator, GroupWalkCountsAdministratorsOnlyWhereEnabled) {
    const std::vector<BYTE> pool[] = {WellKnownSid(WinBuiltinAdministratorsSid),
                                      WellKnownSid(WinWorldSid), WellKnownSid(WinBuiltinUsersSid),
                                      WellKnownSid(WinBuiltinGuestsSid)};
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    const DWORD attributes[] = {0,
                                SE_GROUP_ENABLED | SE_GROUP_MANDATORY,
                                SE_GROUP_USE_FOR_DENY_ONLY,
                                SE_GROUP_ENABLED_BY_DEFAULT,
                                SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY,
                                SE_GROUP_ENABLED};
    std::mt19937 random(14);
    for (int round = 0; round < 300; ++round) {
        const DWORD count = random() % 6;
        std::vector<BYTE> list(offsetof(TOKEN_GROUPS, Groups) +
                               (count + 1) * sizeof(SID_AND_ATTRIBUTES));
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(list.data());
        groups->GroupCount = count;
        bool enabled = false;
        for (DWORD i = 0; i < count; ++i) {
            const size_t pick = random() % std::size(pool);
            const DWORD attribute = attributes[random() % std::size(attributes)];
            groups->Groups[i] = {const_cast<BYTE*>(pool[pick].data()), attribute};
            enabled = enabled ||
                      (pick == 0 && (attribute == attributes[1] || attribute == attributes[5]));
        }
        EXPECT_EQ(KaCtrl::HoldsGroupEnabled(*groups, administrators.data()), enabled)
            << "round " << round;
    }
}

} // namespace
