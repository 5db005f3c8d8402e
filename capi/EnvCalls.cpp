// Child-process environments: the process's own, or a child's held by a handle.
#include "Calls.h"

#include "KaCtrlUtils.h"

#include <memory>

using namespace KaCtrlC;

struct KaCtrlEnvironment {
    // A command that is never started: it only holds the environment it was made with.
    KaTekCmd::Command_t command{String_t(L""), {}};
};

namespace {

// The command the library's calls take: the child's, or the null one for the process.
KaTekCmd::Command_t CommandOf(const KaCtrlEnvironment* environment) {
    return environment != nullptr ? environment->command : KaTekCmd::Command_t();
}

} // namespace

KaCtrlStatus KaCtrlCreateEnvironment(KaCtrlEnvironment** environment) {
    return Guard([&] {
        KaCtrlEnvironment*& made = Out(environment, L"environment");
        made = nullptr;
        made = std::make_unique<KaCtrlEnvironment>().release();
        return KACTRL_SUCCESS;
    });
}

void KaCtrlFreeEnvironment(KaCtrlEnvironment* environment) {
    delete environment;
}

KaCtrlStatus KaCtrlGetEnvironmentBlock(const KaCtrlEnvironment* environment, wchar_t* block,
                                       size_t size, size_t* needed) {
    return AnswerText(block, size, needed, [&] {
        std::wstring units = Out(environment, L"environment").command.GetEnvironmentBlock();
        units.pop_back(); // the block's last NUL is the one every answer ends with
        return units;
    });
}

KaCtrlStatus KaCtrlSetEnvPath(KaCtrlEnvironment* environment) {
    return Guard([&] {
        KaCtrl::SetEnvPath(CommandOf(environment));
        return KACTRL_SUCCESS;
    });
}

KaCtrlStatus KaCtrlAppendEnvVariable(int32_t append, KaCtrlEnvironment* environment,
                                     wchar_t* lastValue, size_t size, size_t* needed) {
    return AnswerText(lastValue, size, needed, [&] {
        return KaCtrl::AppendEnvVariable(append != 0, CommandOf(environment));
    });
}

KaCtrlStatus KaCtrlAvoidDuplicate(const wchar_t* list, wchar_t* result, size_t size,
                                  size_t* needed) {
    return AnswerText(result, size, needed,
                      [&] { return KaCtrl::AvoidDuplicate(TakeText(list, L"list")); });
}
