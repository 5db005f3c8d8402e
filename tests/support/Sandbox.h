// A throwaway agent installation for tests: its own installation and data directories and
// settings file under the system's temporary directory, named to the runtime through the
// environment (KA_INSTALL_DIR, KA_DATA_DIR, KA_CONFIG_FILE) for as long as it lives.
#pragma once

#include <cstdint>
#include <string>

namespace KaTest {

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::wstring& Root() const { return root_; }
    std::wstring InstallDir() const { return root_ + L"\\install"; }
    std::wstring DataDir() const { return root_ + L"\\data"; }
    std::wstring SettingsFile() const { return root_ + L"\\KaAgent.ini"; }

    // Replaces the settings file with text (UTF-8).
    void WriteSettings(const std::string& text) const;
    // Creates a directory below the root (and its parents); answers its full path.
    std::wstring MakeDir(const std::wstring& relative) const;
    // Writes bytes to a file below the root, creating its directory; answers its full path.
    std::wstring WriteFile(const std::wstring& relative, const std::string& bytes) const;

private:
    std::wstring root_;
};

// SystemTimeAgo answers the system time seconds ago, in the 100 ns units of file times.
uint64_t SystemTimeAgo(uint64_t seconds);

// SetFileTimes gives the file or folder at path the creation time created (0: unchanged) and
// the last-write time written, as file times; throws std::runtime_error when it cannot.
void SetFileTimes(const std::wstring& path, uint64_t created, uint64_t written);

// Sets (or, with an empty value, removes) a variable in both the C runtime's and the
// platform's copy of the process environment.
void SetEnv(const std::wstring& name, const std::wstring& value);

// The text of a wide string in UTF-8, for test messages.
std::string Utf8(const std::wstring& text);

} // namespace KaTest
