// The stand-in daemon against hostile neighbours: raw socket clients that bend the request
// format or take every connection, a reader holding the port file, and a service "KaCtrl"
// that is not a stand-in.
#include <gtest/gtest.h>

#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace KaTest;

namespace {

// A connection to 127.0.0.1:port whose reads give up after ten seconds.
KaHold::unique_socket Connect(uint16_t port) {
    KaHold::unique_socket client(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    DWORD timeoutMs = 10000;
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                 sizeof(timeoutMs));
    sockaddr_in address = {AF_INET, ::htons(port), {}, {}};
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    return client;
}

// Sends request on a connection of its own; answers the reply once its body (one line) is in,
// or what came before the stand-in closed.
std::string Exchange(uint16_t port, const std::string& request) {
    KaHold::unique_socket client = Connect(port);
    ::send(client.get(), request.data(), static_cast<int>(request.size()), 0);
    std::string reply;
    char chunk[1024];
    for (size_t body = std::string::npos; reply.find('\n', body) == std::string::npos;) {
        int got = ::recv(client.get(), chunk, sizeof(chunk), 0);
        if (got <= 0) {
            break;
        }
        reply.append(chunk, static_cast<size_t>(got));
        body = reply.find("\r\n\r\n") == std::string::npos ? body : reply.find("\r\n\r\n") + 4;
    }
    return reply;
}

std::wstring ServiceCommandLine() {
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    KaHold::unique_service service(::OpenServiceW(manager.get(), L"KaCtrl", SERVICE_QUERY_CONFIG));
    std::vector<BYTE> buffer(8192);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    DWORD needed = 0;
    return ::QueryServiceConfigW(service.get(), config, 8192, &needed) ? config->lpBinaryPathName
                                                                       : L"?";
}

} // namespace

TEST(StandinDaemon, HostileClients) {
    WSADATA winsock;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    Sandbox sandbox;
    std::wstring portFile = sandbox.WriteFile(L"run\\kacd.port", "old!");
    // A reader holds the port file while the stand-in starts: it reads the old one whole, and
    // the new one takes its place only when the reader lets go.
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
    std::wstring log = sandbox.Root() + L"\\requests.log";
    StandinProcess standin(
        {L"run", L"--no-mutex", L"--port", L"0", L"--portfile", portFile, L"--log", log});
    reader.join();
    ASSERT_TRUE(standin.Ready());
    EXPECT_EQ(std::string(seen, got), "old!");
    std::filesystem::directory_iterator files(sandbox.Root() + L"\\run");
    EXPECT_EQ(std::distance(files, std::filesystem::directory_iterator()), 1); // nothing beside
    uint16_t port = 0;
    std::ifstream(std::filesystem::path(portFile), std::ios::binary)
        .read(reinterpret_cast<char*>(&port), 2);

    // Heads with bare LF line ends and control bytes: each answered, logged on one line.
    const char* const pieces[] = {"\r\n", "\n", "\r", "\x01", "\x7f", "\t", "\\", "GET /forged"};
    std::mt19937 random(15);
    const int requests = 40;
    for (int i = 0; i < requests; ++i) {
        std::string head = "GET /r" + std::to_string(i) + " HTTP/1.1" + pieces[random() % 2];
        for (unsigned n = random() % 12; n > 0; --n) {
            head += std::string(n % 3 ? "" : "User-Agent: ") + pieces[random() % std::size(pieces)];
        }
        EXPECT_EQ(Exchange(port, head + (random() % 2 ? "\n\n" : "\r\n\n")).substr(0, 12),
                  "HTTP/1.1 404")
            << i;
    }
    Exchange(port, "GET /escaped HTTP/1.1\r\nUser-Agent: a\x01\\\tb\r\n\r\n");
    std::ifstream in{std::filesystem::path(log)};
    std::string line;
    for (int i = 0; i < requests && std::getline(in, line); ++i) {
        EXPECT_EQ(line.rfind("GET /r" + std::to_string(i) + "\t", 0), 0u) << line;
        // No control byte but the tab between the fields.
        EXPECT_EQ(std::count_if(line.begin(), line.end(),
                                [](unsigned char c) { return c < ' ' || c == 0x7F; }),
                  1)
            << line;
    }
    EXPECT_TRUE(std::getline(in, line) && line == "GET /escaped\ta\\x01\\\\\\x09b") << line;
    EXPECT_FALSE(std::getline(in, line)) << line;

    // Idle clients on every connection slot, and more waiting: a ping still gets through.
    std::vector<KaHold::unique_socket> idle;
    for (int i = 0; i < 260; ++i) {
        idle.push_back(Connect(port));
    }
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        Exchange(port, "GET /com.trelm.ka.ctrl.kacd/lnkrpcserver HTTP/1.1\r\n\r\n").substr(0, 15),
        "HTTP/1.1 200 OK");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    idle.clear();
    ::WSACleanup();
}

TEST(StandinService, InstallReplacesOnlyAStandinUnlessForced) {
    const std::wstring daemon = L"\"C:\\KaAgent\\bin\\kacd.exe\" -service";
    ASSERT_EQ(RunStandin({L"remove", L"--force"}), 0);
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    ASSERT_TRUE(KaHold::unique_service(
        ::CreateServiceW(manager.get(), L"KaCtrl", L"KaCtrl", SERVICE_QUERY_STATUS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                         daemon.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)));
    EXPECT_EQ(RunStandin({L"install"}), 1);
    EXPECT_EQ(RunStandin({L"remove"}), 1);
    EXPECT_EQ(ServiceCommandLine(), daemon);
    EXPECT_EQ(RunStandin({L"install", L"--force"}), 0);
    EXPECT_EQ(RunStandin({L"install", L"--port", L"0"}), 0); // a stand-in is replaced
    EXPECT_NE(ServiceCommandLine().find(L"\\kacd-standin.exe\" service --port 0"),
              std::wstring::npos);
    EXPECT_EQ(RunStandin({L"remove", L"--force"}), 0);
}
