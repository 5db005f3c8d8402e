// KaTek runtime: configuration.
//
// All namespaces live in one INI-style settings file:
//     ; comment (also # comment)
//     [lnk.http]
//     RECEIVE_TIMEOUT=2000
// UTF-8 with or without a byte-order mark, or UTF-16LE when the file starts with that
// byte-order mark (a Windows editor's "Unicode"); CRLF, LF or lone CR line ends. Blank lines
// and lines whose first non-blank character is ';' or '#' are comments. Section names and
// keys are trimmed and match exactly, letter case counting; a value is everything after the
// first '=', kept exactly (blanks and quotes included). A section may appear more than once;
// its attributes accumulate in file order.
// A repeated key in one namespace keeps its first position and takes the last value.
//
// The file is "KaAgent.ini" in the agent's configuration directory (Dir_t::Path(DIR_KA_CONF));
// the environment variable KA_CONFIG_FILE, when set, names another file instead.
// A missing file holds no namespaces. An unreadable file, a line that is neither a
// comment, a "[section]" nor "KEY=VALUE" (or a KEY=VALUE before any section), a line that
// is not valid in the file's encoding, or one holding a NUL, raises
// KaTekMsg::RuntimeError_t naming the file and the line number, on every Open while the
// file stays so. Reading is linear in the number of attributes.
//
// The file is parsed once per change: the process keeps the last parse of the file, shared by
// every caller on every thread, and an Open asks the platform first for the attributes of the
// file and of its folder (two metadata queries, no open): a parse is used again only while
// the file's size, creation and last-write times and the folder's last-write time (which a
// rename or removal in it changes) are as they were, and none of those times lay within 2 s
// (the coarsest file-system time) before that parse, so a rewrite of the same size within one
// clock tick is never missed. A change is seen by the very next Open. Another path
// (KA_CONFIG_FILE) is another file. A caller never waits for another caller's read of the
// file; the last parse is released when no Configuration_t made from it remains.
#pragma once

#include "KaTek/Array.h"
#include "KaTek/Str.h"

#include <memory>
#include <utility>
#include <vector>

namespace KaTekConfig {

using KaTekStr::String_t;

// IsSettingsBlank answers whether unit is a blank that a settings line may hold around a
// section's name, a key, or a value read as a number: a space or a tab.
inline bool IsSettingsBlank(wchar_t unit) {
    return unit == L' ' || unit == L'\t';
}

// The path of the settings file Open() reads (KA_CONFIG_FILE, or the default).
KATEK_API String_t SettingsFilePath();

// Configuration_t is the attribute set of one namespace, in file order. Changes made with
// SetAttrValue stay in this set (and its copies made afterwards), never in the file.
class KATEK_API Configuration_t {
public:
    using Attributes = std::vector<std::pair<String_t, String_t>>;

    Configuration_t() = default;
    explicit Configuration_t(Attributes attributes)
        : attributes_(std::make_shared<const Attributes>(std::move(attributes))) {}
    // A set that shares attributes with others until SetAttrValue gives it a copy of its own.
    explicit Configuration_t(std::shared_ptr<const Attributes> attributes)
        : attributes_(std::move(attributes)) {}

    // The value: its narrow data in the ANSI code page, the exact text when made into a
    // String_t; the null array for a key that is not set.
    KaTekArray::CharArray_t GetAttrValue(const char* key) const;
    int GetAttrCount() const { return attributes_ ? static_cast<int>(attributes_->size()) : 0; }
    // Fills name and value of the attribute at 0-based index; false when there is none.
    bool GetAttr(int index, String_t& name, String_t& value) const;
    // Sets key to value: replaces an existing value in place or adds the key at the end.
    void SetAttrValue(const char* key, const char* value);

private:
    std::shared_ptr<const Attributes> attributes_; // null: no attributes
};

// FindAttr answers the value of the first attribute of settings called key, as GetAttr gives
// it (GetAttrValue takes only a narrow key and makes a narrow copy of the value); the null
// text when there is none.
inline String_t FindAttr(const Configuration_t& settings, const String_t& key) {
    String_t name;
    String_t value;
    for (int index = 0; settings.GetAttr(index, name, value); ++index) {
        if (name == key) {
            return value;
        }
    }
    return String_t::Null();
}

class KATEK_API ConfigNamespace_t {
public:
    explicit ConfigNamespace_t(const char* name) : name_(name) {}
    explicit ConfigNamespace_t(const String_t& name) : name_(name) {}
    // Gives this namespace's attributes as the settings file holds them now (parsed again
    // only when it has changed); an absent namespace, or an absent file, gives an empty set.
    Configuration_t Open() const;

private:
    String_t name_;
};

} // namespace KaTekConfig
