// KaTek runtime, private: reading a whole file at once.
#pragma once

#include "KaTek/Str.h"

#include <string>

namespace KaTekIo {

// Reads the whole file into bytes. False when the file or its directory does not exist;
// any other failure (a directory, no access, a read error, a file too large, a path over the
// platform's length limit that may have hidden the file) throws RuntimeError_t naming the path.
bool ReadWholeFile(const KaTekStr::String_t& path, std::string& bytes);

} // namespace KaTekIo
