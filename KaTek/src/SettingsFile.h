// KaTek runtime, private: one parse of the settings file, every namespace of it, shared by
// all the configuration sets made from it.
#pragma once

#include "KaTek/Config.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace KaTekConfig {

struct SettingsFile {
    std::unordered_map<std::wstring, std::shared_ptr<const Configuration_t::Attributes>> namespaces;
};

// ReadSettingsFile reads, decodes and parses the settings file at path; a file that is not
// there holds no namespaces. Throws RuntimeError_t naming the file (and the line) for a file
// that cannot be read or is malformed.
std::shared_ptr<const SettingsFile> ReadSettingsFile(const String_t& path);

} // namespace KaTekConfig
