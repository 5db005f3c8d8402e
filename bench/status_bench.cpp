// Measures GetKacdStatus against the floor of the platform calls it cannot avoid, with the
// stand-in daemon running and with no daemon installed. Prints medians and their ratios.
#include "KaCtrlUtils.h"
#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <vector>

namespace {

double Microseconds(const std::function<void()>& call) {
    auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Medians of the measured call and of its floor, taken in alternation so that drift in the
// machine's load weighs on both alike.
std::pair<double, double> MedianPair(int rounds, const std::function<void()>& measured,
                                     const std::function<void()>& floor) {
    measured();
    floor();
    std::vector<double> measuredSamples, floorSamples;
    for (int i = 0; i < rounds; ++i) {
        measuredSamples.push_back(Microseconds(measured));
        floorSamples.push_back(Microseconds(floor));
    }
    return {Median(measuredSamples), Median(floorSamples)};
}

void ProbeService() {
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    KaHold::unique_service service(
        ::OpenServiceA(manager.get(), "KaCtrl", GENERIC_EXECUTE | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    ::QueryServiceStatus(service.get(), &status);
}

void ProbeMutex() {
    KaHold::unique_handle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "KaCtrlMutexObject"));
}

// One GET with synchronous WinHTTP: enough against a server that answers at once.
void Get(INTERNET_PORT port) {
    KaHold::unique_winhttp session(
        ::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    KaHold::unique_winhttp connection(::WinHttpConnect(session.get(), L"localhost", port, 0));
    KaHold::unique_winhttp request(::WinHttpOpenRequest(connection.get(), L"GET",
                                                        L"/com.trelm.ka.ctrl.kacd/lnkrpcserver",
                                                        nullptr, nullptr, nullptr, 0));
    if (::WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0)) {
        ::WinHttpReceiveResponse(request.get(), nullptr);
    }
}

uint32_t ReadPort(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    unsigned char b[4] = {};
    in.read(reinterpret_cast<char*>(b), 4);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void Report(const char* what, std::pair<double, double> medians) {
    auto [measured, floor] = medians;
    std::printf("%-34s %10.0f us   floor %10.0f us   ratio %.2f\n", what, measured, floor,
                measured / floor);
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    std::wstring portFile = sandbox.DataDir() + L"\\tmp\\kacd.port";
    const int rounds = 40;
    {
        KaTest::StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
        if (!service.Control(L"start")) {
            std::fprintf(stderr, "the stand-in daemon did not start\n");
            return 1;
        }
        INTERNET_PORT port = static_cast<INTERNET_PORT>(ReadPort(portFile));
        Report("GetKacdStatus, daemon answering", MedianPair(
                                                      rounds, [] { KaCtrl::GetKacdStatus(); },
                                                      [port] {
                                                          for (int probe = 0; probe < 3; ++probe) {
                                                              ProbeService();
                                                              ProbeMutex();
                                                          }
                                                          Get(INTERNET_DEFAULT_HTTP_PORT);
                                                          Get(port);
                                                      }));
    }
    KaTest::RunStandin({L"remove"});
    Report("GetKacdStatus, not installed",
           MedianPair(
               rounds * 5, [] { KaCtrl::GetKacdStatus(); }, [] { ProbeService(); }));
    return 0;
}
