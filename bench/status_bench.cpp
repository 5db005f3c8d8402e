// Measures GetKacdStatus against the floor of the platform calls and pings it cannot avoid,
// with the stand-in daemon running and with no daemon installed, and prints medians and
// their ratios. Then measures 1, 6 and 32 callers at once, against answering peers and
// against a hung port-file peer, beside the single-caller figure: no caller may wait for
// another's pings.
#include "AgentNames.h"
#include "KaCtrlUtils.h"
#include "Holders.h"
#include "KaLnk.h"
#include "KaTek.h"
#include "Sandbox.h"
#include "Standin.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
    KaHold::unique_service service(::OpenServiceA(manager.get(), KaAgent::kServiceName,
                                                  GENERIC_EXECUTE | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    ::QueryServiceStatus(service.get(), &status);
}

void ProbeMutex() {
    KaHold::unique_handle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, KaAgent::kMutexName));
}

constexpr int kCallers[] = {1, 6, 32};
// The time-outs of "lnk.http" here; the receive time-out bounds each ping to a hung peer.
constexpr int kTimeoutMs = 1000;

// One ping of the daemon's address on port (0: the default port) through a client made from
// "lnk.http", as each status call must make one: the configuration read, the client, and
// the contract's ping (asynchronous WinHTTP, whose time-outs hold where the synchronous mode
// may wait beyond them).
void Ping(uint32_t port) {
    KaTekConfig::Configuration_t configuration = KaTekConfig::ConfigNamespace_t("lnk.http").Open();
    configuration.SetAttrValue("APP_NAME", "status_bench");
    configuration.SetAttrValue("APP_VERSION", "1.0");
    const std::string address = port == 0 ? "" : ":" + std::to_string(port);
    KaLnkCb::PingServer(
        KaLnkHttp::HttpClient(configuration),
        KaTekNet::URI_t(("http://localhost" + address + KaAgent::kPingPath).c_str()));
}

