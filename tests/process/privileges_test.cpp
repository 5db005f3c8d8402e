// SetDebugPrivilege and RunningAsAdministrator against real tokens: this process's, a
// child's restricted one, and impersonation tokens on threads of their own.
#include "ChildMode.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr DWORD kPrivilegeEnabledAfter = 0x100; // added to the child's exit code

KaHold::unique_handle ProcessToken(DWORD access) {
    KaHold::unique_handle token;
    ::OpenProcessToken(::GetCurrentProcess(), access, token.put());
    return token;
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
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    KaHold::unique_sid administrators;
    ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                           DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                           administrators.put()));
    // An impersonation token of this process's user in which Administrators is deny-only.
    SID_AND_ATTRIBUTES denyOnlyGroup{administrators.get(), 0};
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
            ::CheckTokenMembership(nullptr, administrators.get(), &member);
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

} // namespace
