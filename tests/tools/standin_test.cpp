// The stand-in daemon against hostile neighbours: raw socket clients that bend the request
// format or take every connection, a reader holding the port file, and a service "KaCtrl"
// that is not a stand-in.
#include <gtest/gtest.h>

#include "AgentNames.h"
#include "Checks.h"
#include "Holders.h"
#include "HttpRules.h"
#include "Sandbox.h"
#include "Standin.h"

#include <thread>
#include <tuple>

using namespace KaTest;
using namespace std::string_literals;

// A connection to where ("127.0.0.1:N" or "[::1]:N") that has sent request. Reads need no
// time-out of their own: the stand-in cuts a client whose head is 5 s late, or 2 s after
// answering it.
static KaHold::unique_socket Send(std::string where, const std::string& request) {
    sockaddr_storage address = {};
    int size = sizeof(address);
    ::WSAStringToAddressA(where.data(), where[0] == '[' ? AF_INET6 : AF_INET, nullptr,
                          reinterpret_cast<sockaddr*>(&address), &size);
    KaHold::unique_socket client(::socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP));
    ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), size);
    ::send(client.get(), request.data(), static_cast<int>(request.size()), 0);
    return client;
}

// The start of the answer to request, "HTTP/1.1 NNN", or what came before the stand-in closed.
static std::string Status(const std::string& where, const std::string& request) {
    KaHold::unique_socket client = Send(where, request);
    char reply[12];
    int got = ::recv(client.get(), reply, sizeof(reply), MSG_WAITALL);
    return std::string(reply, static_cast<size_t>(std::max(got, 0)));
}

