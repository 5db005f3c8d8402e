// KaTek configuration: the settings file as real files on disk, read through
// ConfigNamespace_t::Open in a sandbox installation.
#include "KaTek/Config.h"
#include "KaTek/Msg.h"
#include "KaTekPrint.h"
#include "Sandbox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

using KaTekConfig::ConfigNamespace_t;
using KaTekConfig::Configuration_t;
using KaTekStr::String_t;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// All attributes of a set, in index order, as UTF-8 pairs.
Pairs AttributesOf(const Configuration_t& config) {
    Pairs pairs;
    for (int i = 0; i < config.GetAttrCount(); ++i) {
        String_t name;
        String_t value;
        EXPECT_TRUE(config.GetAttr(i, name, value));
        pairs.emplace_back(KaTekStr::NarrowUtf8(name.Std()), KaTekStr::NarrowUtf8(value.Std()));
    }
    return pairs;
}

Pairs Read(const KaTest::Sandbox& sandbox, const std::string& file, const char* ns) {
    sandbox.WriteSettings(file);
    return AttributesOf(ConfigNamespace_t(ns).Open());
}

TEST(KaTekConfig, ParsesTheSettingsFile) {
    KaTest::Sandbox sandbox;
    struct Case {
        const char* name;
        std::string file;
        const char* ns;
        Pairs expected;
    };
    const Case cases[] = {
        {"file order",
         "[lnk.http]\nZ=1\nA=2\nM=3\n",
         "lnk.http",
         {{"Z", "1"}, {"A", "2"}, {"M", "3"}}},
        {"absent namespace", "[lnk.http]\nA=1\n", "ctrl.env", {}},
        {"empty file", "", "lnk.http", {}},
        {"comments and blanks",
         "; top\n# also\n\n[a]\n  ; indented\nK=V\n\t\n#K=W\n",
         "a",
         {{"K", "V"}}},
        {"byte-order mark", "\xEF\xBB\xBF[a]\nK=V\n", "a", {{"K", "V"}}},
        {"CRLF", "[a]\r\nK=V\r\nL=W\r\n", "a", {{"K", "V"}, {"L", "W"}}},
        {"no final line end", "[a]\nK=V", "a", {{"K", "V"}}},
        {"repeated section accumulates",
         "[a]\nK=1\n[b]\nX=9\n[a]\nL=2\n",
         "a",
         {{"K", "1"}, {"L", "2"}}},
        {"repeated key keeps place, takes last",
         "[a]\nK=1\nL=2\nK=3\n",
         "a",
         {{"K", "3"}, {"L", "2"}}},
        {"value kept exactly",
         "[a]\nK= \"quoted\" value ;not a comment \nE=\nQ=a=b\n",
         "a",
         {{"K", " \"quoted\" value ;not a comment "}, {"E", ""}, {"Q", "a=b"}}},
        {"names trimmed", "  [ a ]  \n  K  =v\n", "a", {{"K", "v"}}},
        {"section names exact", "[A]\nK=1\n[a]\nK=2\n", "a", {{"K", "2"}}},
        {"UTF-8 value", "[a]\nK=\xC3\xA9\xE4\xB8\xAD\n", "a", {{"K", "\xC3\xA9\xE4\xB8\xAD"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, Read(sandbox, c.file, c.ns));
    }
}

// The message must lead a reader to the exact place: the file's path and the line number.
TEST(KaTekConfig, MalformedLineNamesFileAndLine) {
    KaTest::Sandbox sandbox;
    struct Case {
        std::string file;
        int line;
    };
    const Case cases[] = {
        {"[a]\nK=V\njust words\n", 3},       {"K=V\n[a]\n", 1}, // an attribute before any section
        {"[a]\r\n\r\n[broken\r\n", 3},       {"[a]\n[]\n", 2},  {"[a]\n=value\n", 2},
        {"[other]\nK=V\n[x] trailing\n", 3}, // also outside the namespace asked for
    };
    const std::string path = KaTest::Utf8(sandbox.SettingsFile());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        sandbox.WriteSettings(c.file);
        try {
            ConfigNamespace_t("a").Open();
            ADD_FAILURE() << "no exception";
        } catch (const KaTekMsg::RuntimeError_t& e) {
            const std::string what = e.what();
            EXPECT_NE(std::string::npos, what.find(path)) << what;
            EXPECT_NE(std::string::npos, what.find("line " + std::to_string(c.line))) << what;
        }
    }
}

TEST(KaTekConfig, MissingFileIsEmptyUnreadableFileThrows) {
    KaTest::Sandbox sandbox;
    const std::wstring missing = sandbox.Root() + L"\\nowhere\\KaAgent.ini";
    KaTest::SetEnv(L"KA_CONFIG_FILE", missing);
    EXPECT_EQ(0, ConfigNamespace_t("lnk.http").Open().GetAttrCount());

    // A directory where the file should be cannot be read as one.
    const std::wstring dir = sandbox.MakeDir(L"a-directory.ini");
    KaTest::SetEnv(L"KA_CONFIG_FILE", dir);
    try {
        ConfigNamespace_t("lnk.http").Open();
        ADD_FAILURE() << "no exception";
    } catch (const KaTekMsg::RuntimeError_t& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(KaTest::Utf8(dir))) << e.what();
    }
}

