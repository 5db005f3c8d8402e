// Measures GetKacdStatus against the floor of the platform calls it cannot avoid, with the
// stand-in daemon running and with no daemon installed, and prints medians and their ratios.
// Then measures 1, 6 and 32 callers at once, against answering peers and against a hung
// port-file peer, beside the single-caller figure: no caller may wait for another's pings.
#include "KaCtrlUtils.h"
#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
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

constexpr int kCallers[] = {1, 6, 32};
// The time-outs of "lnk.http" here; the receive time-out bounds each ping to a hung peer.
constexpr int kTimeoutMs = 1000;

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

// The platform calls one GetKacdStatus cannot avoid when the service runs and the port file
// names port: three presence probes and a GET of each address. A ping to a peer that never
// answers makes the same calls as one to a peer that answers (resolving, connecting, sending)
// and then waits out its receive time-out: wait is that time-out, and port then an answering
// peer's (synchronous WinHTTP may wait for a silent peer far beyond its time-outs).
void StatusFloor(INTERNET_PORT port, DWORD wait) {
    for (int probe = 0; probe < 3; ++probe) {
        ProbeService();
        ProbeMutex();
    }
    Get(INTERNET_DEFAULT_HTTP_PORT);
    Get(port);
    ::Sleep(wait);
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

// The time of each caller, in ms, of the call and of its floor when callers threads make
// one at the same moment: in alternating rounds, so that drift in the machine's load weighs
// on both alike.
std::pair<std::vector<double>, std::vector<double>> CallerMs(int callers, int rounds,
                                                             const std::function<void()>& call,
                                                             const std::function<void()>& floor) {
    std::pair<std::vector<double>, std::vector<double>> times;
    for (int round = 0; round < 2 * rounds; ++round) {
        KaHold::unique_handle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        const std::function<void()>& work = round % 2 == 0 ? call : floor;
        std::vector<double> took(static_cast<size_t>(callers));
        std::vector<std::thread> threads;
        for (double& mine : took) {
            threads.emplace_back([&start, &mine, &work] {
                ::WaitForSingleObject(start.get(), INFINITE);
                mine = Microseconds(work) / 1000;
            });
        }
        ::SetEvent(start.get());
        for (std::thread& thread : threads) {
            thread.join();
        }
        std::vector<double>& into = round % 2 == 0 ? times.first : times.second;
        into.insert(into.end(), took.begin(), took.end());
    }
    return times;
}

double Worst(const std::vector<double>& samples) {
    return *std::max_element(samples.begin(), samples.end());
}

// One row per number of callers: median and worst per caller beside the single-caller
// median, and the bound 1.2 x single + noise. The noise is the machine's: how much later
// than the median of one alone the worst of that many concurrent runs of the floor ends,
// that is the wait for the two cores and for the platform's services (the service manager,
// the name resolver, Wine's server) that the same platform work meets when that many run at
// once. Against the hung peer also the limit of 2 x receive time-out + 1 s that each caller
// must keep. Calls that did not answer expected are counted: a stand-in that cannot serve
// every caller at once would show there.
void ReportConcurrent(const char* peers, int expected, bool hung,
                      const std::function<void()>& floor) {
    std::atomic<int> unexpected{0};
    const std::function<void()> call = [expected, &unexpected] {
        unexpected += KaCtrl::GetKacdStatus() != expected;
    };
    double single = 0;
    double floorAlone = 0;
    for (int callers : kCallers) {
        // Enough rounds for a steady median, without making the hung peer's rows last minutes.
        const int rounds = (callers == 1 ? 15 : callers == 6 ? 6 : 3) / (hung ? 3 : 1);
        auto [calls, floors] = CallerMs(callers, rounds, call, floor);
        if (callers == 1) {
            single = Median(calls);
            floorAlone = Median(floors);
        }
        const double noise = Worst(floors) - floorAlone;
        const double bound = 1.2 * single + noise;
        std::printf("%-9s %2d callers  median %5.0f ms  worst %5.0f ms  single %5.0f ms"
                    "  noise %5.0f ms  1.2 x single + noise %5.0f ms %s",
                    peers, callers, Median(calls), Worst(calls), single, noise, bound,
                    Worst(calls) <= bound ? "met" : "MISSED");
        if (hung) {
            const double limit = 2 * kTimeoutMs + 1000.0;
            std::printf("  each <= %.0f ms %s", limit, Worst(calls) <= limit ? "met" : "MISSED");
        }
        std::printf("  not %d: %d\n", expected, unexpected.exchange(0));
    }
}

// Starts the installed stand-in, telling why when it does not.
bool Started(const KaTest::StandinService& service) {
    if (!service.Control(L"start")) {
        std::fprintf(stderr, "the stand-in daemon did not start\n");
        return false;
    }
    return true;
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    const std::string timeout = std::to_string(kTimeoutMs);
    sandbox.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=" + timeout +
                          "\nRECEIVE_TIMEOUT=" + timeout + "\n");
    std::wstring portFile = sandbox.DataDir() + L"\\tmp\\kacd.port";
    const int rounds = 40;
    {
        KaTest::StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
        if (!Started(service)) {
            return 1;
        }
        INTERNET_PORT port = static_cast<INTERNET_PORT>(ReadPort(portFile));
        const std::function<void()> floor = [port] { StatusFloor(port, 0); };
        Report("GetKacdStatus, daemon answering",
               MedianPair(
                   rounds, [] { KaCtrl::GetKacdStatus(); }, floor));
        ReportConcurrent("answering", 0, false, floor);
    }
    {
        // The default address answers; the port file names a peer that reads every request
        // and never answers.
        const std::wstring hungPortFile = sandbox.Root() + L"\\hung.port";
        KaTest::StandinProcess hung(
            {L"run", L"--port", L"0", L"--silent", L"--no-mutex", L"--portfile", hungPortFile});
        KaTest::StandinService service({L"--http80", L"--write-port",
                                        std::to_wstring(ReadPort(hungPortFile)), L"--portfile",
                                        portFile});
        if (!hung.Ready() || !Started(service)) {
            return 1;
        }
        ReportConcurrent("hung", 62, true,
                         [] { StatusFloor(INTERNET_DEFAULT_HTTP_PORT, kTimeoutMs); });
    }
    KaTest::RunStandin({L"remove"});
    Report("GetKacdStatus, not installed",
           MedianPair(
               rounds * 5, [] { KaCtrl::GetKacdStatus(); }, [] { ProbeService(); }));
    return 0;
}