TEST(Standin, HostileNeighbours) {
    WSADATA winsock;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    Sandbox sandbox;
    std::wstring portFile = sandbox.WriteFile(L"kacd.port", "old!");
    std::wstring log = sandbox.Root() + L"\\requests.log";
    // A reader holds the port file while the stand-in starts: it reads the old one whole, and
    // the new one takes its place once the reader lets go.
    KaHold::unique_handle held(::CreateFileW(portFile.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    char seen[8] = {};
    DWORD got = 0;
    std::thread reader([&] {
        ::Sleep(3000);
        ::ReadFile(held.get(), seen, sizeof(seen), &got, nullptr);
        held.reset();
    });
    StandinProcess standin(
        {L"run", L"--no-mutex", L"--port", L"0", L"--portfile", portFile, L"--log", log});
    reader.join();
    ASSERT_TRUE(standin.Ready());
    EXPECT_EQ(std::string(seen, got), "old!");
    const std::string bytes = ReadBytes(portFile), // four, least significant first
        port = std::to_string(uint8_t(bytes.at(0)) | uint8_t(bytes.at(1)) << 8);

    // A head with bare LF line ends is answered, and logged on one line (the rules themselves
    // are judged by StandinRules).
    const std::string v4 = "127.0.0.1:" + port, v6 = "[::1]:" + port;
    EXPECT_EQ(Status(v4, "GET /escaped HTTP/1.1\nUser-Agent: a\x01\\\tb\n\n"), "HTTP/1.1 404");
    EXPECT_EQ(ReadBytes(log), "GET /escaped\ta\\x01\\\\\\x09b\n");
    // "localhost" may reach ::1 first.
    EXPECT_EQ(Status(v6, "GET /com.trelm.ka.ctrl.kacd/lnkrpcserver HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200");

    // Idle clients on every connection slot, and more waiting: a ping still gets through.
    std::vector<KaHold::unique_socket> idle;
    while (idle.size() < 260) {
        idle.push_back(Send(v4, ""));
    }
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Status(v4, "GET /com.trelm.ka.ctrl.kacd/lnkrpcserver HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200");
    EXPECT_LT(::GetTickCount64() - start, 3000u); // an idle client is cut after 5 s only
}

// The stop event and the mutex grant Administrators and SYSTEM what stopping and probing the
// daemon take, and no more; this process's token holds Administrators.
TEST(Standin, NamedObjectsGrantWhatStoppingAndProbingTake) {
    StandinProcess standin({L"run", L"--port", L"0"});
    ASSERT_TRUE(standin.Ready());
    const std::tuple<const wchar_t*, DWORD, bool> opens[] = {
        {L"event", EVENT_MODIFY_STATE, true}, {L"event", SYNCHRONIZE, true},
        {L"event", EVENT_ALL_ACCESS, false},  {L"mutex", SYNCHRONIZE, true},
        {L"mutex", MUTEX_ALL_ACCESS, false},
    };
    for (const auto& [kind, access, granted] : opens) {
        KaHold::unique_handle object(kind == std::wstring(L"event")
                                         ? ::OpenEventW(access, FALSE, KaAgent::kDaemonStopEventW)
                                         : ::OpenMutexW(access, FALSE, KaAgent::kMutexNameW));
        const DWORD error = ::GetLastError();
        EXPECT_EQ(bool(object), granted) << Utf8(kind) << " " << access;
        EXPECT_TRUE(granted || error == ERROR_ACCESS_DENIED) << Utf8(kind) << " " << error;
    }
}

TEST(Standin, InstallReplacesAnotherKaCtrlServiceOnlyWhenForced) {
    ASSERT_EQ(RunStandin({L"remove", L"--force"}), 0);
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    ASSERT_TRUE(KaHold::unique_service(::CreateServiceW(
        manager.get(), KaAgent::kServiceNameW, KaAgent::kServiceNameW, SERVICE_QUERY_STATUS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        L"\"C:\\KaAgent\\bin\\kacd.exe\" -service", nullptr, nullptr, nullptr, nullptr, nullptr)));
    EXPECT_EQ(RunStandin({L"install"}), 1);
    EXPECT_EQ(RunStandin({L"remove"}), 1);
    EXPECT_EQ(RunStandin({L"start"}), 1); // still the other program, which is not there
    EXPECT_EQ(RunStandin({L"install", L"--force"}), 0);
    EXPECT_EQ(RunStandin({L"start"}), 0);
    EXPECT_EQ(RunStandin({L"install"}), 0); // a stand-in is replaced, running or not
    EXPECT_EQ(RunStandin({L"remove", L"--force"}), 0);
}

// Heads as lenient servers read them: a line ends with LF, a CR before it or not (a lone CR
// ends nothing); the request line splits at blanks; the last User-Agent counts, its name in any
// letter case, its value trimmed. Log fields escape control bytes and backslashes; only GET or
// POST of the ping path, in origin or absolute form, is answered 200. A newcomer replaces a
// closed connection first, then the idlest reading or holding one, then one draining, never
// one writing.
TEST(StandinRules, HeadsAnswersLogFieldsAndEviction) {
    const std::tuple<std::string, const char*, std::string> heads[] = {
        // the head, what follows it, and "method|target|User-Agent" (or "more" to come)
        {"GET /a HTTP/1.1\r\n\r\n", "GET /b", "GET|/a|"},
        {"GET /a\nX: 1\nuser-AGENT: \t x\ty \t\n\n", "\n", "GET|/a|x\ty"},
        {"GET /a HTTP/1.1\r\nUser-Agent: u\nUser-Agent: v\n\r\n", "", "GET|/a|v"},
        {"POST  /a\r\n\r\n", "", "POST||"},
        {"\n\n", "", "||"},
        {"GET /a\r\rHost: \r\r\n\r", "", "more"},
    };
    for (const auto& [head, rest, expected] : heads) {
        const size_t end = Standin::FindHeadEnd(head + rest);
        const Standin::Request r = Standin::ParseHead(head);
        EXPECT_EQ(expected, end == std::string::npos ? "more"
                            : end != head.size()     ? "ends at " + std::to_string(end)
                                                 : r.method + "|" + r.target + "|" + r.userAgent);
    }
    EXPECT_EQ("a\\x01\\\\\\x09b\\x7F\\x0D\\x0A", Standin::EscapeField("a\x01\\\tb\x7F\r\n"));
    const std::string ping = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";
    const std::tuple<const char*, std::string, const char*> answers[] = {
        {"GET", ping + "?x=1", "200"},
        {"POST", "http://h:80" + ping + "#f", "200"},
        {"HEAD", ping, "404"},
        {"get", ping, "404"},
        {"GET", "http://h", "404"}}; // no path at all: "/"
    for (const auto& [method, target, status] : answers) {
        EXPECT_EQ(0u, Standin::BuildAnswer({method, target, ""}, ping).find("HTTP/1.1 "s + status))
            << method << " " << target;
    }
    using Standin::Phase;
    const std::pair<std::vector<Standin::ConnectionView>, size_t> evictions[] = {
        {{{Phase::Reading, 5}, {Phase::Closed, 9}, {Phase::Draining, 1}}, 1},
        {{{Phase::Draining, 1}, {Phase::Holding, 7}, {Phase::Reading, 3}}, 2},
        {{{Phase::Writing, 0}, {Phase::Draining, 4}}, 1},
        {{{Phase::Writing, 0}}, std::string::npos},
    };
    for (const auto& [connections, evicted] : evictions) {
        EXPECT_EQ(evicted, Standin::ChooseEvicted(connections));
    }
}
