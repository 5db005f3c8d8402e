// The chaos: one aspect of the world changed at a time, each change bracketed by the world's
// change count.
#include "Soak.h"

#include "AgentNames.h"
#include "Holders.h"
#include "WhileHeld.h"

#include <filesystem>
#include <fstream>

namespace Soak {

namespace {

constexpr ULONGLONG kSettleMs = 15000;
constexpr ULONGLONG kReplaceMs = 5000;

// ---- Files: written beside, then moved over, so a reader sees the old or the new whole ----

bool Replace(const std::wstring& path, const std::string& bytes) {
    const std::wstring beside = path + L".new";
    {
        std::ofstream out(std::filesystem::path(beside), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
    return KaFiles::RetryWhileHeld(kReplaceMs, [&] {
        return ::MoveFileExW(beside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    });
}

bool Remove(const std::wstring& path) {
    return KaFiles::RetryWhileHeld(kReplaceMs, [&] {
        return ::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    });
}

std::string PortBytes(uint32_t port) {
    return {static_cast<char>(port & 0xFF), static_cast<char>(port >> 8 & 0xFF),
            static_cast<char>(port >> 16 & 0xFF), static_cast<char>(port >> 24 & 0xFF)};
}

uint32_t ReadPort(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    unsigned char bytes[4] = {};
    in.read(reinterpret_cast<char*>(bytes), 4);
    return in ? bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24
              : 0;
}

bool PutPortFile(const Places& places, PortFile variant, const WorldState& state) {
    switch (variant) {
    case PortFile::Absent:
        return Remove(places.portFile);
    case PortFile::Served:
        return Replace(places.portFile, PortBytes(state.servedPort));
    case PortFile::Refused:
        return Replace(places.portFile, PortBytes(9)); // discard: no one
    case PortFile::Hanging:
        return Replace(places.portFile, PortBytes(state.hangingPort));
    case PortFile::Torn:
        return Replace(places.portFile, PortBytes(state.servedPort).substr(0, 2));
    case PortFile::Zero:
        return Replace(places.portFile, PortBytes(0));
    default:
        return false;
    }
}

// ---- The daemon's service, driven through the service control manager ----

DWORD QueryState(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return ::QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD wanted) {
    for (ULONGLONG deadline = ::GetTickCount64() + kSettleMs; ::GetTickCount64() < deadline;) {
        if (QueryState(service) == wanted) {
            return true;
        }
        ::Sleep(20);
    }
    return false;
}

Service Settled(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return Service::Stopped;
    case SERVICE_RUNNING:
        return Service::Running;
    case SERVICE_PAUSED:
        return Service::Paused;
    default:
        return Service::Unknown; // pending, or the query failed
    }
}

// One step towards a state: a start or a control, then the wait for its outcome.
bool Step(SC_HANDLE service, DWORD control, DWORD wanted, const char* action, Ledger& ledger) {
    SERVICE_STATUS status{};
    bool sent = control == 0 ? ::StartServiceW(service, 0, nullptr) != FALSE
                             : ::ControlService(service, control, &status) != FALSE;
    if (!sent) {
        ledger.Refuse(action, ::GetLastError());
        return false;
    }
    if (!WaitForState(service, wanted)) {
        ledger.Refuse(std::string(action) + ": state not reached in time", QueryState(service));
        return false;
    }
    return true;
}

Service DriveService(Service target, Ledger& ledger) {
    ServiceManagerUse use;
    KaHold::unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    KaHold::unique_service service(manager ? ::OpenServiceW(manager.get(), KaAgent::kServiceNameW,
                                                            SERVICE_START | SERVICE_STOP |
                                                                SERVICE_PAUSE_CONTINUE |
                                                                SERVICE_QUERY_STATUS)
                                           : nullptr);
    if (!service) {
        ledger.Refuse("open the service", ::GetLastError());
        return Service::Unknown;
    }
    const Service now = Settled(QueryState(service.get()));
    bool done = true;
    if (target == Service::Stopped) {
        done = Step(service.get(), SERVICE_CONTROL_STOP, SERVICE_STOPPED, "stop", ledger);
    } else {
        if (now == Service::Stopped) {
            done = Step(service.get(), 0, SERVICE_RUNNING, "start", ledger);
        } else if (now == Service::Paused) {
            done =
                Step(service.get(), SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, "continue", ledger);
        }
        if (done && target == Service::Paused) {
            done = Step(service.get(), SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, "pause", ledger);
        }
    }
    // Whatever was refused, the state the manager now reports settled is the world's.
    return Settled(QueryState(service.get()));
}

// ---- One change ----

template <typename Enum> Enum Other(Enum current, int count, std::mt19937& rng) {
    Enum next = current;
    while (next == current) {
        next = static_cast<Enum>(std::uniform_int_distribution<int>(0, count - 1)(rng));
    }
    return next;
}

class Chaos {
public:
    Chaos(World& world, Ledger& ledger, const Places& places)
        : world_(world), ledger_(ledger), places_(places) {}

    void ChangeService(WorldState& state, Service target) {
        state.service = DriveService(target, ledger_);
        // Each start listens on a new port, whether the service then runs or pauses; the port
        // file follows it when it names it.
        const bool listening =
            state.service == Service::Running || state.service == Service::Paused;
        const uint32_t served = listening ? ReadPort(places_.servedPortFile) : state.servedPort;
        if (served != state.servedPort) {
            state.servedPort = served;
            if (state.port == PortFile::Served || state.port == PortFile::Torn) {
                ChangePort(state, state.port);
            }
        }
    }

    void ChangePort(WorldState& state, PortFile variant) {
        state.port = PutPortFile(places_, variant, state) ? variant : PortFile::Unknown;
        if (state.port == PortFile::Unknown) {
            ledger_.Refuse("write the port file", ::GetLastError());
        }
    }

    void ChangeSettings(WorldState& state, Settings variant) {
        state.settings = PutSettings(places_, variant) ? variant : Settings::Unknown;
        if (state.settings == Settings::Unknown) {
            ledger_.Refuse("write the settings file", ::GetLastError());
        }
    }

    void ChangeMutex(WorldState& state, Mutex variant) {
        mutex_.reset();
        if (variant != Mutex::None) {
            std::wstring name = KaAgent::kMutexNameW;
            if (variant == Mutex::Global) {
                name = KaAgent::kGlobalNamespaceW + name;
            }
            mutex_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
            if (!mutex_) {
                ledger_.Refuse("create the mutex", ::GetLastError());
                variant = Mutex::Unknown;
            }
        }
        state.mutex = variant;
    }

    void ChangeOne(std::mt19937& rng) {
        WorldState state = world_.Look().state;
        world_.BeginChange();
        switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0:
        case 1:
        case 2:
            ChangeService(state, Other(state.service, 3, rng));
            break;
        case 3:
        case 4:
            ChangeMutex(state, Other(state.mutex, 3, rng));
            break;
        case 5:
        case 6:
        case 7:
            ChangePort(state, Other(state.port, 6, rng));
            break;
        default:
            ChangeSettings(state, Other(state.settings, kSettingsVariants, rng));
            break;
        }
        world_.EndChange(state);
    }

private:
    World& world_;
    Ledger& ledger_;
    const Places& places_;
    KaHold::unique_handle mutex_;
};

} // namespace

std::string SettingsText(Settings variant) {
    // A and B have the same size, so only their times tell one from the other.
    const char letter = variant == Settings::B ? 'b' : 'a';
    std::string text = std::string("[lnk.http]\nCONNECT_TIMEOUT=20000\nRECEIVE_TIMEOUT=1000\n") +
                       "[sec.core]\nCORE_ID=soak-core-" + letter + "\n[ctrl.sudo]\nKA_SUDO=sudo -" +
                       letter + "\n[ctrl.env]\nSOAK_BASE=base-" + letter +
                       "\nLANG=C\n[ctrl.env.append]\nSOAK_BASE=$LogDir;x;" + letter +
                       "\n[ctrl.env.prepend]\nSOAK_LIST=$TmpDir;" + letter + "\n";
    return variant == Settings::Broken ? text + "this line is no setting\n" : text;
}

uint32_t ReceiveTimeoutMs(Settings variant) {
    return variant == Settings::A || variant == Settings::B ? 1000 : 3000;
}

bool PutSettings(const Places& places, Settings variant) {
    return variant == Settings::Removed ? Remove(places.settingsFile)
                                        : Replace(places.settingsFile, SettingsText(variant));
}

bool SetUpWorld(World& world, Ledger& ledger, const Places& places) {
    Chaos chaos(world, ledger, places);
    WorldState state = world.Look().state;
    state.service = Service::Stopped;
    world.BeginChange();
    chaos.ChangeService(state, Service::Running);
    chaos.ChangePort(state, PortFile::Served);
    chaos.ChangeSettings(state, Settings::A);
    world.EndChange(state);
    return state.service == Service::Running && state.servedPort != 0 &&
           state.port == PortFile::Served && state.settings == Settings::A;
}

void RunChaos(World& world, Ledger& ledger, const Places& places, uint32_t seed,
              const std::atomic<bool>& stop) {
    std::mt19937 rng(seed);
    Chaos chaos(world, ledger, places);
    while (!stop) {
        for (int pause = std::uniform_int_distribution<int>(15, 40)(rng); pause > 0 && !stop;
             --pause) {
            ::Sleep(100);
        }
        if (!stop) {
            chaos.ChangeOne(rng);
        }
    }
}

} // namespace Soak
