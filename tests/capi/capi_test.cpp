// The C interface against the C++ library: for the same inputs, the same answers and the
// same failures, by the sizing convention at every size that matters, on real platform calls.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "KaCtrlUtilsC.h"

#include "Checks.h"
#include "ChildMode.h"
#include "Generator.h"
#include "Holders.h"
#include "Sandbox.h"

#include <algorithm>
#include <functional>
#include <thread>
#include <winsock2.h>

#include <psapi.h>

namespace {

using KaCtrl::String_t;
using SizedCall = std::function<KaCtrlStatus(wchar_t*, size_t, size_t*)>;

struct Answer {
    KaCtrlStatus status;
    std::wstring text; // the answer, or the failure's text
    bool operator==(const Answer& other) const {
        return status == other.status && text == other.text;
    }
};

void PrintTo(const Answer& answer, std::ostream* out) {
    *out << answer.status << " " << KaTest::Hex(answer.text);
}

std::wstring LastFailure(uint32_t* number = nullptr) {
    std::wstring text(4096, L'\0');
    size_t needed = 0;
    EXPECT_EQ(KaCtrlGetLastFailure(number, text.data(), text.size(), &needed), KACTRL_SUCCESS);
    return text.substr(0, needed - 1);
}

// Calls call by the sizing convention: asked the size (a null buffer of size 0), given one
// unit less (nothing may be written), then exactly the size (the answer and its NUL, not a
// unit past them); refused without needed, or with a null buffer of a size.
Answer CallSized(const SizedCall& call) {
    size_t needed = 99;
    const KaCtrlStatus status = call(nullptr, 0, &needed);
    if (status != KACTRL_BUFFER_TOO_SMALL) {
        EXPECT_EQ(needed, 0u);
        return {status, LastFailure()};
    }
    std::wstring buffer(needed + 1, L'#');
    const std::wstring untouched = buffer;
    size_t answered = 0;
    EXPECT_EQ(call(buffer.data(), needed - 1, &answered), KACTRL_BUFFER_TOO_SMALL);
    EXPECT_EQ(answered, needed);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(call(buffer.data(), needed, nullptr), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(call(nullptr, needed, &answered), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(answered, 0u);
    EXPECT_EQ(call(buffer.data(), needed, &answered), KACTRL_SUCCESS);
    EXPECT_EQ(answered, needed);
    EXPECT_EQ(buffer.substr(needed - 1), std::wstring(1, L'\0') + L'#');
    return {KACTRL_SUCCESS, buffer.substr(0, needed - 1)};
}

// What the C++ call answers, or the failure the C interface must turn its exception into.
Answer CppAnswer(const std::function<std::wstring()>& call) {
    try {
        return {KACTRL_SUCCESS, call()};
    } catch (const KaTekMsg::Exception_t& error) {
        return {KACTRL_CONFIG_ERROR, error.GetMessageList().Format(KaTekMsg::FMT_LINES).Std()};
    } catch (const std::length_error& error) {
        return {KACTRL_TOO_LONG, KaTekStr::WidenUtf8(error.what())};
    }
}

// A call that takes a text and answers one, in C and in C++.
struct TextPair {
    std::function<KaCtrlStatus(const wchar_t*, wchar_t*, size_t, size_t*)> c;
    std::function<String_t(const String_t&)> cpp;
};

// What the process holds privately now, in bytes.
int64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    EXPECT_TRUE(::K32GetProcessMemoryInfo(::GetCurrentProcess(),
                                          reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                          sizeof(counters)));
    return static_cast<int64_t>(std::max(counters.PrivateUsage, counters.PagefileUsage));
}

} // namespace

// Seeded hostile texts (cut at their first NUL, where a C text ends) through every call that
// takes a text and answers one, and through GetBooleanFromString; error texts of any code.
TEST(CInterface, TextsAnswerAsInTheLibrary) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\sudo $LogDir\n");
    const auto uri = [](bool escape) {
        return TextPair{[escape](const wchar_t* t, wchar_t* b, size_t s, size_t* n) {
                            return KaCtrlFileNameToURI(t, escape, b, s, n);
                        },
                        [escape](const String_t& t) { return KaCtrl::FileNameToURI(t, escape); }};
    };
    const TextPair calls[] = {{KaCtrlFormatName, KaCtrl::FormatName},
                              {KaCtrlFormatDescription, KaCtrl::FormatDescription},
                              {KaCtrlFormatCategory, KaCtrl::FormatCategory},
                              {KaCtrlFormatPID, KaCtrl::FormatPID},
                              {KaCtrlReverseSlashes, KaCtrl::ReverseSlashes},
                              {KaCtrlReplaceDirVariables, KaCtrl::ReplaceDirVariables},
                              {KaCtrlAvoidDuplicate, KaCtrl::AvoidDuplicate},
                              uri(false),
                              uri(true)};
    KaTest::Generator generator{std::mt19937(20261207)};
    for (int round = 0; round < 300; ++round) {
        std::wstring text = generator.Text(40);
        text = text.substr(0, text.find(L'\0'));
        SCOPED_TRACE(KaTest::Hex(text));
        for (const TextPair& call : calls) {
            EXPECT_EQ(CallSized([&](wchar_t* b, size_t s, size_t* n) {
                          return call.c(text.c_str(), b, s, n);
                      }),
                      CppAnswer([&] { return call.cpp(String_t(text)).Std(); }));
        }
        const uint32_t code = static_cast<uint32_t>(generator.Below(1500));
        EXPECT_EQ(CallSized([&](wchar_t* b, size_t s, size_t* n) {
                      return KaCtrlGetLastErrorText(code, b, s, n);
                  }),
                  CppAnswer([&] { return KaCtrl::GetLastErrorText(code).Std(); }));
        // A boolean in any letter case, else the catalog's message 1 with the text in it.
        const std::wstring flag = round % 3 == 0 ? L"tRuE" : round % 3 == 1 ? L"FaLsE" : text;
        int32_t value = -1;
        const KaCtrlStatus status = KaCtrlGetBooleanFromString(flag.c_str(), &value);
        EXPECT_EQ(
            (Answer{status, status == KACTRL_SUCCESS ? std::to_wstring(value) : LastFailure()}),
            CppAnswer(
                [&] { return std::to_wstring(KaCtrl::GetBooleanFromString(String_t(flag))); }));
    }
}

