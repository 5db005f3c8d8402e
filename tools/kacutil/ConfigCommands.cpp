// conf, dirs, resolve and bool: the installation's directories and small configuration
// answers.
#include "Kacutil.h"

namespace Kacutil {

namespace {

// Every directory variable ReplaceDirVariables knows, in its own (ascending) order.
const char* const kDirVariables[] = {
    "$BinDir",         "$ConfDir",       "$CurrentDir", "$DataConfDir",  "$DataDir",
    "$InstallDir",     "$JavaDir",       "$KA_SUDO",    "$KaBinDir",     "$KaConfDir",
    "$KaCurrentDir",   "$KaDataConfDir", "$KaDataDir",  "$KaInstallDir", "$KaInstrumentationDir",
    "$KaJavaDir",      "$KaJreBDir",     "$KaJreDir",   "$KaLBinDir",    "$KaLibDir",
    "$KaLogDir",       "$KaMiscDir",     "$KaNonKADir", "$KaPerlADir",   "$KaShareDir",
    "$KaSystemTmpDir", "$KaTmpDir",      "$KaUserDir",  "$LBinDir",      "$LibDir",
    "$LogDir",         "$MiscDir",       "$NonKADir",   "$ShareDir",     "$SystemTmpDir",
    "$TmpDir",         "$UserDir",
};

// Wide enough for the longest name, "$KaInstrumentationDir".
std::string PadName(const std::string& name) {
    const size_t width = 23;
    return name.size() < width ? name + std::string(width - name.size(), ' ') : name + " ";
}

int RunConf(const Args& args) {
    ExpectCount(args, 0);
    Print(PadName("configuration") + Narrow(KaCtrl::GetConfDir()));
    Print(PadName("temporary") + Narrow(KaCtrl::GetTmpDir()));
    Print(PadName("sudo (ctrl.sudo)") + Narrow(KaCtrl::GetKaSudo()));
    // Last, because a missing core identifier throws and ends the command.
    Print(PadName("core id (sec.core)") + Narrow(KaCtrl::GetKaCoreID()));
    return kExitOk;
}

int RunDirs(const Args& args) {
    ExpectCount(args, 0);
    for (const char* name : kDirVariables) {
        String_t value = KaCtrl::ReplaceDirVariables(name);
        // A variable the library left alone has no value ("$KA_SUDO" without a sudo text).
        Print(PadName(name) + (value == name ? "(not set)" : Narrow(value)));
    }
    return kExitOk;
}

int RunResolve(const Args& args) {
    ExpectCount(args, 1);
    Print(KaCtrl::ReplaceDirVariables(String_t(args[0])));
    return kExitOk;
}

int RunBool(const Args& args) {
    ExpectCount(args, 1);
    bool value = KaCtrl::GetBooleanFromString(String_t(args[0]));
    Print(value ? "true" : "false");
    return value ? kExitOk : kExitNo;
}

} // namespace

std::vector<Command> ConfigCommands() {
    return {
        {"conf", "", "configuration and temporary directories, sudo text, core identifier",
         "Prints GetConfDir, GetTmpDir, GetKaSudo (\"KA_SUDO\" of ctrl.sudo) and GetKaCoreID\n"
         "(\"CORE_ID\" of sec.core), one per line.\n"
         "exit codes: 0 printed; 1 the core identifier is missing (the catalog message\n"
         "is printed after the other three lines); 2 usage.\n",
         RunConf},
        {"dirs", "", "every directory variable with its value",
         "Prints each of the 36 directory variables and $KA_SUDO with the value\n"
         "ReplaceDirVariables gives it (slashes for backslashes, no trailing separator).\n"
         "exit codes: 0 printed; 1 a directory lookup failed; 2 usage.\n",
         RunDirs},
        {"resolve", "TEXT", "TEXT with its directory variables replaced (ReplaceDirVariables)",
         "Quote TEXT so that the shell leaves its \"$\" alone: kacutil resolve '$LogDir\\x.txt'\n"
         "exit codes: 0 printed; 1 a directory lookup failed; 2 usage.\n",
         RunResolve},
        {"bool", "TEXT", "the boolean TEXT stands for (GetBooleanFromString)",
         "Prints true or false; \"true\" and \"false\" are taken in any letter case.\n"
         "exit codes: 0 true; 3 false; 1 TEXT is no boolean; 2 usage.\n",
         RunBool},
    };
}

} // namespace Kacutil
