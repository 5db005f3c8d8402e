// GetUXSignalFromName: no name is known on this platform, whatever its spelling.
#include "HandleCount.h"

#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

namespace {

using KaCtrl::String_t;

TEST(GetUXSignalFromName, EveryNameAnswersZero) {
    const String_t names[] = {
        String_t(""),        String_t::Null(),     String_t("SIGTERM"),
        String_t("sigterm"), String_t("TERM"),     String_t("SIGKILL"),
        String_t("KILL"),    String_t("SIGHUP"),   String_t("SIGINT"),
        String_t("SIGUSR1"), String_t("9"),        String_t("15"),
        String_t("SIG"),     String_t(" SIGTERM"), String_t("SIGTERM "),
        String_t("sIgTeRm"), String_t(L"\u00e9"),  String_t(L"SIG\u0000TERM", 8),
    };
    for (const String_t& name : names) {
        SCOPED_TRACE(testing::PrintToString(name.Std()));
        EXPECT_EQ(KaCtrl::GetUXSignalFromName(name), 0);
    }
}

TEST(GetUXSignalFromName, LeavesNoHandlesBehind) {
    KaTest::HandleUse before = KaTest::MeasureHandleUse();
    int nonZero = 0;
    for (int i = 0; i < 1000; ++i) {
        nonZero += KaCtrl::GetUXSignalFromName(String_t("SIGTERM")) != 0;
    }
    KaTest::HandleUse after = KaTest::MeasureHandleUse();
    EXPECT_EQ(nonZero, 0);
    EXPECT_TRUE(KaTest::NoMoreHandles(before, after));
}

} // namespace
