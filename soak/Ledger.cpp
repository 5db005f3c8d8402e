// The world's change count, the calls' ledger and the figures the soak prints.
#include "Soak.h"

#include "Checks.h"
#include "KaTek.h"

#include <psapi.h>

#include <cstdio>

namespace Soak {

namespace {

// Uses of the service manager begun so far and under way now, in the whole process.
std::atomic<uint64_t> g_managerUsesStarted{0};
std::atomic<int> g_managerUsesInFlight{0};

void PrintClasses(const char* heading, const std::map<std::string, Ledger::Class>& classes) {
    std::printf("%s:%s\n", heading, classes.empty() ? " none" : "");
    for (const auto& [name, failure] : classes) {
        std::printf("  %llu x %s\n     first: %s\n", static_cast<unsigned long long>(failure.count),
                    name.c_str(), failure.example.c_str());
    }
}

} // namespace

bool OnWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

ServiceManagerUse::ServiceManagerUse()
    : startedBefore_(g_managerUsesStarted++), inFlightBefore_(g_managerUsesInFlight++) {}

bool ServiceManagerUse::End() {
    if (!ended_) {
        --g_managerUsesInFlight;
        overlapped_ = inFlightBefore_ > 0 || g_managerUsesStarted.load() != startedBefore_ + 1;
        ended_ = true;
    }
    return overlapped_;
}

View World::Look() const {
    std::lock_guard<std::mutex> guard(lock_);
    return {state_, sequence_.load()};
}

bool World::Unchanged(const View& view) const {
    return view.sequence % 2 == 0 && sequence_.load() == view.sequence;
}

void World::BeginChange() {
    std::lock_guard<std::mutex> guard(lock_);
    ++sequence_;
}

void World::EndChange(const WorldState& state) {
    std::lock_guard<std::mutex> guard(lock_);
    state_ = state;
    ++sequence_;
}

void Ledger::Count(const std::string& function, double ms, bool judged) {
    std::lock_guard<std::mutex> guard(lock_);
    Figures& figures = functions_[function];
    ++figures.calls;
    figures.unjudged += !judged;
    figures.longestMs = std::max(figures.longestMs, ms);
    ++calls_;
}

void Ledger::Fail(const std::string& function, const std::string& kind,
                  const std::string& example) {
    std::lock_guard<std::mutex> guard(lock_);
    ++functions_[function].failures;
    Class& failure = classes_[function + ": " + kind];
    if (failure.count++ == 0) {
        failure.example = example;
    }
    ++failures_;
}

void Ledger::Excuse(const std::string& function, const std::string& kind,
                    const std::string& example) {
    std::lock_guard<std::mutex> guard(lock_);
    Class& excused = excused_[function + ": " + kind];
    if (excused.count++ == 0) {
        excused.example = example;
    }
}

void Ledger::Refuse(const std::string& action, unsigned long error) {
    std::lock_guard<std::mutex> guard(lock_);
    ++refusals_[action + " (error " + std::to_string(error) + ")"];
}

uint64_t Ledger::Calls() const {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

uint64_t Ledger::Failures() const {
    std::lock_guard<std::mutex> guard(lock_);
    return failures_;
}

void Ledger::Print() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::printf("%-28s %10s %10s %9s %12s\n", "function", "calls", "unjudged", "failed",
                "longest ms");
    for (const auto& [name, figures] : functions_) {
        std::printf("%-28s %10llu %10llu %9llu %12.1f\n", name.c_str(),
                    static_cast<unsigned long long>(figures.calls),
                    static_cast<unsigned long long>(figures.unjudged),
                    static_cast<unsigned long long>(figures.failures), figures.longestMs);
    }
    PrintClasses("failures by class", classes_);
    PrintClasses("excused: Wine's service manager failed a handle while another thread used it "
                 "(scm_repro)",
                 excused_);
    std::printf("chaos actions the platform refused:%s\n", refusals_.empty() ? " none" : "");
    for (const auto& [action, count] : refusals_) {
        std::printf("  %llu x %s\n", static_cast<unsigned long long>(count), action.c_str());
    }
}

Call::Call(const World& world, Ledger& ledger, std::string function, bool usesServiceManager)
    : world_(world), ledger_(ledger), function_(std::move(function)), view_(world.Look()) {
    if (usesServiceManager) {
        managerUse_.emplace();
    }
    start_ = NowMicroseconds();
}

bool Call::Finish() {
    ms_ = static_cast<double>(NowMicroseconds() - start_) / 1000.0;
    overlapped_ = managerUse_ && managerUse_->End();
    bool judged = world_.Unchanged(view_);
    ledger_.Count(function_, ms_, judged);
    return judged;
}

void Call::Fail(const std::string& kind, const std::string& example) const {
    ledger_.Fail(function_, kind, example);
}

void Call::FailOrExcuse(const std::string& kind, const std::string& example) const {
    if (OnWine() && overlapped_) {
        ledger_.Excuse(function_, kind, example);
    } else {
        ledger_.Fail(function_, kind, example);
    }
}

std::string Answer(const std::function<std::string()>& action) {
    try {
        return action();
    } catch (const std::exception& error) {
        return std::string("throws ") + error.what();
    }
}

uint64_t NowMicroseconds() {
    static const double perMicrosecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(static_cast<double>(now.QuadPart) / perMicrosecond);
}

Sample TakeSample(double seconds, const Ledger& ledger) {
    // The extended counters hold the private bytes only when asked for by their own size;
    // the commit charge is the same figure, and the one that Wine fills in.
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    const SIZE_T privateBytes = std::max(memory.PrivateUsage, memory.PagefileUsage);
    return {seconds, ledger.Calls(), ledger.Failures(), KaTest::HighestFreshHandle(),
            static_cast<double>(privateBytes) / (1024.0 * 1024.0)};
}

void PrintSample(const Sample& sample) {
    // The failures so far too: a run the platform ends early still shows them.
    std::printf("%7.0f s %12llu calls %6llu failed   handle slot %6llu   private %7.1f MiB\n",
                sample.seconds, static_cast<unsigned long long>(sample.calls),
                static_cast<unsigned long long>(sample.failures),
                static_cast<unsigned long long>(sample.handleSlot), sample.privateMiB);
    std::fflush(stdout);
}

} // namespace Soak
