// The soak: worker threads call the library's exports with seeded inputs while a chaos thread
// changes what the library looks at (the daemon's service, its mutex, the port file, the
// settings file, the peers behind the ports); every call's answer is judged against the world
// that was in effect throughout it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Sandbox.h" // KaTest::Utf8 for messages

namespace Soak {

// Each aspect of the world the chaos changes; Unknown after a change the platform refused,
// until the next change that succeeds.
enum class Service { Stopped, Running, Paused, Unknown };
enum class Mutex { None, Plain, Global, Unknown };
// The port file: none, the port the daemon serves, a port nobody listens on, a peer that
// accepts and never answers, a file too short to hold a port, the value 0.
enum class PortFile { Absent, Served, Refused, Hanging, Torn, Zero, Unknown };
// The settings file: two valid variants of the same size, a malformed one, none at all.
enum class Settings { A, B, Broken, Removed, Unknown };
inline constexpr int kSettingsVariants = 4;

struct WorldState {
    Service service = Service::Unknown;
    Mutex mutex = Mutex::None;
    PortFile port = PortFile::Unknown;
    Settings settings = Settings::Unknown;
    uint32_t servedPort = 0;  // where the daemon listens besides port 80
    uint32_t hangingPort = 0; // where the silent peer listens
};

// What a call saw: the state and the change count when it began.
struct View {
    WorldState state;
    uint64_t sequence = 0;
};

// The world as the chaos last left it. A change makes the count odd while it lasts and even
// again when done, so a call whose count is even and the same at its end ran in one state.
class World {
public:
    View Look() const;
    bool Unchanged(const View& view) const;
    void BeginChange();
    void EndChange(const WorldState& state);

private:
    mutable std::mutex lock_;
    WorldState state_;
    std::atomic<uint64_t> sequence_{0};
};

// Calls, longest times and failures by function, and failures by class with a first example.
class Ledger {
public:
    void Count(const std::string& function, double ms, bool judged);
    void Fail(const std::string& function, const std::string& kind, const std::string& example);
    // Chaos actions the platform refused: reported, not counted against the library.
    void Refuse(const std::string& action, unsigned long error);
    // Wrong answers that a failed service-handle open explains, in a call that ran while
    // another thread used the service manager, under Wine: scm_repro shows Wine's service
    // manager failing such handles with ERROR_INVALID_HANDLE with none of the library's code,
    // and never with one thread. Reported, not counted against the library.
    void Excuse(const std::string& function, const std::string& kind, const std::string& example);
    uint64_t Calls() const;
    uint64_t Failures() const;
    void Print() const;

    struct Class {
        uint64_t count = 0;
        std::string example;
    };

private:
    struct Figures {
        uint64_t calls = 0, unjudged = 0, failures = 0;
        double longestMs = 0;
    };
    mutable std::mutex lock_;
    std::map<std::string, Figures> functions_;
    std::map<std::string, Class> classes_;
    std::map<std::string, uint64_t> refusals_;
    std::map<std::string, Class> excused_;
    uint64_t calls_ = 0, failures_ = 0;
};

// Whether the program runs under Wine, whose service manager fails concurrent handles.
bool OnWine();

// One use of the service manager, by a worker's call or by the chaos, from construction to
// End (or destruction); End answers whether another use ran at any moment in between.
class ServiceManagerUse {
public:
    ServiceManagerUse();
    ~ServiceManagerUse() { End(); }
    ServiceManagerUse(const ServiceManagerUse&) = delete;
    ServiceManagerUse& operator=(const ServiceManagerUse&) = delete;
    bool End();

private:
    uint64_t startedBefore_;
    int inFlightBefore_;
    bool ended_ = false, overlapped_ = false;
};

// One call under observation: the world before it, its time, and whether that world held
// throughout.
class Call {
public:
    // A call that opens service handles says so (usesServiceManager), so that one of Wine's
    // failures of concurrent handles can be told from the library's.
    Call(const World& world, Ledger& ledger, std::string function, bool usesServiceManager = false);
    // Ends the timing; answers whether the world stayed as it was (the call can be judged).
    bool Finish();
    const WorldState& State() const { return view_.state; }
    double Ms() const { return ms_; }
    void Fail(const std::string& kind, const std::string& example) const;
    // A wrong answer that a failed service-handle open explains: excused only under Wine and
    // only when another use of the service manager ran during the call.
    void FailOrExcuse(const std::string& kind, const std::string& example) const;

private:
    const World& world_;
    Ledger& ledger_;
    std::string function_;
    View view_;
    uint64_t start_ = 0;
    double ms_ = 0;
    std::optional<ServiceManagerUse> managerUse_;
    bool overlapped_ = false;
};

// A family of checks: a name that the command line selects, and one round of its calls.
struct Family {
    const char* name;
    std::function<void(std::mt19937&)> round;
};

// The sandbox's paths and the texts the chaos writes, shared by the chaos and the checks.
struct Places {
    std::wstring settingsFile, portFile, servedPortFile, listingDir, program;
};

// SettingsText answers the text of a settings variant (A, B or Broken).
std::string SettingsText(Settings variant);
// The receive time-out of "lnk.http" in a variant, which a silent peer costs each ping.
uint32_t ReceiveTimeoutMs(Settings variant);

// Answer runs action and answers its result as text, or "throws " and the exception's text.
std::string Answer(const std::function<std::string()>& action);
uint64_t NowMicroseconds();

// The families; each keeps what it needs (reference answers, children) in its own file.
Family StatusFamily(const World& world, Ledger& ledger, const Places& places);
Family ConfigFamily(const World& world, Ledger& ledger, const Places& places, uint32_t seed);
Family TextFamily(const World& world, Ledger& ledger, const Places& places, uint32_t seed);
Family ProcessFamily(const World& world, Ledger& ledger, const Places& places);

// The children TerminateApp stops ("gentle" waits for its stop event, "stubborn" makes none).
int RunChild(const std::wstring& mode, const std::wstring& name);

// The chaos: runs until stop, changing one aspect of the world at a time.
void RunChaos(World& world, Ledger& ledger, const Places& places, uint32_t seed,
              const std::atomic<bool>& stop);
// Sets the world to a known start: service running, no mutex, port file served, settings A.
bool SetUpWorld(World& world, Ledger& ledger, const Places& places);
// Writes a settings variant in the quiet, for reference answers; true when it is on disk.
bool PutSettings(const Places& places, Settings variant);

// The figures over time: calls and failures so far, the highest fresh handle, private memory.
struct Sample {
    double seconds;
    uint64_t calls, failures;
    uintptr_t handleSlot;
    double privateMiB;
};
Sample TakeSample(double seconds, const Ledger& ledger);
void PrintSample(const Sample& sample);

} // namespace Soak
