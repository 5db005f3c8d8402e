// The one trace record of the library, "Append returns " + value, written by
// AppendEnvVariable when "ctrl.utils" is traced at level 1, and nothing otherwise. The
// runtime attaches a trace object once per process, so CTest runs this program once a case:
//   env_trace_test AREAS LEVEL RECORDS    (AREAS "-": no trace settings at all)
// It exits with 0 when the trace file holds RECORDS records, each the expected one.
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::puts("usage: env_trace_test AREAS LEVEL RECORDS");
        return 2;
    }
    const std::string areas = argv[1];
    KaTest::Sandbox sandbox;
    const std::wstring file = sandbox.Root() + L"\\trace.log";
    sandbox.WriteSettings((areas == "-" ? ""
                                        : "[tek.trace]\nAREAS=" + areas + "\nLEVEL=" + argv[2] +
                                              "\nFILE=" + KaTest::Utf8(file) + "\n") +
                          "[ctrl.env]\nX=a\n[ctrl.env.append]\nW=c\nX=b\n");
    // All three functions run, so that a record of any other would show. W is extended
    // too, before X: the record carries the last value.
    KaTekCmd::Command_t command(KaTekStr::String_t("unused.exe"), {});
    KaCtrl::SetEnvPath(command);
    KaCtrl::AvoidDuplicate(KaTekStr::String_t("a;A;b"));
    bool right = KaCtrl::AppendEnvVariable(true, command).Std() == L"a;b";
    const std::string expected = " ctrl.utils 1 Append returns a;b (../Utils:758)";
    std::ifstream in{std::filesystem::path(file)};
    int records = 0;
    for (std::string line; std::getline(in, line); ++records) {
        line.erase(line.find_last_not_of('\r') + 1);
        std::printf("record: %s\n", line.c_str());
        right = right && line.size() >= expected.size() &&
                line.compare(line.size() - expected.size(), expected.size(), expected) == 0;
    }
    // Without trace settings the runtime's default file lies below the sandbox's log directory.
    right = right && records == std::stoi(argv[3]) &&
            !std::filesystem::exists(std::filesystem::path(sandbox.DataDir() + L"\\log"));
    std::printf("%d records; %s\n", records, right ? "as expected" : "NOT as expected");
    return right ? 0 : 1;
}