// The platform and contract calls one GetKacdStatus cannot avoid when the service runs and
// the port file names port: three presence probes and a ping of each address. Against a
// port-file peer that never answers, the second ping waits out its receive time-out.
void StatusFloor(uint32_t port) {
    for (int probe = 0; probe < 3; ++probe) {
        ProbeService();
        ProbeMutex();
    }
    Ping(0);
    Ping(port);
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

// The times, in ms, of callers threads that each make one call at the same moment, per
// round: the call's rounds alternate with the floor's, so that drift in the machine's load
// weighs on both alike.
struct Rounds {
    std::vector<std::vector<double>> calls, floors;
};

std::vector<double> OneRound(int callers, const std::function<void()>& work) {
    KaHold::unique_handle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
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
    return took;
}

Rounds Measure(int callers, int rounds, const std::function<void()>& call,
               const std::function<void()>& floor) {
    Rounds measured;
    for (int round = 0; round < rounds; ++round) {
        measured.calls.push_back(OneRound(callers, call));
        measured.floors.push_back(OneRound(callers, floor));
    }
    return measured;
}

double Worst(const std::vector<double>& samples) {
    return *std::max_element(samples.begin(), samples.end());
}

std::vector<double> Joined(const std::vector<std::vector<double>>& rounds) {
    std::vector<double> all;
    for (const std::vector<double>& round : rounds) {
        all.insert(all.end(), round.begin(), round.end());
    }
    return all;
}

// The last caller's time in the typical round: the median over rounds of each round's worst.
double TypicalLast(const std::vector<std::vector<double>>& rounds) {
    std::vector<double> worsts;
    for (const std::vector<double>& round : rounds) {
        worsts.push_back(Worst(round));
    }
    return Median(worsts);
}

// How often each status code came back, printed as " 0:n 61:n 62:n 63:n".
class Answers {
public:
    void Count(int status) {
        for (size_t i = 0; i < std::size(kCodes); ++i) {
            counts_[i] += status == kCodes[i];
        }
    }
    void PrintAndReset() {
        for (size_t i = 0; i < std::size(kCodes); ++i) {
            std::printf(" %d:%d", kCodes[i], counts_[i].exchange(0));
        }
    }

private:
    static constexpr int kCodes[] = {0, 61, 62, 63};
    std::atomic<int> counts_[std::size(kCodes)] = {};
};

// One row per number of callers: the median and worst time per caller, and the last
// caller's time in the typical round, beside the single-caller median; judged against
// 1.2 x single + noise. The noise is the machine's: how much later than the floor's median
// alone the last of that many concurrent floors ends in the typical round, that is the wait
// for the two cores and for the platform's services (the service manager, the name resolver,
// Wine's server) that the same work meets when that many run at once. Against the hung peer
// also the limit of 2 x receive time-out + 1 s that every caller must keep. The answers are
// counted by code: a stand-in that cannot serve every caller at once would show there, and so
// does Wine's service manager, which under many concurrent callers now and then fails an
// OpenService or QueryServiceStatus with ERROR_INVALID_HANDLE (a 63).
void ReportConcurrent(const char* peers, bool hung, const std::function<void()>& floor) {
    Answers answers;
    const std::function<void()> call = [&answers] { answers.Count(KaCtrl::GetKacdStatus()); };
    double single = 0;
    double floorAlone = 0;
    for (int callers : kCallers) {
        // Enough rounds for steady medians, without making the hung peer's rows last minutes.
        const int rounds = hung ? 5 : callers == 1 ? 15 : 9;
        const Rounds measured = Measure(callers, rounds, call, floor);
        const std::vector<double> calls = Joined(measured.calls);
        if (callers == 1) {
            single = Median(calls);
            floorAlone = Median(Joined(measured.floors));
        }
        const double last = TypicalLast(measured.calls);
        const double noise = TypicalLast(measured.floors) - floorAlone;
        const double bound = 1.2 * single + noise;
        std::printf("%-9s %2d callers  median %5.0f  worst %5.0f  last in round %5.0f ms"
                    "  single %5.0f  noise %5.0f  1.2 x single + noise %5.0f ms %s",
                    peers, callers, Median(calls), Worst(calls), last, single, noise, bound,
                    last <= bound ? "met" : "MISSED");
        if (hung) {
            const double limit = 2 * kTimeoutMs + 1000.0;
            std::printf("  each <= %.0f ms %s", limit, Worst(calls) <= limit ? "met" : "MISSED");
        }
        std::printf("  answers");
        answers.PrintAndReset();
        std::printf("\n");
    }
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    const std::string timeout = std::to_string(kTimeoutMs);
    sandbox.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=" + timeout +
                          "\nRECEIVE_TIMEOUT=" + timeout + "\n");
    const std::wstring portFile = sandbox.DataDir() + L"\\tmp\\" + KaAgent::kPortFileNameW;
    const int rounds = 40;
    // Installed once for both peers: once a concurrent CloseServiceHandle has failed in Wine's
    // service manager, the service stays marked for deletion until this process ends.
    KaTest::StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
    if (!service.Installed() || !service.Control(L"start")) {
        std::fprintf(stderr, "the stand-in daemon could not be installed and started\n");
        return 1;
    }
    const uint32_t port = ReadPort(portFile);
    const std::function<void()> floor = [port] { StatusFloor(port); };
    Report("GetKacdStatus, daemon answering", MedianPair(
                                                  rounds, [] { KaCtrl::GetKacdStatus(); }, floor));
    ReportConcurrent("answering", false, floor);
    {
        // The default address answers; the port file now names a peer that reads every
        // request and never answers.
        const std::wstring hungPortFile = sandbox.Root() + L"\\hung.port";
        KaTest::StandinProcess hung(
            {L"run", L"--port", L"0", L"--silent", L"--no-mutex", L"--portfile", hungPortFile});
        if (!hung.Ready()) {
            std::fprintf(stderr, "the hung peer did not start\n");
            return 1;
        }
        if (!::CopyFileW(hungPortFile.c_str(), portFile.c_str(), FALSE)) {
            std::fprintf(stderr, "the port file could not be replaced\n");
            return 1;
        }
        const uint32_t hungPort = ReadPort(portFile);
        ReportConcurrent("hung", true, [hungPort] { StatusFloor(hungPort); });
    }
    if (KaTest::RunStandin({L"remove"}) != 0) {
        std::printf("GetKacdStatus, not installed: left out, the service stays marked for "
                    "deletion while this process runs (a handle Wine failed to close)\n");
        return 0;
    }
    Report("GetKacdStatus, not installed",
           MedianPair(
               rounds * 5, [] { KaCtrl::GetKacdStatus(); }, [] { ProbeService(); }));
    return 0;
}
