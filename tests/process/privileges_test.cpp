// SetDebugPrivilege and RunningAsAdministrator against real tokens: this process's, a
// child's restricted one, and impersonation tokens on threads of their own.
#include "ChildMode.h"

#include "KaCtrlUtils.h"
#include "process/TokenGroups.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <thread>

namespace {

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
    // The tests run as an administrator, as every program does under Wine.
    EXPECT_TRUE(ask([] { return TRUE; }).second) << "process token";
    // Still an administrator's thread, though the platform's own test says no.
    const auto [member, answer] = ask([&] { return ::SetThreadToken(nullptr, denyOnly.get()); });
    EXPECT_TRUE(!member && answer) << "Administrators deny-only";
    // An anonymous token cannot be opened: a thread acting as nobody is no administrator.
    // (Wine's membership test still says yes here, so it is not asked.)
    EXPECT_FALSE(ask([] { return ::ImpersonateSelf(SecurityAnonymous); }).second) << "anonymous";
}

// The group walk on hand-made lists, since every token under Wine holds Administrators:
// found in any place and with any attributes, deny-only included, and absent.
TEST(RunningAsAdministrator, GroupWalkFindsAdministratorsWithAnyAttributes) {
    const std::vector<BYTE> pool[] = {WellKnownSid(WinBuiltinAdministratorsSid),
                                      WellKnownSid(WinWorldSid), WellKnownSid(WinBuiltinUsersSid),
                                      WellKnownSid(WinBuiltinGuestsSid)};
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    const DWORD attributes[] = {0, SE_GROUP_ENABLED | SE_GROUP_MANDATORY,
                                SE_GROUP_USE_FOR_DENY_ONLY};
    std::mt19937 random(14);
    for (int round = 0; round < 300; ++round) {
        const DWORD count = random() % 6;
        std::vector<BYTE> list(offsetof(TOKEN_GROUPS, Groups) +
                               (count + 1) * sizeof(SID_AND_ATTRIBUTES));
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(list.data());
        groups->GroupCount = count;
        bool listed = false;
        for (DWORD i = 0; i < count; ++i) {
            const size_t pick = random() % std::size(pool);
            groups->Groups[i] = {const_cast<BYTE*>(pool[pick].data()), attributes[random() % 3]};
            listed = listed || pick == 0;
        }
        EXPECT_EQ(KaCtrl::ListsGroup(*groups, administrators.data()), listed) << "round " << round;
    }
}

} // namespace
