// soak [SECONDS] [SEED] [FAMILY]: the library under load and faults for SECONDS (600) with
// the seed SEED (31), calling the functions of FAMILY (all, status, config, text, process).
// It prints the figures over time, per function its calls and longest time, the failures by
// class, and "N passed, N failed" last; the exit code is 0 only without failures.
#include "Soak.h"
#include "SilentPeer.h"

#include "ChildMode.h"
#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <shellapi.h>

#include <cstdio>
#include <thread>

namespace {

using namespace Soak;

constexpr int kWorkers = 6;
constexpr double kSampleEverySeconds = 30;
// Handles and memory are compared from the end of the warm-up on.
constexpr double kLongestWarmUpSeconds = 60;

// The silent peer's thread outlives the run; so does the flag that makes it let go.
std::atomic<bool> g_stop{false};

std::vector<std::wstring> Arguments() {
    int count = 0;
    KaHold::unique_local argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    auto* strings = static_cast<wchar_t**>(argv.get());
    return std::vector<std::wstring>(strings, strings + (strings ? count : 0));
}

struct Options {
    unsigned long seconds = 600;
    uint32_t seed = 31;
    std::wstring family = L"all";
};

bool Parse(const std::vector<std::wstring>& args, Options& options) {
    try {
        if (args.size() > 1)
            options.seconds = std::stoul(args[1]);
        if (args.size() > 2)
            options.seed = static_cast<uint32_t>(std::stoul(args[2]));
    } catch (const std::exception&) {
        return false;
    }
    if (args.size() > 3)
        options.family = args[3];
    return args.size() <= 4 && options.seconds > 0;
}

Places MakePlaces(const KaTest::Sandbox& sandbox) {
    sandbox.MakeDir(L"data\\tmp");
    for (const wchar_t* file : {L"a.log", L"b.txt", L"c d.log", L"e.log.bak"}) {
        sandbox.WriteFile(std::wstring(L"listing\\") + file, "soak");
    }
    return {sandbox.SettingsFile(), sandbox.DataDir() + L"\\tmp\\kacd.port",
            sandbox.Root() + L"\\served.port", sandbox.Root() + L"\\listing",
            KaTest::ProgramPath()};
}

// Samples the figures until the run's time is up; answers the samples.
std::vector<Sample> Watch(const Ledger& ledger, unsigned long seconds) {
    std::vector<Sample> samples{TakeSample(0, ledger)};
    PrintSample(samples.back());
    const uint64_t start = NowMicroseconds();
    for (double next = kSampleEverySeconds;; next += kSampleEverySeconds) {
        double at = std::min<double>(next, seconds);
        while ((NowMicroseconds() - start) / 1e6 < at) {
            ::Sleep(100);
        }
        samples.push_back(TakeSample(at, ledger));
        PrintSample(samples.back());
        if (at >= seconds) {
            return samples;
        }
    }
}

// The quiet sample after the run, when the workers have ended and the silent peer has let
// its connections go, may hold no more handles than the busy one at the end of the warm-up;
// memory is reported with its growth per hour.
void JudgeFigures(const std::vector<Sample>& samples, const Sample& last, unsigned long seconds,
                  Ledger& ledger) {
    const double warmUp = std::min(kLongestWarmUpSeconds, seconds / 3.0);
    const Sample* warm = &samples.front();
    for (const Sample& sample : samples) {
        if (sample.seconds <= warmUp || warm == &samples.front()) {
            warm = &sample;
        }
    }
    const double hours = std::max(last.seconds - warm->seconds, 1.0) / 3600.0;
    std::printf("from the warm-up (%.0f s) to the quiet end: handle slot %llu -> %llu, private "
                "%.1f -> %.1f MiB (%.2f MiB per hour)\n",
                warm->seconds, static_cast<unsigned long long>(warm->handleSlot),
                static_cast<unsigned long long>(last.handleSlot), warm->privateMiB, last.privateMiB,
                (last.privateMiB - warm->privateMiB) / hours);
    // The system's own threads may hold a few handles more at one moment than at another:
    // 8 slots (4 apart) pass, as in the tests' leak checks.
    if (last.handleSlot > warm->handleSlot + 8 * 4) {
        ledger.Fail("the process", "handles still rising after the warm-up",
                    std::to_string(warm->handleSlot) + " -> " + std::to_string(last.handleSlot));
    }
}

int RunSoak(const Options& options) {
    KaTest::Sandbox sandbox;
    const Places places = MakePlaces(sandbox);
    World world;
    Ledger ledger;
    WorldState initial;
    initial.hangingPort = StartSilentPeer(g_stop);
    world.BeginChange();
    world.EndChange(initial);
    KaTest::StandinService service(
        {L"--http80", L"--port", L"0", L"--portfile", places.servedPortFile, L"--no-mutex"});
    if (initial.hangingPort == 0 || !service.Installed()) {
        std::printf("cannot set up the silent peer or the stand-in service\n");
        return 2;
    }
    std::vector<Family> families;
    for (Family family :
         {StatusFamily(world, ledger, places), ConfigFamily(world, ledger, places, options.seed),
          TextFamily(world, ledger, places, options.seed), ProcessFamily(world, ledger, places)}) {
        if (options.family == L"all" || KaTest::Utf8(options.family) == family.name) {
            families.push_back(family);
        }
    }
    if (families.empty() || !SetUpWorld(world, ledger, places)) {
        std::printf("no such family, or the world cannot be set up\n");
        return 2;
    }
    std::printf("soak: %lu s, seed %u, %s, %d workers\n", options.seconds, options.seed,
                KaTest::Utf8(options.family).c_str(), kWorkers);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kWorkers; ++i) {
        threads.emplace_back([&, i] {
            std::mt19937 rng(options.seed * 7919u + static_cast<uint32_t>(i));
            while (!stop) {
                const Family& family =
                    families[std::uniform_int_distribution<size_t>(0, families.size() - 1)(rng)];
                try {
                    family.round(rng);
                } catch (const std::exception& error) {
                    // Every call a round judges catches what it throws: this is the soak's own.
                    ledger.Fail(family.name, "exception out of a round", error.what());
                }
            }
        });
    }
    threads.emplace_back([&] { RunChaos(world, ledger, places, options.seed, stop); });
    const std::vector<Sample> samples = Watch(ledger, options.seconds);
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    g_stop = true;
    ::Sleep(500);
    const Sample quiet = TakeSample(samples.back().seconds, ledger);
    JudgeFigures(samples, quiet, options.seconds, ledger);
    ledger.Print();
    const uint64_t failed = ledger.Failures();
    std::printf("%llu passed, %llu failed\n",
                static_cast<unsigned long long>(ledger.Calls() - std::min(failed, ledger.Calls())),
                static_cast<unsigned long long>(failed));
    return failed == 0 ? 0 : 1;
}

} // namespace

int main() {
    const std::vector<std::wstring> args = Arguments();
    if (args.size() == 4 && args[1] == L"child") {
        return RunChild(args[2], args[3]);
    }
    Options options;
    if (!Parse(args, options)) {
        std::printf("usage: soak [SECONDS] [SEED] [all|status|config|text|process]\n");
        return 2;
    }
    return RunSoak(options);
}
