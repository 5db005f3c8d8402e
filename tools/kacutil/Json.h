// The JSON answers of kacutil's data commands: the document type, the naming of its keys and
// its text, apart from any platform call.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace Kacutil {

// Keys keep the order in which the human output shows them.
using Json = nlohmann::ordered_json;

// CamelCase answers label as a JSON key: its words (runs of letters and digits) joined, the
// first in lower case and each other with a capital first letter; a word all in capitals is
// taken as one word ("OS Platform" gives "osPlatform", "Common Build-ID" "commonBuildId",
// "$KA_SUDO" "kaSudo", "ctrl.env.append" "ctrlEnvAppend").
std::string CamelCase(const std::string& label);

// RenderJson answers document as UTF-8 text indented by two spaces, characters outside ASCII
// as they are. A string that is not valid UTF-8 throws nlohmann's type_error: it is never
// written altered or cut.
std::string RenderJson(const Json& document);

// NullIfEmpty answers text, or null for the empty text: a missing value is null, not "".
Json NullIfEmpty(const std::string& text);

} // namespace Kacutil
