// The library loaded by name in a process that has not called it before: loading runs
// nothing that could fail, and an exported function found by its decorated name works as
// the very first call.
#include <gtest/gtest.h>

#include "KaTek.h"
#include "Sandbox.h"

#include <windows.h>

namespace {

using GetTmpDirFunction = KaTekStr::String_t (*)();

struct LibraryCloser {
    void operator()(HMODULE module) const { ::FreeLibrary(module); }
};

} // namespace

TEST(Loading, FirstCallByDecoratedNameWorks) {
    KaTest::Sandbox sandbox;
    ASSERT_EQ(::GetModuleHandleW(L"KaCtrlUtils.dll"), nullptr) << "loaded before the test";

    std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser> library(
        ::LoadLibraryW(L"KaCtrlUtils.dll"));
    ASSERT_NE(library, nullptr) << "LoadLibrary failed: " << ::GetLastError();

    auto getTmpDir = reinterpret_cast<GetTmpDirFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "_ZN6KaCtrl9GetTmpDirEv")));
    ASSERT_NE(getTmpDir, nullptr);
    EXPECT_EQ(getTmpDir().Std(), sandbox.DataDir() + L"\\tmp\\");

    // Only decorated names are exported.
    EXPECT_EQ(::GetProcAddress(library.get(), "GetTmpDir"), nullptr);
}