// The calls that read the installation and the settings, and every kind of refusal: a null
// pointer of each kind, a result past its bound, a text the ANSI code page cannot hold, a
// platform failure with its code, a catalog message with its number.
TEST(CInterface, FailuresCarryTheirStatusNumberAndText) {
    KaTest::Sandbox sandbox;
    const auto sized = [](auto c) {
        return CallSized([c](wchar_t* b, size_t s, size_t* n) { return c(b, s, n); });
    };
    uint32_t number = 0;
    EXPECT_EQ(sized(KaCtrlGetKaCoreID), CppAnswer([] { return KaCtrl::GetKaCoreID().Std(); }));
    LastFailure(&number);
    EXPECT_EQ(number, 3u);
    sandbox.WriteSettings(
        "[sec.core]\nCORE_ID=core-\xE2\x82\xAC\n[ctrl.sudo]\nKA_SUDO=KA_SUDOKA_SUDO$$\n");
    EXPECT_EQ(sized(KaCtrlGetKaCoreID), (Answer{KACTRL_SUCCESS, L"core-\x20AC"}));
    EXPECT_EQ(sized(KaCtrlGetKaSudo), (Answer{KACTRL_SUCCESS, L"KA_SUDOKA_SUDO$$"}));
    EXPECT_EQ(sized(KaCtrlGetConfDir).text, KaCtrl::GetConfDir().Std());
    EXPECT_EQ(sized(KaCtrlGetTmpDir).text, KaCtrl::GetTmpDir().Std());
    EXPECT_EQ(sized(KaCtrlCreateLocalURI).text, KaCtrl::CreateLocalURI().GetText().Std());
    // The sudo text forms its own name again at every step: past the bound, too long.
    size_t needed = 1;
    wchar_t unit[1];
    EXPECT_EQ(KaCtrlReplaceDirVariables(L"$$KA_SUDO", unit, 1, &needed), KACTRL_TOO_LONG);
    EXPECT_EQ(needed, 0u);
    // Reading the failure, even into a buffer too small, leaves it as it was.
    const std::wstring tooLong = LastFailure(&number);
    EXPECT_EQ(KaCtrlGetLastFailure(&number, nullptr, 0, &needed), KACTRL_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, tooLong.size() + 1);
    EXPECT_EQ(LastFailure(), tooLong);

    int32_t value = 0;
    EXPECT_EQ(KaCtrlGetBooleanFromString(nullptr, &value), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(LastFailure(), L"value is null");
    EXPECT_EQ(KaCtrlGetBooleanFromString(L"true", nullptr), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(KaCtrlGetKacdStatus(nullptr), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(KaCtrlWriteXMLBoolTag(nullptr, L"t", 1), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(KaCtrlGetTimeOfDay(&value, nullptr), KACTRL_INVALID_ARGUMENT);

    SC_HANDLE service = reinterpret_cast<SC_HANDLE>(1);
    EXPECT_EQ(KaCtrlGetServiceControlHandle(L"KaNoSuchService", &service), KACTRL_PLATFORM_ERROR);
    EXPECT_EQ(service, nullptr);
    EXPECT_EQ(LastFailure(&number), KaCtrl::GetLastErrorText(ERROR_SERVICE_DOES_NOT_EXIST).Std());
    EXPECT_EQ(number, static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
    // A lone surrogate has no form in any ANSI code page, UTF-8 included.
    EXPECT_EQ(KaCtrlGetServiceControlHandle(L"Ka\xD800", &service), KACTRL_INVALID_ARGUMENT);
    EXPECT_EQ(KaCtrlGetFilesInDir(L"C:\\", L"\xD800", nullptr, 0, &needed),
              KACTRL_INVALID_ARGUMENT);
}

// Numbers and states: the same answers as the C++ calls. No daemon runs here.
TEST(CInterface, NumbersAnswerAsInTheLibrary) {
    KaTest::Sandbox sandbox;
    int32_t value = -7;
    const auto expectValue = [&](KaCtrlStatus status, int expected) {
        EXPECT_EQ(status, KACTRL_SUCCESS);
        EXPECT_EQ(value, expected);
        value = -7;
    };
    expectValue(KaCtrlGetKacdStatus(&value), KaCtrl::GetKacdStatus());
    expectValue(KaCtrlIsKacdRunning(&value), KaCtrl::IsKacdRunning());
    expectValue(KaCtrlRunningAsAdministrator(&value), KaCtrl::RunningAsAdministrator());
    expectValue(KaCtrlSetDebugPrivilege(&value), KaCtrl::SetDebugPrivilege());
    expectValue(KaCtrlGetUXSignalFromName(L"SIGTERM", &value), 0);
    expectValue(KaCtrlTerminateApp(0xFFFFFFF0u, 0, L"x", &value), -1);
    expectValue(KaCtrlSendServiceControlSignal(nullptr, SERVICE_CONTROL_INTERROGATE, &value), 64);
    int32_t seconds = 0, microseconds = -1;
    timeval now{};
    KaCtrl::gettimeofday(&now, nullptr);
    EXPECT_EQ(KaCtrlGetTimeOfDay(&seconds, &microseconds), KACTRL_SUCCESS);
    EXPECT_LE(seconds - now.tv_sec, 1);
    EXPECT_EQ(microseconds % 1000, 0);
}

// A child's environment as a block for CreateProcessW, and the process's own; a document and
// a directory list as the C++ calls make them.
TEST(CInterface, EnvironmentsDocumentsAndLists) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.env]\nKA_C_LEVEL=2\nKA_C_LIST=C:\\a\n"
                          "[ctrl.env.append]\nKA_C_LIST=C:\\b;C:\\a\n");
    KaCtrlEnvironment* environment = nullptr;
    ASSERT_EQ(KaCtrlCreateEnvironment(&environment), KACTRL_SUCCESS);
    KaTekCmd::Command_t command(String_t(L""), {});
    EXPECT_EQ(KaCtrlSetEnvPath(environment), KACTRL_SUCCESS);
    KaCtrl::SetEnvPath(command);
    size_t needed = 0;
    EXPECT_EQ(KaCtrlAppendEnvVariable(1, environment, nullptr, 0, &needed),
              KACTRL_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, KaCtrl::AppendEnvVariable(true, command).GetLength() + 1);
    std::wstring block(command.GetEnvironmentBlock().size(), L'#');
    EXPECT_EQ(KaCtrlGetEnvironmentBlock(environment, block.data(), block.size(), &needed),
              KACTRL_SUCCESS);
    EXPECT_EQ(block, command.GetEnvironmentBlock());
    EXPECT_NE(block.find(std::wstring(L"\0KA_C_LIST=C:/a;C:/b\0", 21)), std::wstring::npos)
        << KaTest::Utf8(block);
    KaCtrlFreeEnvironment(environment);
    // The null environment is the process's.
    EXPECT_EQ(KaCtrlSetEnvPath(nullptr), KACTRL_SUCCESS);
    wchar_t level[8] = {};
    EXPECT_EQ(::GetEnvironmentVariableW(L"KA_C_LEVEL", level, 8), 1u);
    EXPECT_STREQ(level, L"2");
    KaTest::SetEnv(L"KA_C_LEVEL", L"");
    KaTest::SetEnv(L"KA_C_LIST", L"");

    KaCtrlXmlWriter* writer = nullptr;
    ASSERT_EQ(KaCtrlCreateXmlWriter(&writer), KACTRL_SUCCESS);
    KaTekXml::XmlWriter_t xml;
    xml.StartDocument();
    xml.OpenTag(String_t("kac"), String_t("Status"));
    EXPECT_EQ(KaCtrlXmlOpenTag(writer, L"kac", L"Status"), KACTRL_SUCCESS);
    EXPECT_EQ(KaCtrlWriteXMLStringTag(writer, L"Name", L"a<\xD800&"), KACTRL_SUCCESS);
    KaCtrl::WriteXMLStringTag(xml, String_t("Name"), String_t(L"a<\xD800&"));
    EXPECT_EQ(KaCtrlWriteXMLCatalog(writer, L"Msg", L"KaCtrl", L"3"), KACTRL_SUCCESS);
    KaCtrl::WriteXMLCatalog(xml, String_t("Msg"), String_t("KaCtrl"), String_t("3"));
    EXPECT_EQ(KaCtrlWriteXMLBoolTag(writer, L"Up", 7), KACTRL_SUCCESS);
    KaCtrl::WriteXMLBoolTag(xml, String_t("Up"), true);
    EXPECT_EQ(KaCtrlWriteXMLIntegerTag(writer, L"Pid", -5), KACTRL_SUCCESS);
    KaCtrl::WriteXMLIntegerTag(xml, String_t("Pid"), -5);
    xml.EndDocument();
    std::string document(xml.GetDocument().size() + 1, '#');
    EXPECT_EQ(KaCtrlGetXmlDocument(writer, document.data(), document.size(), &needed),
              KACTRL_SUCCESS);
    EXPECT_EQ(document, xml.GetDocument() + '\0');
    EXPECT_EQ(KaCtrlXmlCloseTag(writer), KACTRL_CONFIG_ERROR); // none is open any more
    KaCtrlFreeXmlWriter(writer);

    const std::wstring dir = sandbox.MakeDir(L"list");
    for (const wchar_t* name : {L"a.log", L"\x8868.log", L"c.txt"}) {
        sandbox.WriteFile(L"list\\" + std::wstring(name), "x");
    }
    for (const auto& [suffix, narrow] :
         {std::pair(L".log", ".log"), std::pair(L".none", ".none")}) {
        const wchar_t* wanted = suffix; // a lambda may not capture a structured binding in C++17
        std::wstring expected;
        for (const String_t& name : KaCtrl::GetFilesInDir(String_t(dir), narrow)) {
            expected += name.Std() + L'\0';
        }
        expected += expected.empty() ? std::wstring(1, L'\0') : L"";
        EXPECT_EQ(CallSized([&](wchar_t* b, size_t s, size_t* n) {
                      return KaCtrlGetFilesInDir(dir.c_str(), wanted, b, s, n);
                  }).text,
                  expected);
    }
}

// Each thread reads its own last failure, whatever the others fail with meanwhile.
TEST(CInterface, FailureTextsStayWithTheirThread) {
    const uintptr_t handles = KaTest::HighestFreshHandle();
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 8; ++thread) {
        threads.emplace_back([thread] {
            for (int round = 0; round < 300; ++round) {
                const std::wstring text =
                    L"t" + std::to_wstring(thread) + L"-" + std::to_wstring(round);
                int32_t value = 0;
                EXPECT_EQ(KaCtrlGetBooleanFromString(text.c_str(), &value), KACTRL_CONFIG_ERROR);
                EXPECT_EQ(KaCtrlGetBooleanFromString(L"FALSE", &value), KACTRL_SUCCESS);
                EXPECT_EQ(LastFailure(), L"KaCtrl(1): Not a boolean value '" + text + L"'.");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(KaTest::NoMoreHandlesThan(handles));
}

// A thread's failure goes with the thread: threads one after another, each keeping a large
// failure of its own, leave the process holding less than a few of those failures more.
TEST(CInterface, FailuresEndWithTheirThreads) {
    const std::wstring large(200000, L'x');
    const auto recordOwn = [&large](int thread) {
        const std::wstring text = std::to_wstring(thread) + large;
        int32_t value = 0;
        EXPECT_EQ(KaCtrlGetBooleanFromString(text.c_str(), &value), KACTRL_CONFIG_ERROR);
        size_t needed = 0; // "KaCtrl(1): Not a boolean value '" and "'." around it, and a NUL
        EXPECT_EQ(KaCtrlGetLastFailure(nullptr, nullptr, 0, &needed), KACTRL_BUFFER_TOO_SMALL);
        EXPECT_EQ(needed, text.size() + 35);
    };
    std::thread(recordOwn, 0).join(); // the heap grows once to hold such a failure
    const int64_t before = PrivateBytes();
    for (int thread = 1; thread < 48; ++thread) {
        std::thread(recordOwn, thread).join();
    }
    const int64_t textBytes = static_cast<int64_t>(large.size() * sizeof(wchar_t));
    EXPECT_LT(PrivateBytes() - before, 4 * textBytes);
}

// Unloaded while a thread keeps a failure, the DLL leaves nothing of its own to run when that
// thread ends: a copy of it, loaded by its path and freed, records failures on this thread and
// on one that ends only after the copy is gone.
TEST(CInterface, UnloadedWhileThreadsKeepFailures) {
    KaTest::Sandbox sandbox;
    const std::wstring program = KaTest::ProgramPath();
    const std::wstring copy = sandbox.Root() + L"\\KaCtrlUtilsCUnloaded.dll";
    ASSERT_TRUE(
        ::CopyFileW((program.substr(0, program.rfind(L'\\')) + L"\\KaCtrlUtilsC.dll").c_str(),
                    copy.c_str(), FALSE));
    KaHold::unique_module library(::LoadLibraryW(copy.c_str()));
    ASSERT_TRUE(library) << "LoadLibrary failed: " << ::GetLastError();
    using BooleanCall = KaCtrlStatus (*)(const wchar_t*, int32_t*);
    const auto fail = reinterpret_cast<BooleanCall>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "KaCtrlGetBooleanFromString")));
    ASSERT_NE(fail, nullptr);
    int32_t value = 0;
    EXPECT_EQ(fail(L"main", &value), KACTRL_CONFIG_ERROR);
    KaHold::unique_handle recorded(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    KaHold::unique_handle unloaded(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread keeper([&] {
        int32_t kept = 0;
        EXPECT_EQ(fail(L"keeper", &kept), KACTRL_CONFIG_ERROR);
        ::SetEvent(recorded.get());
        ::WaitForSingleObject(unloaded.get(), 10000);
    });
    EXPECT_EQ(::WaitForSingleObject(recorded.get(), 10000), WAIT_OBJECT_0);
    library.reset();
    EXPECT_EQ(::GetModuleHandleW(copy.c_str()), nullptr) << "the copy stayed loaded";
    ::SetEvent(unloaded.get());
    keeper.join(); // had the copy left a callback behind, the thread's end would call it
}
