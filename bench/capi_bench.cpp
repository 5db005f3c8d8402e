// capi_bench: the C interface against the C++ call it wraps, for AvoidDuplicate (10,000
// entries), ReplaceDirVariables (100 KiB) and GetKacdStatus (no daemon installed). The C call
// is timed into a buffer already large enough, as a caller that reuses one makes it; its cost
// over the C++ call is the one copy of the result (and of the text taken in). The sizing pair
// (asking the size, then the answer) does the work twice, and is shown apart.
#include "KaCtrlUtils.h"
#include "KaCtrlUtilsC.h"

#include "BestMs.h"
#include "Sandbox.h"

#include <cstdio>
#include <string>

namespace {

using KaBench::BestMs;
using KaTekStr::String_t;
using TextCall = KaCtrlStatus (*)(const wchar_t*, wchar_t*, size_t, size_t*);

void Compare(const char* name, const std::wstring& text, String_t (*cpp)(String_t), TextCall c) {
    const int repeats = 20;
    std::wstring buffer(cpp(String_t(text)).GetLength() + 1, L'\0');
    size_t needed = 0;
    const double cppMs = BestMs([&] {
                             for (int i = 0; i < repeats; ++i) {
                                 cpp(String_t(text));
                             }
                         }) /
                         repeats;
    const double cMs = BestMs([&] {
                           for (int i = 0; i < repeats; ++i) {
                               c(text.c_str(), buffer.data(), buffer.size(), &needed);
                           }
                       }) /
                       repeats;
    const double pairMs = BestMs([&] {
                              for (int i = 0; i < repeats; ++i) {
                                  c(text.c_str(), nullptr, 0, &needed);
                                  c(text.c_str(), buffer.data(), needed, &needed);
                              }
                          }) /
                          repeats;
    std::printf("%-20s C++ %9.3f ms   C %9.3f ms (ratio %.2f)   size, then answer %9.3f ms\n", name,
                cppMs, cMs, cMs / cppMs, pairMs);
}

std::wstring PathList(int count) {
    std::wstring list;
    for (int entry = 0; entry < count; ++entry) {
        list += L";C:\\Program Files\\Tool" + std::to_wstring(entry % (count / 2)) + L"\\bin";
    }
    return list;
}

std::wstring Paths(size_t units) {
    std::wstring text;
    while (text.size() < units) {
        text += L"$LogDir\\a.txt $KaTmpDir\\b $NoVariable ";
    }
    return text;
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\sudo.exe -u agent\n");
    Compare("AvoidDuplicate", PathList(10000), KaCtrl::AvoidDuplicate, KaCtrlAvoidDuplicate);
    Compare("ReplaceDirVariables", Paths(100 * 1024), KaCtrl::ReplaceDirVariables,
            KaCtrlReplaceDirVariables);
    int32_t status = 0;
    const double cppMs = BestMs([] { KaCtrl::GetKacdStatus(); }, 20);
    const double cMs = BestMs([&] { KaCtrlGetKacdStatus(&status); }, 20);
    std::printf("%-20s C++ %9.3f ms   C %9.3f ms (ratio %.2f)\n", "GetKacdStatus", cppMs, cMs,
                cMs / cppMs);
}
