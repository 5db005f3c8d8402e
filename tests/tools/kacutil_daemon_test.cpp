// kacutil status, uri and service against the stand-in daemon installed as the service
// "KaCtrl": the exit code is the status code, and the address is the published one.
#include "KacutilRun.h"

#include <filesystem>
#include <fstream>

using KaTest::ExpectKacutil;

TEST(KacutilDaemon, StatusFamily) {
    const std::string path = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kac:KacdStatus xmlns:kac=\"urn:trelm:kac\">";
    KaTest::RunStandin({L"remove"});
    KaTest::Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    sandbox.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=1000\nRECEIVE_TIMEOUT=1000\n");
    // Without the daemon. The table leaves the address to the XML and uri rows.
    ExpectKacutil({
        {{L"status"},
         63,
         "Name       Description                        State       PID     \n"
         "KaCtrl     service of the control daemon kacd absent      -       \n"
         "mutex      KaCtrlMutexObject                  absent      -       \n\n"
         "Status   63: not active*\nRunning  false: *\nAddress  http://localhost/*\n"},
        {{L"status", L"--xml"},
         63,
         xml + "<kac:StatusCode>63</kac:StatusCode>*<kac:Running>false</kac:Running>" +
             "<kac:Address>http://localhost" + path + "</kac:Address></kac:KacdStatus>\n"},
        {{L"uri"}, 0, "http://localhost" + path + "\n"},
        KaTest::Usage({L"status", L"--json"}, "unexpected argument '--json'"),
    });
    std::wstring portFile = sandbox.DataDir() + L"\\tmp\\kacd.port";
    KaTest::StandinService service({L"--http80", L"--port", L"0", L"--portfile", portFile});
    ASSERT_TRUE(service.Control(L"start"));
    uint32_t port = 0; // four bytes, lowest first, as this platform stores them
    std::ifstream(std::filesystem::path(portFile), std::ios::binary)
        .read(reinterpret_cast<char*>(&port), 4);
    ExpectKacutil({
        {{L"status"},
         0,
         "Name *\nKaCtrl     service of the control daemon kacd running     %*\n"
         "mutex      KaCtrlMutexObject                  present     -       \n\n"
         "Status   0: active, *\nRunning  true: *\nAddress  "
         "http://localhost:%*/lnkrpcserver\n"},
        {{L"status", L"--xml"}, 0, "*<kac:Running>true</kac:Running>*"},
        {{L"uri"}, 0, "http://localhost:" + std::to_string(port) + path + "\n"},
        {{L"service", L"KaCtrl", L"2"}, 0, "control 2 sent to the service KaCtrl\n"},
        // The paused daemon keeps its mutex, which alone counts as active.
        {{L"status"}, 0, "*kacd paused *\nStatus   0: *"},
        // The stand-in accepts no parameter change.
        KaTest::Failure({L"service", L"KaCtrl", L"6"}, "the service KaCtrl refused control 6: *"),
    });
    // 70000 is no port: the address refuses it, and the status call throws before any answer.
    sandbox.WriteFile(L"data\\tmp\\kacd.port", std::string("\x70\x11\x01\x00", 4));
    ExpectKacutil({
        {{L"status"}, 1, "*\nkacutil status: KaTek(7): Not a*"},
        {{L"status", L"--xml"},
         1,
         xml + "<kac:Failure><kac:CatalogID>KaTek</kac:CatalogID>" +
             "<kac:MsgNumber>7</kac:MsgNumber></kac:Failure>*"},
    });
}
