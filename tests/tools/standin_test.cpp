// The stand-in daemon against hostile neighbours: raw socket clients that bend the request
// format or take every connection, a reader holding the port file, and a service "KaCtrl"
// that is not a stand-in.
#include <gtest/gtest.h>

#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace KaTest;

// A connection to 127.0.0.1:port that has sent request. Reads need no time-out of their own:
// the stand-in cuts a client whose head is 5 s late, or 2 s after answering it.
static KaHold::unique_socket Send(uint16_t port, const std::string& request) {
    KaHold::unique_socket client(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {AF_INET, ::htons(port), {}, {}};
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::send(client.get(), request.data(), static_cast<int>(request.size()), 0);
    return client;
}

// The start of the answer to request, "HTTP/1.1 NNN", or what came before the stand-in closed.
static std::string Status(uint16_t port, const std::string& request) {
    KaHold::unique_socket client = Send(port, request);
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
    uint16_t port = 0;
    std::ifstream(std::filesystem::path(portFile), std::ios::binary)
        .read(reinterpret_cast<char*>(&port), 2);

    // Heads with bare LF line ends and control bytes: each answered, and logged on one line.
    const char* const pieces[] = {"\r\n", "\n", "\r",           "\x01",       "\x7f",
                                  "\t",   "\\", "User-Agent: ", "GET /forged"};
    std::mt19937 random(15);
    for (int i = 0; i < 40; ++i) {
        std::string head = "GET /r" + std::to_string(i) + " HTTP/1.1" + pieces[random() % 2];
        for (unsigned n = random() % 12; n > 0; --n) {
            head += pieces[random() % std::size(pieces)];
        }
        EXPECT_EQ(Status(port, head + pieces[random() % 2] + "\n"), "HTTP/1.1 404") << i;
    }
    Status(port, "GET /escaped HTTP/1.1\r\nUser-Agent: a\x01\\\tb\r\n\r\n");
    std::ifstream in{std::filesystem::path(log)};
    std::string line;
    auto control = [](unsigned char c) { return c < ' ' || c == 0x7F; };
    for (int i = 0; i < 40 && std::getline(in, line); ++i) {
        // Its own target, and no control byte but the tab between the fields.
        EXPECT_EQ(line.rfind("GET /r" + std::to_string(i) + "\t", 0), 0u) << line;
        EXPECT_EQ(std::count_if(line.begin(), line.end(), control), 1) << line;
    }
    EXPECT_TRUE(std::getline(in, line) && line == "GET /escaped\ta\\x01\\\\\\x09b") << line;
    EXPECT_FALSE(std::getline(in, line)) << line;

    // Idle clients on every connection slot, and more waiting: a ping still gets through.
    std::vector<KaHold::unique_socket> idle;
    while (idle.size() < 260) {
        idle.push_back(Send(port, ""));
    }
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Status(port, "GET /com.trelm.ka.ctrl.kacd/lnkrpcserver HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200");
    EXPECT_LT(::GetTickCount64() - start, 3000u); // an idle client is cut after 5 s only
}

TEST(Standin, InstallReplacesAnotherKaCtrlServiceOnlyWhenForced) {
    ASSERT_EQ(RunStandin({L"remove", L"--force"}), 0);
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    ASSERT_TRUE(KaHold::unique_service(::CreateServiceW(
        manager.get(), L"KaCtrl", L"KaCtrl", SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"\"C:\\KaAgent\\bin\\kacd.exe\" -service",
        nullptr, nullptr, nullptr, nullptr, nullptr)));
    EXPECT_EQ(RunStandin({L"install"}), 1);
    EXPECT_EQ(RunStandin({L"remove"}), 1);
    EXPECT_EQ(RunStandin({L"start"}), 1); // still the other program, which is not there
    EXPECT_EQ(RunStandin({L"install", L"--force"}), 0);
    EXPECT_EQ(RunStandin({L"start"}), 0);
    EXPECT_EQ(RunStandin({L"install"}), 0); // a stand-in is replaced, running or not
    EXPECT_EQ(RunStandin({L"remove", L"--force"}), 0);
}
