// Asks the library three questions and prints the answers: whether the control daemon
// answers, where "$LogDir" is, and a search path without its repeated entries.
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
        return 0;
    } catch (const KaTekMsg::Exception_t& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 1;
    }
}
