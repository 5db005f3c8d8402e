// KaTek runtime: configuration namespaces read from the settings file.
#include "KaTek/Config.h"
#include "KaTek/Msg.h"
#include "KaTek/Runtime.h"

#include "Env.h"
#include "FileRead.h"
#include "SettingsCache.h"
#include "SettingsParser.h"

#include <cstring>
#include <string>
#include <string_view>

namespace KaTekConfig {

namespace {

String_t MakeText(std::wstring_view units) {
    return String_t(units.data(), static_cast<uint32_t>(units.size()));
}

[[noreturn]] void ThrowSyntax(const String_t& file, size_t lineNumber, const char* reason) {
    KaTekMsg::ThrowRuntime(
        KaTekMsg::MSG_CONFIG_SYNTAX,
        {file, KaTekStr::NumToStr(static_cast<unsigned long long>(lineNumber)), String_t(reason)});
}

// The units of a file that starts with the UTF-16LE mark, as Windows editors save "Unicode".
std::wstring DecodeUtf16(const String_t& file, const std::string& bytes) {
    std::wstring units((bytes.size() - 2) / 2, L'\0');
    std::memcpy(&units[0], bytes.data() + 2, units.size() * sizeof(wchar_t));
    if (bytes.size() % 2 != 0) {
        ThrowSyntax(file, LineAtEnd(std::wstring_view(units)),
                    "the UTF-16 text ends in half a unit");
    }
    return units;
}

// The units of a UTF-8 file, with or without its mark, decoded in one call. No sequence can
// span a line end, so a file that fails has a line that fails: only then is it decoded again
// line by line, to name that line.
std::wstring DecodeUtf8(const String_t& file, const std::string& bytes) {
    const std::string_view text =
        std::string_view(bytes).substr(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    std::wstring units;
    if (KaTekStr::TryWidenStrictUtf8(text, units)) {
        return units;
    }
    ForEachLine(text, [&file, &units](size_t number, std::string_view line) {
        if (!KaTekStr::TryWidenStrictUtf8(line, units)) {
            ThrowSyntax(file, number, "the line is not valid UTF-8");
        }
    });
    ThrowSyntax(file, 1, "the text is not valid UTF-8");
}

// A later value of a key already set replaces it where it first stood.
void SetAttribute(Configuration_t::Attributes& attributes, const String_t& key,
                  const String_t& value) {
    for (auto& attribute : attributes) {
        if (attribute.first == key) {
            attribute.second = value;
            return;
        }
    }
    attributes.emplace_back(key, value);
}

// Every namespace of the file's bytes, decoded without the byte-order mark; nothing
// undecodable is ever replaced silently.
std::shared_ptr<const SettingsFile> ParseFile(const String_t& file, const std::string& bytes) {
    const std::wstring units =
        bytes.compare(0, 2, "\xFF\xFE") == 0 ? DecodeUtf16(file, bytes) : DecodeUtf8(file, bytes);
    SettingsSections parsed;
    try {
        parsed = ParseSettings(units);
    } catch (const SettingsSyntaxError& error) {
        ThrowSyntax(file, error.line, error.what());
    }
    auto settings = std::make_shared<SettingsFile>();
    settings->namespaces.reserve(parsed.size());
    for (const auto& [name, pairs] : parsed) {
        Configuration_t::Attributes attributes;
        attributes.reserve(pairs.size());
        for (const auto& [key, value] : pairs) {
            attributes.emplace_back(MakeText(key), MakeText(value));
        }
        settings->namespaces.emplace(
            name, std::make_shared<const Configuration_t::Attributes>(std::move(attributes)));
    }
    return settings;
}

} // namespace

String_t SettingsFilePath() {
    const std::wstring chosen = KaTekEnv::ReadVariable(L"KA_CONFIG_FILE");
    if (!chosen.empty()) {
        return String_t(chosen);
    }
    return KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_KA_CONF, String_t("KaAgent.ini"));
}

std::shared_ptr<const SettingsFile> ReadSettingsFile(const String_t& path) {
    std::string bytes;
    if (!KaTekIo::ReadWholeFile(path, bytes)) {
        return std::make_shared<const SettingsFile>();
    }
    return ParseFile(path, bytes);
}

Configuration_t ConfigNamespace_t::Open() const {
    const std::shared_ptr<const SettingsFile> settings = LoadCurrentSettings(SettingsFilePath());
    const auto found = settings->namespaces.find(name_.Std());
    if (found == settings->namespaces.end()) {
        return Configuration_t();
    }
    // The set shares the namespace's attributes with the parse, and keeps only them alive.
    return Configuration_t(found->second);
}

KaTekArray::CharArray_t Configuration_t::GetAttrValue(const char* key) const {
    if (key == nullptr || !attributes_) {
        return KaTekArray::CharArray_t();
    }
    const String_t wanted(key);
    for (const auto& attribute : *attributes_) {
        if (attribute.first == wanted) {
            return KaTekArray::CharArray_t(attribute.second);
        }
    }
    return KaTekArray::CharArray_t();
}

bool Configuration_t::GetAttr(int index, String_t& name, String_t& value) const {
    if (!attributes_ || index < 0 || static_cast<size_t>(index) >= attributes_->size()) {
        return false;
    }
    name = (*attributes_)[static_cast<size_t>(index)].first;
    value = (*attributes_)[static_cast<size_t>(index)].second;
    return true;
}

void Configuration_t::SetAttrValue(const char* key, const char* value) {
    // A null key names nothing that could be read back, so there is nothing to set.
    if (key == nullptr) {
        return;
    }
    // Other sets may share these attributes (the parse of the file, or copies of this set made
    // before), so the change goes into a copy of this set's own.
    auto own =
        attributes_ ? std::make_shared<Attributes>(*attributes_) : std::make_shared<Attributes>();
    SetAttribute(*own, String_t(key), String_t(value == nullptr ? "" : value));
    attributes_ = std::move(own);
}

} // namespace KaTekConfig
