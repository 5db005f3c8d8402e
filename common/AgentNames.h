// The names by which the agent's programs find one another and their settings, and the
// directory variables of its configured texts: one home for the library, kacutil, the stand-in
// daemon, the tests and the benchmarks. A program in the field looks for these very texts,
// so none of them may change.
#pragma once

#include "KaTek/Runtime.h" // the directory keys

// KA_AGENT_NAME defines id as narrow text and idW as the same text in UTF-16.
#define KA_AGENT_NAME(id, text)                                                                    \
    inline constexpr char id[] = text;                                                             \
    inline constexpr wchar_t id##W[] = L"" text;

#define KA_STOP_EVENT_PREFIX "com.trelm.ka."
#define KA_STOP_EVENT_SUFFIX ".stop"
#define KA_APPLICATION_PATH "com.trelm.ka.ctrl.kacd"
#define KA_SERVER_PATH "/lnkrpcserver"

namespace KaAgent {

// The control daemon shows itself by its service and its mutex.
KA_AGENT_NAME(kServiceName, "KaCtrl")
KA_AGENT_NAME(kMutexName, "KaCtrlMutexObject")
// A service's named objects live in the global namespace, which a process in a user's session
// reaches by this prefix only: there a plain name names an object of the session's own.
KA_AGENT_NAME(kGlobalNamespace, "Global\\")
// A process that is to be stopped gently makes the event prefix + its application + suffix.
KA_AGENT_NAME(kStopEventPrefix, KA_STOP_EVENT_PREFIX)
KA_AGENT_NAME(kStopEventSuffix, KA_STOP_EVENT_SUFFIX)
KA_AGENT_NAME(kDaemonStopEvent, KA_STOP_EVENT_PREFIX "kacd" KA_STOP_EVENT_SUFFIX)
// The daemon's server: its paths on the local host, and the port file that names its port,
// in the agent's temporary directory.
KA_AGENT_NAME(kApplicationPath, KA_APPLICATION_PATH)
KA_AGENT_NAME(kServerPath, KA_SERVER_PATH)
KA_AGENT_NAME(kPingPath, "/" KA_APPLICATION_PATH KA_SERVER_PATH)
KA_AGENT_NAME(kPortFileName, "kacd.port")
// The status pings go out in the name of the control tool.
inline constexpr char kCallerName[] = "com.trelm.ka.ctrl.kac";
inline constexpr char kCallerVersion[] = "1.5.0.0";

// Configuration namespaces and the attributes read by name.
inline constexpr char kHttpNamespace[] = "lnk.http";
inline constexpr char kSudoNamespace[] = "ctrl.sudo";
inline constexpr char kSudoAttribute[] = "KA_SUDO";
inline constexpr char kCoreNamespace[] = "sec.core";
inline constexpr char kCoreAttribute[] = "CORE_ID";
inline constexpr char kEnvNamespace[] = "ctrl.env";
inline constexpr char kAppendNamespace[] = "ctrl.env.append";
inline constexpr char kPrependNamespace[] = "ctrl.env.prepend";
// The library's one trace area.
inline constexpr char kTraceArea[] = "ctrl.utils";

// DirVariable is a directory variable: its name, the position in which its directory is asked
// for, the key of that directory and a path below it (nullptr: the directory itself).
struct DirVariable {
    const char* name;
    int lookup;
    KaTekRuntime::DirKey_e key;
    const char* sub;
};

// The directory variables, in ascending order of their names. The names without "Ka" are
// built from the installation or the data directory, the names with it ask the runtime for a
// key of their own.
inline constexpr DirVariable kDirVariables[] = {
    {"$BinDir", 2, KaTekRuntime::DIR_INSTALL, "bin/win64"},
    {"$ConfDir", 10, KaTekRuntime::DIR_DATA, "conf"},
    {"$CurrentDir", 15, KaTekRuntime::DIR_CURRENT, nullptr},
    {"$DataConfDir", 11, KaTekRuntime::DIR_DATA, "conf"},
    {"$DataDir", 8, KaTekRuntime::DIR_DATA, nullptr},
    {"$InstallDir", 1, KaTekRuntime::DIR_INSTALL, nullptr},
    {"$JavaDir", 6, KaTekRuntime::DIR_INSTALL, "java"},
    {"$KaBinDir", 21, KaTekRuntime::DIR_KA_BIN, nullptr},
    {"$KaConfDir", 29, KaTekRuntime::DIR_KA_CONF, nullptr},
    {"$KaCurrentDir", 34, KaTekRuntime::DIR_CURRENT, nullptr},
    {"$KaDataConfDir", 30, KaTekRuntime::DIR_KA_CONF, nullptr},
    {"$KaDataDir", 27, KaTekRuntime::DIR_DATA, nullptr},
    {"$KaInstallDir", 20, KaTekRuntime::DIR_INSTALL, nullptr},
    {"$KaInstrumentationDir", 36, KaTekRuntime::DIR_INSTRUMENT, nullptr},
    {"$KaJavaDir", 25, KaTekRuntime::DIR_JAVA, nullptr},
    {"$KaJreBDir", 18, KaTekRuntime::DIR_NON_KA, "jre/b/bin"},
    {"$KaJreDir", 17, KaTekRuntime::DIR_NON_KA, "jre/1.4/bin"},
    {"$KaLBinDir", 22, KaTekRuntime::DIR_LBIN, nullptr},
    {"$KaLibDir", 23, KaTekRuntime::DIR_LIB, nullptr},
    {"$KaLogDir", 32, KaTekRuntime::DIR_LOG, nullptr},
    {"$KaMiscDir", 24, KaTekRuntime::DIR_MISC, nullptr},
    {"$KaNonKADir", 26, KaTekRuntime::DIR_NON_KA, nullptr},
    {"$KaPerlADir", 19, KaTekRuntime::DIR_NON_KA, "perl/a/bin"},
    {"$KaShareDir", 31, KaTekRuntime::DIR_DATA, "shared"},
    {"$KaSystemTmpDir", 35, KaTekRuntime::DIR_SYSTEM_TMP, nullptr},
    {"$KaTmpDir", 28, KaTekRuntime::DIR_KA_TMP, nullptr},
    {"$KaUserDir", 33, KaTekRuntime::DIR_USER, nullptr},
    {"$LBinDir", 3, KaTekRuntime::DIR_INSTALL, "lbin"},
    {"$LibDir", 4, KaTekRuntime::DIR_INSTALL, "lib"},
    {"$LogDir", 13, KaTekRuntime::DIR_DATA, "log"},
    {"$MiscDir", 5, KaTekRuntime::DIR_INSTALL, "misc"},
    {"$NonKADir", 7, KaTekRuntime::DIR_INSTALL, "nonKA"},
    {"$ShareDir", 12, KaTekRuntime::DIR_DATA, "shared"},
    {"$SystemTmpDir", 16, KaTekRuntime::DIR_SYSTEM_TMP, nullptr},
    {"$TmpDir", 9, KaTekRuntime::DIR_DATA, "tmp"},
    {"$UserDir", 14, KaTekRuntime::DIR_USER, nullptr},
};

// The variable that stands for the configured sudo command text.
inline constexpr char kSudoVariable[] = "$KA_SUDO";

} // namespace KaAgent
