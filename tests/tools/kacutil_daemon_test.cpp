// kacutil status, uri and service against the stand-in daemon installed as the service
// "KaCtrl": the exit code is the status code, and the address is the published one.
#include <gtest/gtest.h>

#include "KacutilRun.h"
#include "Sandbox.h"
#include "Standin.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

using KaTest::Lines;
using KaTest::RunKacutil;

constexpr char kPath[] = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class KacutilDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        KaTest::RunStandin({L"remove"});
        sandbox_.MakeDir(L"data\\tmp");
        sandbox_.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=1000\nRECEIVE_TIMEOUT=1000\n");
    }

    std::wstring PortFile() const { return sandbox_.DataDir() + L"\\tmp\\kacd.port"; }

    uint32_t PublishedPort() const {
        std::ifstream in(std::filesystem::path(PortFile()), std::ios::binary);
        unsigned char bytes[4] = {};
        in.read(reinterpret_cast<char*>(bytes), 4);
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    }

    KaTest::Sandbox sandbox_;
};

} // namespace

TEST_F(KacutilDaemon, StatusFamilyWithoutTheDaemon) {
    KaTest::KacutilResult table = RunKacutil({L"status"});
    EXPECT_EQ(table.exitCode, 63) << table.output;
    std::vector<std::string> lines = Lines(table.output);
    ASSERT_EQ(lines.size(), 7u) << table.output;
    EXPECT_EQ(lines[0], "Name       Description                        State       PID     ");
    EXPECT_EQ(lines[1], "KaCtrl     service of the control daemon kacd absent      -       ");
    EXPECT_EQ(lines[2], "mutex      KaCtrlMutexObject                  absent      -       ");
    EXPECT_EQ(lines[4],
              "Status   63: not active: service not starting, running or stopping, and no mutex");
    EXPECT_EQ(lines[5], "Running  false: the server does not answer at the default address");
    EXPECT_EQ(lines[6], std::string("Address  http://localhost") + kPath);

    KaTest::KacutilResult xml = RunKacutil({L"status", L"--xml"});
    EXPECT_EQ(xml.exitCode, 63);
    EXPECT_TRUE(Contains(xml.output, "<kac:StatusCode>63</kac:StatusCode>")) << xml.output;
    EXPECT_TRUE(Contains(xml.output, "<kac:Running>false</kac:Running>")) << xml.output;
    EXPECT_FALSE(Contains(xml.output, "Failure")) << xml.output;

    KaTest::KacutilResult uri = RunKacutil({L"uri"});
    EXPECT_EQ(uri.exitCode, 0);
    EXPECT_EQ(uri.output, std::string("http://localhost") + kPath + "\n");

    KaTest::KacutilResult bad = RunKacutil({L"status", L"--json"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.output, "kacutil status: unexpected argument '--json' (kacutil status --help)\n");
    KaTest::KacutilResult extra = RunKacutil({L"uri", L"now"});
    EXPECT_EQ(extra.exitCode, 2);
    EXPECT_EQ(extra.output, "kacutil uri: unexpected argument 'now' (kacutil uri --help)\n");
}

TEST_F(KacutilDaemon, StatusFamilyWithTheDaemonRunningAndPaused) {
    KaTest::StandinService service({L"--http80", L"--port", L"0", L"--portfile", PortFile()});
    ASSERT_TRUE(service.Control(L"start"));
    std::string address = "http://localhost:" + std::to_string(PublishedPort()) + kPath;

    KaTest::KacutilResult table = RunKacutil({L"status"});
    EXPECT_EQ(table.exitCode, 0) << table.output;
    std::vector<std::string> lines = Lines(table.output);
    ASSERT_EQ(lines.size(), 7u) << table.output;
    EXPECT_EQ(lines[1].substr(0, 58), "KaCtrl     service of the control daemon kacd running     ");
    EXPECT_NE(lines[1].substr(58, 1), "-") << lines[1];
    EXPECT_EQ(lines[2], "mutex      KaCtrlMutexObject                  present     -       ");
    EXPECT_EQ(lines[4], "Status   0: active, answers at the default and at the port-file address");
    EXPECT_EQ(lines[5], "Running  true: the server answers at the default address");
    EXPECT_EQ(lines[6], "Address  " + address);

    KaTest::KacutilResult xml = RunKacutil({L"status", L"--xml"});
    EXPECT_EQ(xml.exitCode, 0);
    EXPECT_TRUE(Contains(xml.output, "<?xml")) << xml.output;
    EXPECT_TRUE(Contains(xml.output, "<kac:StatusCode>0</kac:StatusCode>")) << xml.output;
    EXPECT_TRUE(Contains(xml.output, "<kac:Running>true</kac:Running>")) << xml.output;
    EXPECT_TRUE(Contains(xml.output, "<kac:Address>" + address + "</kac:Address>")) << xml.output;

    KaTest::KacutilResult uri = RunKacutil({L"uri"});
    EXPECT_EQ(uri.output, address + "\n");

    KaTest::KacutilResult paused = RunKacutil({L"service", L"KaCtrl", L"2"});
    EXPECT_EQ(paused.exitCode, 0) << paused.output;
    EXPECT_EQ(paused.output, "control 2 sent to the service KaCtrl\n");
    // The paused daemon keeps its mutex, which alone counts as active.
    KaTest::KacutilResult whilePaused = RunKacutil({L"status"});
    EXPECT_EQ(whilePaused.exitCode, 0) << whilePaused.output;
    EXPECT_TRUE(Contains(whilePaused.output, "kacd paused ")) << whilePaused.output;

    // The stand-in accepts no parameter change.
    KaTest::KacutilResult refused = RunKacutil({L"service", L"KaCtrl", L"6"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Contains(refused.output, "kacutil service: the service KaCtrl refused control 6: "))
        << refused.output;
    EXPECT_EQ(Lines(refused.output).size(), 1u) << refused.output;
    EXPECT_EQ(RunKacutil({L"service", L"KaCtrl", L"continue"}).exitCode, 0);
}

TEST_F(KacutilDaemon, StatusFamilyReportsTheLibrarysFailure) {
    KaTest::StandinService service({L"--http80", L"--no-mutex"});
    ASSERT_TRUE(service.Control(L"start"));
    // 70000 is no port: the address refuses it, and the status call throws.
    sandbox_.WriteFile(L"data\\tmp\\kacd.port", std::string("\x70\x11\x01\x00", 4));

    KaTest::KacutilResult table = RunKacutil({L"status"});
    EXPECT_EQ(table.exitCode, 1) << table.output;
    std::vector<std::string> lines = Lines(table.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(0, 31), "kacutil status: KaTek(7): Not a") << table.output;

    KaTest::KacutilResult xml = RunKacutil({L"status", L"--xml"});
    EXPECT_EQ(xml.exitCode, 1);
    EXPECT_TRUE(Contains(xml.output, "<kac:Failure><kac:CatalogID>KaTek</kac:CatalogID>"
                                     "<kac:MsgNumber>7</kac:MsgNumber></kac:Failure>"))
        << xml.output;
    EXPECT_FALSE(Contains(xml.output, "StatusCode")) << xml.output;

    KaTest::KacutilResult uri = RunKacutil({L"uri"});
    EXPECT_EQ(uri.exitCode, 1);
    EXPECT_EQ(uri.output,
              "kacutil uri: no address: the port file names a port the address cannot hold\n");
}
