// Asks the library four questions and prints the answers: whether the control daemon
// answers, where "$LogDir" is, a search path without its repeated entries and the time.
// <windows.h> comes first, as in most callers; its timeval is the one the library takes.
#include <windows.h>

#include "KaCtrlUtils.h"

#include <cstdio>

namespace {

void Print(const char* label, const KaTekStr::String_t& value) {
    std::printf("%s: %s\n", label, KaTekStr::NarrowUtf8(value.Std()).c_str());
}

} // namespace

int main() {
    try {
        std::printf("daemon status: %d\n", KaCtrl::GetKacdStatus());
        Print("log file", KaCtrl::ReplaceDirVariables(KaTekStr::String_t("$LogDir\\System.txt")));
        Print("path", KaCtrl::AvoidDuplicate(KaTekStr::String_t("C:\\Tools;c:/tools;D:\\Bin")));
        timeval now{};
        KaCtrl::gettimeofday(&now, nullptr);
        std::printf("seconds since 1970: %ld\n", now.tv_sec);
        return 0;
    } catch (const KaTekMsg::Exception_t& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 1;
    }
}
