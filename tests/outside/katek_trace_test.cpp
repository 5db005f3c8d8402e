// Tracing: which settings attach a trace object, attaching once under a race, and the lines
// DoTrace appends. Each case writes the settings of a sandbox installation first.
#include "KaTek.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using KaTekStr::String_t;
using KaTekTrc::TraceObj_t;
using KaTekTrc::TraceWrapper_t;

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> LinesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct SettingsCase {
    const char* label;
    std::string section; // the lines of [tek.trace], or a whole file when it has no section
    const char* area;
    bool attached;
    uint32_t mask;
};

TEST(Trace, SettingsDecideWhatIsTraced) {
    const std::vector<SettingsCase> table = {
        {"listed first", "AREAS=ctrl.utils,tek.io\nLEVEL=0x5\n", "ctrl.utils", true, 5},
        {"listed with blanks", "AREAS= tek.io , ctrl.utils \nLEVEL=17\n", "ctrl.utils", true, 17},
        {"every area", "AREAS=*\n", "any.area", true, 0xFFFFFFFF},
        {"upper-case hex", "AREAS=a\nLEVEL=0XFFFFFFFF\n", "a", true, 0xFFFFFFFF},
        {"zero level", "AREAS=a\nLEVEL=0\n", "a", true, 0},
        {"not listed", "AREAS=tek.io\n", "ctrl.utils", false, 0},
        {"prefix only", "AREAS=ctrl\n", "ctrl.utils", false, 0},
        {"longer name", "AREAS=ctrl.utils.x\n", "ctrl.utils", false, 0},
        {"no areas", "LEVEL=1\n", "ctrl.utils", false, 0},
        {"empty areas", "AREAS=\n", "ctrl.utils", false, 0},
        {"level too big", "AREAS=a\nLEVEL=4294967296\n", "a", false, 0},
        {"level negative", "AREAS=a\nLEVEL=-1\n", "a", false, 0},
        {"level not hex", "AREAS=a\nLEVEL=0xZZ\n", "a", false, 0},
        {"level bare 0x", "AREAS=a\nLEVEL=0x\n", "a", false, 0},
    };
    KaTest::Sandbox sandbox;
    for (const SettingsCase& row : table) {
        sandbox.WriteSettings("[other]\nAREAS=*\n[tek.trace]\n" + row.section);
        TraceWrapper_t wrapper(row.area, 2);
        wrapper.InitObject();
        ASSERT_EQ(row.attached, wrapper.HasObject()) << row.label;
        if (row.attached) {
            EXPECT_EQ(row.mask, static_cast<TraceObj_t&>(wrapper).GetLevelMask()) << row.label;
        }
    }
}

TEST(Trace, UnreadableSettingsLeaveTheAreaUntraced) {
    KaTest::Sandbox sandbox;
    for (const char* settings : {"", "[other]\nAREAS=*\n", "[tek.trace]\nnot a setting\n"}) {
        sandbox.WriteSettings(settings);
        TraceWrapper_t wrapper("ctrl.utils", 2);
        EXPECT_NO_THROW(wrapper.InitObject());
        EXPECT_FALSE(wrapper.HasObject()) << settings;
    }
}

TEST(Trace, FileDefaultsToTheLogDirectory) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[tek.trace]\nAREAS=a\n");
    TraceWrapper_t wrapper("a", 2);
    wrapper.InitObject();
    ASSERT_TRUE(wrapper.HasObject());
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\log\\trace.log"),
              static_cast<TraceObj_t&>(wrapper).GetFile());
}

TEST(Trace, WrapperWithoutObjectTriesAgainThenKeepsItsObject) {
    KaTest::Sandbox sandbox;
    TraceWrapper_t wrapper("ctrl.utils", 2);
    wrapper.InitObject();
    EXPECT_FALSE(wrapper.HasObject());

    sandbox.WriteSettings("[tek.trace]\nAREAS=ctrl.utils\nLEVEL=1\n");
    wrapper.InitObject();
    ASSERT_TRUE(wrapper.HasObject());
    TraceObj_t* attached = &static_cast<TraceObj_t&>(wrapper);

    sandbox.WriteSettings("[tek.trace]\nAREAS=ctrl.utils\nLEVEL=2\n");
    wrapper.InitObject();
    EXPECT_EQ(attached, &static_cast<TraceObj_t&>(wrapper)) << "attached at most once";
    EXPECT_EQ(1u, attached->GetLevelMask());
}

TEST(Trace, RacingThreadsAttachOneObject) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[tek.trace]\nAREAS=*\n");
    for (int round = 0; round < 5; ++round) {
        TraceWrapper_t wrapper("race", 2);
        std::vector<TraceObj_t*> seen(8, nullptr);
        std::vector<std::thread> threads;
        for (size_t index = 0; index < seen.size(); ++index) {
            threads.emplace_back([&wrapper, &seen, index] {
                wrapper.InitObject();
                seen[index] = &static_cast<TraceObj_t&>(wrapper);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (TraceObj_t* object : seen) {
            EXPECT_EQ(seen[0], object);
        }
        EXPECT_NE(nullptr, seen[0]);
    }
}

TEST(Trace, DoTraceAppendsOneLinePerCall) {
    KaTest::Sandbox sandbox;
    const std::wstring file = sandbox.Root() + L"\\trace.log";
    sandbox.WriteFile(L"trace.log", "earlier line\r\n");
    const TraceObj_t trace("ctrl.utils", 1, String_t(file));
    trace.DoTrace(1, String_t(L"Append returns \u00E9"), "../Utils", 42);
    trace.DoTrace(4, String_t("second\r\nrecord"), "src/x.cpp", 7);

    const std::vector<std::string> lines = LinesOf(ReadBytes(file));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("earlier line\r", lines[0]);
    const std::string thread = std::to_string(GetCurrentThreadId());
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + thread +
                                                      " ctrl\\.utils 1 Append returns "
                                                      "\xC3\xA9 \\(\\.\\./Utils:42\\)\r")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(
        lines[2],
        std::regex(stamp + thread + " ctrl\\.utils 4 second  record \\(src/x\\.cpp:7\\)\r")))
        << lines[2];
}

TEST(Trace, DoTraceSwallowsFilesItCannotWrite) {
    KaTest::Sandbox sandbox;
    const std::vector<std::wstring> targets = {
        sandbox.MakeDir(L"a-directory"),
        sandbox.Root() + L"\\missing\\dir\\trace.log",
        L"",
    };
    for (const std::wstring& target : targets) {
        const TraceObj_t trace("area", 1, String_t(target));
        EXPECT_NO_THROW(trace.DoTrace(1, String_t("text"), "file", 1));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(targets[1].c_str()));
}

} // namespace
