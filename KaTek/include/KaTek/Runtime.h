// KaTek runtime: the agent's directories.
//
// Two base directories, each from an environment variable with a conventional default:
//     installation  KA_INSTALL_DIR  default "C:\Program Files\Trelm\KaAgent"
//     data          KA_DATA_DIR     default "C:\ProgramData\Trelm\KaAgent"
// The variables are read from the process environment block (GetEnvironmentVariableW,
// which _putenv_s also sets) on every call; a variable set to nothing counts as unset.
// A base that is set must be absolute ("X:\..." or "\\server\..."; slashes count as
// backslashes), else Dir_t::Path raises RuntimeError_t. Keys and their directories:
//     0  DIR_KA_BIN         <install>\bin
//     2  DIR_CURRENT        the process's current directory
//     3  DIR_DATA           <data>
//     6  DIR_KA_CONF        <data>\config
//     10 DIR_INSTRUMENT     <install>\instrumentation
//     11 DIR_LOG            <data>\log
//     14 DIR_KA_TMP         <data>\temp
//     19 DIR_INSTALL        <install>
//     20 DIR_JAVA           <install>\java
//     21 DIR_LBIN           <install>\lbin
//     22 DIR_LIB            <install>\lib
//     25 DIR_MISC           <install>\misc
//     28 DIR_NON_KA         <install>\nonKA
//     35 DIR_SYSTEM_TMP     the system's temporary directory (GetTempPath2W where the
//                           system has it, else GetTempPathW; with its trailing separator)
//     39 DIR_USER           <data>\user
// Paths come back as given by the variables (a trailing separator is dropped, except for
// key 35 and a drive root), with no existence test. A sub-path written with "/" or "\" is
// joined below the key's directory with "\"; the null or empty sub-path asks for the
// directory itself. Any other key raises RuntimeError_t.
#pragma once

#include "KaTek/Str.h"

namespace KaTekRuntime {

using KaTekStr::String_t;

enum DirKey_e {
    DIR_KA_BIN = 0,
    DIR_CURRENT = 2,
    DIR_DATA = 3,
    DIR_KA_CONF = 6,
    DIR_INSTRUMENT = 10,
    DIR_LOG = 11,
    DIR_KA_TMP = 14,
    DIR_INSTALL = 19,
    DIR_JAVA = 20,
    DIR_LBIN = 21,
    DIR_LIB = 22,
    DIR_MISC = 25,
    DIR_NON_KA = 28,
    DIR_SYSTEM_TMP = 35,
    DIR_USER = 39,
};

class KATEK_API Dir_t {
public:
    static String_t Path(DirKey_e key, const String_t& sub);
};

} // namespace KaTekRuntime