TEST(KaTekConfig, FileIsReadAfreshOnEveryOpen) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[a]\nK=1\n");
    const Configuration_t first = ConfigNamespace_t("a").Open();
    sandbox.WriteSettings("[a]\nK=2\n");
    EXPECT_EQ(std::string("1"), first.GetAttrValue("K").GetData());
    EXPECT_EQ(std::string("2"), ConfigNamespace_t("a").Open().GetAttrValue("K").GetData());
}

TEST(KaTekConfig, PathFollowsTheEnvironment) {
    KaTest::Sandbox sandbox;
    EXPECT_EQ(String_t(sandbox.SettingsFile()), KaTekConfig::SettingsFilePath());
    // Without the override the file lies in the configuration directory of the data dir.
    KaTest::SetEnv(L"KA_CONFIG_FILE", L"");
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\config\\KaAgent.ini"),
              KaTekConfig::SettingsFilePath());
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nFROM=default\n");
    EXPECT_EQ(std::string("default"), ConfigNamespace_t("a").Open().GetAttrValue("FROM").GetData());
}

TEST(KaTekConfig, ValuesByKeyAndChangesStayInTheSet) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[lnk.http]\nRECEIVE_TIMEOUT=2000\nLATIN=\xC3\xA9\n");
    Configuration_t config = ConfigNamespace_t("lnk.http").Open();
    EXPECT_EQ(std::string("2000"), config.GetAttrValue("RECEIVE_TIMEOUT").GetData());
    EXPECT_TRUE(config.GetAttrValue("receive_timeout").IsNull()); // keys match exactly
    EXPECT_TRUE(config.GetAttrValue("ABSENT").IsNull());
    EXPECT_TRUE(String_t(config.GetAttrValue("ABSENT")).IsNull());
    if (GetACP() == 1252) {
        EXPECT_EQ(std::string("\xE9"), config.GetAttrValue("LATIN").GetData()); // ANSI form
    }

    config.SetAttrValue("APP_NAME", "com.trelm.ka.ctrl.kac");
    config.SetAttrValue("RECEIVE_TIMEOUT", "500");
    EXPECT_EQ(Pairs({{"RECEIVE_TIMEOUT", "500"},
                     {"LATIN", "\xC3\xA9"},
                     {"APP_NAME", "com.trelm.ka.ctrl.kac"}}),
              AttributesOf(config));
    const Configuration_t copy = config;
    EXPECT_EQ(3, copy.GetAttrCount());
    // The file is untouched.
    EXPECT_EQ(2, ConfigNamespace_t("lnk.http").Open().GetAttrCount());

    String_t name("unchanged");
    String_t value("unchanged");
    EXPECT_FALSE(config.GetAttr(3, name, value));
    EXPECT_FALSE(config.GetAttr(-1, name, value));
    EXPECT_EQ(String_t("unchanged"), name);
}

} // namespace
