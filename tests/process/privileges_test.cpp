// SetDebugPrivilege and RunningAsAdministrator against real tokens: this process's, a
// child's restricted one, and impersonation tokens on threads of their own.
#include "ChildMode.h"
#include "HandleCount.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kChildBoundMs = 30000;
constexpr DWORD kPrivilegeEnabledAfter = 0x100; // added to the child's exit code

LUID DebugPrivilege() {
    LUID luid{};
    ::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &luid);
    return luid;
}

// The attributes of the debug privilege in token, or nothing when the token lacks it.
std::optional<DWORD> DebugPrivilegeAttributes(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    LUID debug = DebugPrivilege();
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& luid = privileges->Privileges[i].Luid;
        if (luid.LowPart == debug.LowPart && luid.HighPart == debug.HighPart) {
            return privileges->Privileges[i].Attributes;
        }
    }
    return std::nullopt;
}

KaHold::unique_handle ProcessToken(DWORD access) {
    KaHold::unique_handle token;
    ::OpenProcessToken(::GetCurrentProcess(), access, token.put());
    return token;
}

bool DebugPrivilegeEnabled() {
    KaHold::unique_handle token = ProcessToken(TOKEN_QUERY);
    std::optional<DWORD> attributes = DebugPrivilegeAttributes(token.get());
    return attributes && (*attributes & SE_PRIVILEGE_ENABLED);
}

// Reports SetDebugPrivilege's result, plus kPrivilegeEnabledAfter when the privilege is
// enabled afterwards.
int SetDebugPrivilegeChild(const std::vector<std::wstring>&) {
    int result = KaCtrl::SetDebugPrivilege();
    return result + (DebugPrivilegeEnabled() ? kPrivilegeEnabledAfter : 0);
}

KaTest::ChildMode setDebugPrivilegeMode(L"set-debug-privilege", SetDebugPrivilegeChild);

KaHold::unique_handle TokenWithoutDebugPrivilege() {
    KaHold::unique_handle process = ProcessToken(TOKEN_ALL_ACCESS);
    LUID_AND_ATTRIBUTES removed{DebugPrivilege(), 0};
    KaHold::unique_handle restricted;
    ::CreateRestrictedToken(process.get(), 0, 0, nullptr, 1, &removed, 0, nullptr,
                            restricted.put());
    return restricted;
}

TEST(SetDebugPrivilege, EnablesThePrivilegeWhereTheTokenHoldsIt) {
    KaHold::unique_handle token = ProcessToken(TOKEN_QUERY);
    ASSERT_TRUE(DebugPrivilegeAttributes(token.get())) << "this account lacks the privilege";
    EXPECT_EQ(KaCtrl::SetDebugPrivilege(), 0);
    EXPECT_TRUE(DebugPrivilegeEnabled());
    EXPECT_EQ(KaCtrl::SetDebugPrivilege(), 0) << "a second call";
}

TEST(SetDebugPrivilege, FailsInAProcessWhoseTokenLacksThePrivilege) {
    KaHold::unique_handle restricted = TokenWithoutDebugPrivilege();
    ASSERT_TRUE(restricted);
    ASSERT_FALSE(DebugPrivilegeAttributes(restricted.get()));
    struct {
        const char* what;
        HANDLE token;
        DWORD expectedExitCode;
    } cases[] = {
        {"child with this process's token", nullptr, 0 + kPrivilegeEnabledAfter},
        {"child without the privilege", restricted.get(), 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KaTest::ChildProcess child =
            KaTest::ChildProcess::Start(L"set-debug-privilege", {}, c.token);
        EXPECT_EQ(child.WaitForExit(kChildBoundMs), c.expectedExitCode);
    }
}

KaHold::unique_sid AdministratorsSid() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    KaHold::unique_sid sid;
    ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                               0, 0, 0, 0, sid.put());
    return sid;
}

// An impersonation token of this process's user in which Administrators is deny-only.
KaHold::unique_handle DenyOnlyAdministratorsToken() {
    KaHold::unique_handle process = ProcessToken(TOKEN_ALL_ACCESS);
    KaHold::unique_sid administrators = AdministratorsSid();
    SID_AND_ATTRIBUTES denyOnly{administrators.get(), 0};
    KaHold::unique_handle restricted;
    ::CreateRestrictedToken(process.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr,
                            restricted.put());
    KaHold::unique_handle impersonation;
    ::DuplicateToken(restricted.get(), SecurityImpersonation, impersonation.put());
    return impersonation;
}

// What the platform's own membership test says: it leaves deny-only groups out.
bool PlatformSaysAdministrator() {
    KaHold::unique_sid administrators = AdministratorsSid();
    BOOL member = FALSE;
    return ::CheckTokenMembership(nullptr, administrators.get(), &member) && member;
}

struct ThreadAnswer {
    bool impersonating = false;
    bool platformSays = false;
    bool answer = false;
};

// Runs the check on a thread of its own, so impersonation never reaches the test thread.
ThreadAnswer AskOnThread(const std::function<bool()>& impersonate,
                         const std::function<bool()>& check) {
    ThreadAnswer result;
    std::thread([&] {
        result.impersonating = impersonate();
        result.platformSays = PlatformSaysAdministrator();
        result.answer = check();
        ::RevertToSelf();
    }).join();
    return result;
}

TEST(RunningAsAdministrator, JudgesTheTokenTheThreadActsWith) {
    KaHold::unique_handle denyOnly = DenyOnlyAdministratorsToken();
    ASSERT_TRUE(denyOnly);
    struct {
        const char* what;
        std::function<bool()> impersonate;
        bool expected;
    } cases[] = {
        // The tests run as an administrator, as every program does under Wine.
        {"process token", [] { return true; }, true},
        {"impersonating itself", [] { return ::ImpersonateSelf(SecurityImpersonation) != 0; },
         true},
        {"Administrators deny-only", [&] { return ::SetThreadToken(nullptr, denyOnly.get()) != 0; },
         true},
        // An anonymous token cannot be opened: a thread acting as nobody is no administrator.
        {"anonymous impersonation", [] { return ::ImpersonateSelf(SecurityAnonymous) != 0; },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ThreadAnswer got = AskOnThread(c.impersonate, KaCtrl::RunningAsAdministrator);
        ASSERT_TRUE(got.impersonating);
        EXPECT_EQ(got.answer, c.expected);
    }
}

TEST(RunningAsAdministrator, DenyOnlyTokenIsOneThePlatformDoesNotCountAsMember) {
    // Shows that the deny-only case above is not an ordinary administrator's token.
    KaHold::unique_handle denyOnly = DenyOnlyAdministratorsToken();
    ASSERT_TRUE(denyOnly);
    ThreadAnswer got = AskOnThread([&] { return ::SetThreadToken(nullptr, denyOnly.get()) != 0; },
                                   [] { return true; });
    ASSERT_TRUE(got.impersonating);
    EXPECT_FALSE(got.platformSays);
}

TEST(Privileges, LeaveNoHandlesBehind) {
    KaHold::unique_handle denyOnly = DenyOnlyAdministratorsToken();
    ASSERT_TRUE(denyOnly);
    KaTest::HandleUse before = KaTest::MeasureHandleUse();
    int unexpected = 0;
    for (int i = 0; i < 1000; ++i) {
        unexpected += KaCtrl::SetDebugPrivilege() != 0;
        unexpected += !KaCtrl::RunningAsAdministrator();
    }
    ThreadAnswer impersonated =
        AskOnThread([&] { return ::SetThreadToken(nullptr, denyOnly.get()) != 0; },
                    [&] {
                        int yes = 0;
                        for (int i = 0; i < 1000; ++i) {
                            yes += KaCtrl::RunningAsAdministrator();
                        }
                        return yes == 1000;
                    });
    KaTest::HandleUse after = KaTest::MeasureHandleUse();
    EXPECT_EQ(unexpected, 0);
    EXPECT_TRUE(impersonated.answer);
    EXPECT_TRUE(KaTest::NoMoreHandles(before, after))
        << "handles " << before.count << " -> " << after.count << ", highest fresh handle "
        << before.highestFresh << " -> " << after.highestFresh;
}

} // namespace
