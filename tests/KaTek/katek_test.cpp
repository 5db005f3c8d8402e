// KaTek's own pieces against the real system: the settings file (its syntax, encodings and the
// parse kept while it does not change), tracing, child commands with their arguments and
// environment (this program in child mode "env"), the code pages' conversion flags and the
// XML writer, whose document of hostile texts goes to the file KA_XML_OUT names for
// katek_xml_parse to read back with Python's own parser (xml_check.py).
#include "Checks.h"
#include "ChildMode.h"
#include "CodePages.h"
#include "EnvironmentBlock.h"
#include "Generator.h"
#include "KaTek.h"
#include "Sandbox.h"
#include "SettingsCache.h"
#include "SettingsParser.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>

using namespace KaTekStr;
using namespace KaTekMsg;
using namespace KaTekConfig;
using namespace KaTekTrc;
using KaTekCmd::Command_t;
using KaTest::Contains;
using KaTest::Hex;
using KaTest::ReadBytes;
using KaTest::Thrown;
using KaTest::Utf8;
using namespace std::string_literals;

namespace {

// KaTek against the real system, in a sandbox installation named through the environment.

// All attributes of a set in index order, as "K=V|L=W".
std::string AttributesOf(const Configuration_t& config) {
    std::string pairs;
    String_t name, value;
    for (int i = 0; config.GetAttr(i, name, value); ++i) {
        pairs += (i ? "|" : "") + NarrowUtf8(name.Std()) + "=" + NarrowUtf8(value.Std());
    }
    EXPECT_FALSE(config.GetAttr(-1, name, value));
    return pairs + (config.GetAttr(config.GetAttrCount(), name, value) ? "|past the end" : "");
}

// The syntax is judged by ParseSettings' tables below; values, their order and errors naming the
// file and the line by SettingsReadBackExactlyOrNameTheLine. The file lies in the
// configuration directory unless KA_CONFIG_FILE names another; it is read afresh on every
// Open, and changes to an opened set stay in the set.
TEST(KaTekConfig, ParsesLocatesAndRereadsTheSettingsFile) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("\xFF\xFE[\0a\0]\0\r\0K"s); // UTF-16 ending in half a unit
    EXPECT_PRED2(Contains, Thrown([] { ConfigNamespace_t("a").Open(); }),
                 Utf8(sandbox.SettingsFile()) + "', line 2");
    KaTest::SetEnv(L"KA_CONFIG_FILE", sandbox.Root() + L"\\nowhere\\KaAgent.ini");
    EXPECT_EQ(0, ConfigNamespace_t("a").Open().GetAttrCount());
    // At the platform's length limit (MAX_PATH units, its NUL included) a path may hide a file
    // that is there: never no settings. One unit shorter, a missing file holds none.
    for (const size_t length : {size_t{MAX_PATH} - 1, size_t{MAX_PATH}, size_t{MAX_PATH} + 1}) {
        const std::wstring folder = sandbox.Root() + L"\\nowhere\\";
        const std::wstring path = folder + std::wstring(length - folder.size(), L'n');
        KaTest::SetEnv(L"KA_CONFIG_FILE", path);
        const std::string thrown = Thrown([] { ConfigNamespace_t("a").Open(); });
        EXPECT_EQ(Contains(thrown, Utf8(path)), length >= MAX_PATH) << length << ": " << thrown;
    }
    const std::wstring dir = sandbox.MakeDir(L"a-directory.ini"); // cannot be read as a file
    KaTest::SetEnv(L"KA_CONFIG_FILE", dir);
    EXPECT_PRED2(Contains, Thrown([] { ConfigNamespace_t("a").Open(); }), Utf8(dir));
    KaTest::SetEnv(L"KA_CONFIG_FILE", L"");
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\config\\KaAgent.ini"), SettingsFilePath());
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=1\n");
    Configuration_t config = ConfigNamespace_t("a").Open();
    sandbox.WriteFile(L"data\\config\\KaAgent.ini", "[a]\nK=2\n");
    EXPECT_EQ(std::string("1"), config.GetAttrValue("K").GetData());
    config.SetAttrValue("APP_NAME", "kac");
    config.SetAttrValue("K", "3");
    EXPECT_EQ("K=3|APP_NAME=kac", AttributesOf(config));
    EXPECT_EQ("K=2", AttributesOf(ConfigNamespace_t("a").Open())) << "read afresh, not changed";
}

// The settings file's last parse, kept while the file shows no change.

// What a lookup of "[a] K" finds: its value, "-" when there is none, or the error's text.
std::string LookUpK() {
    try {
        const KaTekArray::CharArray_t value = ConfigNamespace_t("a").Open().GetAttrValue("K");
        return value.GetData() == nullptr ? "-" : value.GetData();
    } catch (const RuntimeError_t& error) {
        return error.what();
    }
}

// Between lookups the file is edited in place (to the same length or another), replaced by a
// rename (by a file of the same size and times: only the folder shows it), removed, broken or
// left alone; half the time the file and its folder are then dated long ago, each time to
// another time, so that the last parse may be trusted. Each lookup, twice after each change,
// answers what the file holds then, a broken file's error each time.
TEST(KaTekConfigCache, EveryChangeIsSeenByTheNextLookup) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    const std::wstring renamed = sandbox.Root() + L"\\KaAgent.new";
    std::mt19937 random(20261207);
    std::string expected = "-";
    uint64_t old = KaTest::SystemTimeAgo(3600);
    for (int round = 0; round < 400; ++round) {
        const std::string value = std::to_string(1000 + random() % (round % 3 == 0 ? 10 : 90000));
        const std::string text = "[b]\nK=x\n[a]\nK=" + value + "\n";
        WIN32_FILE_ATTRIBUTE_DATA before{};
        const bool present = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before);
        switch (random() % 6) {
        case 0:
            sandbox.WriteSettings(text);
            expected = value;
            break;
        case 1:
            sandbox.WriteFile(L"KaAgent.new", text);
            if (present) {
                KaTest::SetFileTimes(renamed,
                                     (uint64_t{before.ftCreationTime.dwHighDateTime} << 32) |
                                         before.ftCreationTime.dwLowDateTime,
                                     (uint64_t{before.ftLastWriteTime.dwHighDateTime} << 32) |
                                         before.ftLastWriteTime.dwLowDateTime);
            }
            ASSERT_TRUE(::MoveFileExW(renamed.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
            expected = value;
            break;
        case 2:
            ::DeleteFileW(path.c_str());
            expected = "-";
            break;
        case 3:
            sandbox.WriteSettings(text + "broken\n");
            expected = "*Malformed settings file '" + Utf8(path) + "', line 5: *";
            break;
        default:
            break;
        }
        if (random() % 2 == 0) {
            old -= 100000000; // 10 s earlier than any time given before
            if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
                KaTest::SetFileTimes(path, old, old);
            }
            KaTest::SetFileTimes(sandbox.Root(), 0, old);
        }
        for (int lookup = 0; lookup < 2; ++lookup) {
            ASSERT_PRED2(KaTest::Glob, expected, LookUpK()) << "round " << round;
        }
    }
}

// An unchanged file whose times are long past is not read again: held where no one else may
// read it, it still answers; written again, it answers anew. A file seen within the clock's
// tick of its write is read again each time, so that a rewrite of the same size and time is
// not missed. Another settings path is another file.
TEST(KaTekConfigCache, AnUnchangedFileIsNotReadAgain) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    sandbox.WriteSettings("[a]\nK=1\n");
    KaTest::SetFileTimes(path, KaTest::SystemTimeAgo(3600), KaTest::SystemTimeAgo(3600));
    KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(3600));
    EXPECT_EQ(LookUpK(), "1");
    {
        KaHold::unique_handle locked(
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked);
        EXPECT_FALSE(KaHold::unique_handle(::CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr)))
            << "a file held that way cannot be read";
        EXPECT_EQ(LookUpK(), "1");
    }
    const uint64_t now = KaTest::SystemTimeAgo(0);
    sandbox.WriteSettings("[a]\nK=2\n");
    KaTest::SetFileTimes(path, now, now);
    EXPECT_EQ(LookUpK(), "2");
    sandbox.WriteSettings("[a]\nK=3\n");
    KaTest::SetFileTimes(path, now, now); // the same size and times as the parse kept
    EXPECT_EQ(LookUpK(), "3");
    const std::wstring other = sandbox.WriteFile(L"other.ini", "[a]\nK=4\n");
    KaTest::SetFileTimes(other, KaTest::SystemTimeAgo(3600), KaTest::SystemTimeAgo(3600));
    KaTest::SetEnv(L"KA_CONFIG_FILE", other);
    EXPECT_EQ(LookUpK(), "4");
    KaTest::SetEnv(L"KA_CONFIG_FILE", path);
    EXPECT_EQ(LookUpK(), "3");
}

// A parse is trusted only once every time of the file and its folder lies more than the clock's
// tick (2 s) before the read; a time after the read, as a clock set back leaves, never.
TEST(KaTekConfigCache, TrustedOnlyPastTheClockTick) {
    const uint64_t readAt = 100 * kTimeResolution, tick = kTimeResolution;
    for (int which = 0; which < 3; ++which) {
        for (const auto& [time, settled] :
             {std::pair(readAt - tick - 1, true), std::pair(readAt - tick, false),
              std::pair(readAt - tick + 1, false), std::pair(readAt + 1, false)}) {
            FileStamp stamp{true, true, 1, readAt - 3 * tick, readAt - 3 * tick, readAt - 3 * tick};
            (which == 0 ? stamp.created : which == 1 ? stamp.written : stamp.folderWritten) = time;
            EXPECT_EQ(IsSettled(stamp, readAt), settled) << which << " " << readAt - time;
        }
    }
    FileStamp unknown{false, true, 1, 0, 0, 0};
    EXPECT_FALSE(IsSettled(unknown, readAt));
    FileStamp absent{true, false, 0, 0, 0, readAt - 3 * tick};
    EXPECT_TRUE(IsSettled(absent, readAt)) << "a missing file has only its folder's time";
}

// A settings file of up to 64 MiB is read, one byte more is refused naming the file.
TEST(KaTekConfig, FileOfAtMost64MiB) {
    KaTest::Sandbox sandbox;
    for (const size_t size : {(size_t{64} << 20) - 1, size_t{64} << 20, (size_t{64} << 20) + 1}) {
        sandbox.WriteSettings(";" + std::string(size - 1, 'x'));
        const std::string thrown = Thrown([] { ConfigNamespace_t("a").Open(); });
        EXPECT_EQ(Contains(thrown, "larger than 64 MiB"), size > (size_t{64} << 20)) << size;
    }
}

// Readers on several threads while the file is replaced again and again, now and then by a
// broken one: each lookup answers one whole version of the file (all its values alike) or the
// broken file's error, never a mix; once the writes end, every reader sees the last version.
TEST(KaTekConfigCache, ConcurrentReadersSeeWholeVersions) {
    KaTest::Sandbox sandbox;
    const std::wstring path = sandbox.SettingsFile();
    auto version = [](int number) {
        std::string text = "[a]\n";
        for (int key = 0; key < 50; ++key) {
            text += "K" + std::to_string(key) + "=" + std::to_string(number) + "\n";
        }
        return number % 7 == 6 ? text + "broken\n" : text;
    };
    sandbox.WriteSettings(version(0));
    // Dated long ago, with their folder, so that readers mostly take the parse kept and
    // leave the file alone, which a reader holding it open would keep from being replaced.
    KaTest::SetFileTimes(path, KaTest::SystemTimeAgo(7200), KaTest::SystemTimeAgo(7200));
    KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(7200));
    std::atomic<bool> writing{true};
    std::atomic<int> mixed{0}, lookups{0};
    auto read = [&] {
        const Configuration_t settings = ConfigNamespace_t("a").Open();
        std::set<std::string> values;
        String_t name, value;
        for (int index = 0; settings.GetAttr(index, name, value); ++index) {
            values.insert(Utf8(value.Std()));
        }
        ++lookups;
        return settings.GetAttrCount() == 50 && values.size() == 1 ? *values.begin() : "";
    };
    std::vector<std::thread> readers;
    for (int thread = 0; thread < 4; ++thread) {
        readers.emplace_back([&] {
            while (writing) {
                try {
                    mixed += read().empty();
                    ::Sleep(0); // spinning readers on two cores would starve the writer
                } catch (const RuntimeError_t& error) {
                    mixed += !Contains(error.what(), "line 52");
                    // A broken file is read on every lookup, and one held open cannot be
                    // replaced: the writer gets its turn.
                    ::Sleep(1);
                }
            }
            mixed += read() != "200";
        });
    }
    // Made in a folder of its own, so that only the rename changes the settings' folder.
    const std::wstring next = sandbox.Root() + L"\\staging\\KaAgent.new";
    int replaced = 0;
    for (int number = 1; number <= 200; ++number) {
        sandbox.WriteFile(L"staging\\KaAgent.new", version(number));
        KaTest::SetFileTimes(next, KaTest::SystemTimeAgo(3600 + number),
                             KaTest::SystemTimeAgo(3600 + number));
        // A file that a reader has open cannot be replaced that moment: tried again.
        for (int tries = 0; tries < 5000; ++tries) {
            if (::MoveFileExW(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                ++replaced;
                break;
            }
            ::Sleep(0);
        }
        KaTest::SetFileTimes(sandbox.Root(), 0, KaTest::SystemTimeAgo(3600 + number));
    }
    writing = false;
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(replaced, 200);
    EXPECT_EQ(mixed, 0) << "of " << lookups;
}

// One wrapper through all steps: without an object it tries again on the next InitObject, with
// the settings as they are then; once attached it keeps its object and appends one line per
// DoTrace to the data directory's trace log, a record's line breaks flattened. Another
// namespace tracing everything must not count.
TEST(KaTekTrace, SettingsDecideWhatIsTracedOnceAndWhere) {
    const std::pair<const char*, uint32_t> steps[] = {
        // The trace settings and the mask then in force.
        {"not a setting", 0},                      // an unreadable file
        {"AREAS=ctrl", 0},                         // a prefix is no match
        {"AREAS=ctrl.utils\nLEVEL=4294967296", 0}, // not a 32-bit mask
        {"AREAS= tek.io , ctrl.utils \nLEVEL=17", 17},
        {"AREAS=*\nLEVEL=2", 17},
    };
    KaTest::Sandbox sandbox;
    TraceWrapper_t wrapper("ctrl.utils", 2);
    for (const auto& [section, mask] : steps) {
        sandbox.WriteSettings("[other]\nAREAS=*\n[tek.trace]\n"s + section + "\n");
        EXPECT_NO_THROW(wrapper.InitObject());
        ASSERT_EQ(mask != 0, wrapper.HasObject()) << section;
        EXPECT_EQ(mask, mask ? static_cast<TraceObj_t&>(wrapper).GetLevelMask() : 0) << section;
    }
    const std::wstring file = sandbox.WriteFile(L"data\\log\\trace.log", "earlier line\r\n");
    static_cast<TraceObj_t&>(wrapper).DoTrace(4, String_t(L"\u00E9\r\nrecord"), "../x.cpp", 7);
    const std::string written = ReadBytes(file); // the line's head is judged by env_test
    EXPECT_EQ(0u, written.find("earlier line\r\n")) << written;
    EXPECT_PRED2(Contains, written, " ctrl.utils 4 \xC3\xA9  record (../x.cpp:7)\r\n");
}

// Narrowing asks "no best fit" of every code page but those that refuse it, which Windows
// would answer with ERROR_INVALID_FLAGS (Wine takes any flag). The ranges of pages that take
// no flag are judged at both ends and one past each.
TEST(KaTekCodePages, NarrowingFlagsByPage) {
    for (const uint32_t page : {65001u, 54936u, 50220u, 50229u, 57002u, 57011u, 65000u, 42u}) {
        EXPECT_EQ(0u, NarrowingFlags(page)) << page;
    }
    for (const uint32_t page : {1252u, 932u, 936u, 437u, 50219u, 50230u, 57001u, 57012u}) {
        EXPECT_EQ(uint32_t{WC_NO_BEST_FIT_CHARS}, NarrowingFlags(page)) << page;
    }
}

// The attributes of a namespace ("K=V|L=W"), or where and why the parse refused the text.
std::string Parsed(const std::wstring& text, const std::wstring& wanted) {
    std::wstring pairs;
    try {
        const KaTekConfig::SettingsSections sections = KaTekConfig::ParseSettings(text);
        const auto section = sections.find(wanted);
        if (section == sections.end()) {
            return "";
        }
        for (const auto& [key, value] : section->second) {
            pairs += (pairs.empty() ? L"" : L"|") + std::wstring(key) + L"=" + std::wstring(value);
        }
    } catch (const KaTekConfig::SettingsSyntaxError& error) {
        return "line " + std::to_string(error.line) + ": " + error.what();
    }
    return KaTest::Utf8(pairs);
}

TEST(KaTekSettingsSyntax, SectionsKeysAndLineEnds) {
    const struct {
        std::wstring text;
        const char* expected;
    } rows[] = {
        {L"; top\n# also\n\n[a]\n  ; indented\nK= \"V\" \n\t\n#K=W\n", "K= \"V\" "},
        // A section again adds to it; a key again keeps its place and takes the last value.
        {L"[a]\nK=1\n[b]\nK=2\n[ a ]\nL=3\n K =4=5\n[a]\n", "K=4=5|L=3"},
        // A lone CR (old Mac files), CRLF, CR CR LF; no line end at the end.
        {L"; settings\r[a]\rK=v\r\nL=w", "K=v|L=w"},
        {L"[a]\r\r\nK=v\r\r\nL=w\r\r\n", "K=v|L=w"},
        {L"[a]\r\nK=v\rwhat follows a CR\n",
         "line 3: neither a comment, a [section] nor KEY=VALUE"},
        // Every line is checked, not only those of the namespace asked for.
        {L"K=V\n[a]\n", "line 1: KEY=VALUE before the first [section]"},
        {L"[b]\nK=V\n[x] trailing\n", "line 3: a section line must end with ']'"},
        {L"[a]\n[ ]\n", "line 2: the section has no name"},
        {L"[b]\n =V\n", "line 2: the attribute has no name"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Parsed(row.text, L"a"), row.expected) << KaTest::Utf8(row.text);
    }
}

// Keys drawn again and again from pools small and large, in the section asked for and in
// another: each keeps the place it first had and takes its last value, however far the
// parser's index has grown.
TEST(KaTekSettingsSyntax, KeysSetAgainKeepTheirFirstPlaceAndTakeTheLastValue) {
    std::mt19937 random(20261207);
    for (const unsigned pool : {3u, 40u, 5000u}) {
        std::wstring text;
        std::vector<std::wstring> keys, values; // the oracle: the attributes of section "a"
        std::map<std::wstring, size_t> places;
        bool wanted = false;
        for (unsigned line = 0; line < 4 * pool; ++line) {
            if (line == 0 || random() % 50 == 0) {
                wanted = random() % 2 == 0;
                text += wanted ? L"[a]\n" : L"[b]\n";
                continue;
            }
            const std::wstring key = L"K" + std::to_wstring(random() % pool);
            const std::wstring value = std::to_wstring(line);
            text += key + L"=" + value + L"\n";
            if (wanted && places.emplace(key, keys.size()).second) {
                keys.push_back(key);
                values.push_back(value);
            } else if (wanted) {
                values[places[key]] = value;
            }
        }
        std::wstring expected;
        for (size_t at = 0; at < keys.size(); ++at) {
            expected += (at == 0 ? L"" : L"|") + keys[at] + L"=" + values[at];
        }
        EXPECT_EQ(Parsed(text, L"a"), KaTest::Utf8(expected)) << pool;
    }
}

// Settings files in UTF-8 with and without a mark and in UTF-16LE, with CRLF, LF and lone CR
// line ends, give every value back exactly and in file order; one undecodable sequence or
// NUL in any of them names the file and its line.
TEST(KaTekSettingsText, SettingsReadBackExactlyOrNameTheLine) {
    KaTest::Sandbox sandbox;
    KaTest::Generator gen{std::mt19937(42)};
    const std::string bad[] = {"\xE9"s, "\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s,
                               "\x80"s, "\xE2\x82"s, "\0"s,           "\xFF\xFE"s};
    for (int round = 0; round < 60; ++round) {
        const int encoding = round % 3; // UTF-8, UTF-8 with its mark, UTF-16LE
        const auto encode = [encoding](const std::wstring& text) {
            return encoding < 2
                       ? NarrowUtf8(text)
                       : std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        };
        const size_t lines = 2 + gen.Below(20), broken = round % 4 ? 0 : 2 + gen.Below(lines - 1);
        std::string bytes =
            std::vector{""s, "\xEF\xBB\xBF"s, "\xFF\xFE"s}[encoding] + encode(L"[ns]\n");
        std::vector<std::wstring> values;
        for (size_t line = 2; line <= lines; ++line) {
            values.push_back(gen.Text(8, true));
            bytes += encode(L"K" + std::to_wstring(line) + L"=");
            if (line == broken) {
                bytes += encoding < 2 ? bad[gen.Below(std::size(bad))]
                                      : "\x00\xDC\0\0"s.substr(gen.Below(2) * 2, 2);
            }
            bytes += encode(values.back() + std::vector{L"\r\n", L"\n", L"\r"}[line % 3]);
        }
        sandbox.WriteSettings(bytes);
        const auto open = [] { return ConfigNamespace_t("ns").Open(); };
        if (broken) {
            EXPECT_PRED2(Contains, Thrown(open),
                         Utf8(sandbox.SettingsFile()) + "', line " + std::to_string(broken) + ":");
            continue;
        }
        const Configuration_t config = open();
        String_t name, value;
        for (size_t index = 0; index < values.size(); ++index) {
            ASSERT_TRUE(config.GetAttr(static_cast<int>(index), name, value));
            EXPECT_EQ(String_t(values[index]), value) << encoding;
        }
    }
}

// child mode "env": each argument after '[', then each environment entry whose name begins
// with "KA_GEN_" in any letter case, in the block's order, one a line as hex units; then more
// 'o's than a pipe holds, "!err" to standard error, and the exit code 0x80000001.
const size_t kBulk = 1000000;
int PrintGenerated(const std::vector<std::wstring>& args) {
    std::string out;
    for (const std::wstring& argument : args) {
        out += "[" + Hex(argument) + "\n";
    }
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    for (const wchar_t* entry = block.get(); *entry; entry += wcslen(entry) + 1) {
        out += _wcsnicmp(entry, L"KA_GEN_", 7) == 0 ? Hex(entry) + "\n" : "";
    }
    out += std::string(kBulk, 'o');
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), DWORD(out.size()), &written, nullptr);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "!err", 4, &written, nullptr);
    return static_cast<int>(0x80000001u);
}
const KaTest::ChildMode kEnvChild(L"env", PrintGenerated);

// The order Windows wants an environment block in: by name, letter case ignored.
bool InBlockOrder(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}

// A child gets its arguments unchanged and exactly the variables put (through the command or
// a copy; a name put again in other letter case keeps its first form), in block order, and
// the parent's. A NUL in a value (which would start an entry of its own) or an '=' or NUL in
// a name is refused naming the variable. Its output, more than a pipe holds (a parent that
// does not read while it waits never sees the end), and its exit code come back whole. (A
// program that is not there cannot be started: kacutil's env row "Z:\no\such\program.exe".)
TEST(KaTekCmd, ChildSeesExactlyItsArgumentsAndTheVariablesPut) {
    KaTest::SetEnv(L"KA_GEN_PARENT", L"from parent");
    KaTest::Generator gen{std::mt19937(5)};
    std::vector<String_t> arguments = {String_t("--ka-child"), String_t("env")};
    std::string expected;
    for (int index = 0; index < 8; ++index) {
        arguments.push_back(String_t(gen.Text(8, true) + (index % 3 ? L"" : L" \\\\")));
        expected += "[" + Hex(arguments.back().Std()) + "\n";
    }
    Command_t command(String_t(KaTest::ProgramPath()), arguments), copy = command;
    KaTest::SetEnv(L"KA_GEN_PARENT", L""); // the command keeps its copy
    std::map<std::wstring, std::wstring, decltype(&InBlockOrder)> put(InBlockOrder);
    put.emplace(L"KA_GEN_PARENT", L"from parent");
    for (int index = 0; index < 40; ++index) {
        std::wstring name = (index % 2 ? L"KA_GEN_" : L"Ka_Gen_") + std::to_wstring(index % 7) +
                            (index % 3 ? L"_" : L"a"),
                     value = gen.Text(10);
        value.erase(std::remove(value.begin(), value.end(), L'\0'), value.end());
        const size_t how = gen.Below(6);
        name += how == 0 ? L"=x" : how == 1 ? L"\0x"s : L"";
        value += how == 2 ? L"\0KA_GEN_INJECTED=evil"s : L"";
        Command_t& target = index % 2 ? command : copy;
        if (how < 3) {
            EXPECT_PRED2(Contains, Thrown([&] { target.PutEnv(String_t(name), String_t(value)); }),
                         Utf8(name.substr(0, name.find(L'\0'))));
            continue;
        }
        target.PutEnv(String_t(name), String_t(value));
        put.emplace(name, L"").first->second = value;
    }
    for (const auto& [name, value] : put) {
        expected += Hex(name + L"=" + value) + "\n";
    }
    command.Start();
    ASSERT_TRUE(command.Wait(120000)); // generous: the machine is shared and Wine is slow
    EXPECT_EQ(0x80000001u, command.GetExitCode());
    const std::string output = NarrowUtf8(command.GetOutput().Std());
    EXPECT_EQ(expected, output.substr(0, expected.size()));
    EXPECT_TRUE(output.substr(expected.size()) == std::string(kBulk, 'o') + "!err")
        << output.size() << " bytes";
}

// A document of hostile texts, and the writer's refusals around its root. Each case is
// followed by its units in hex, for the parser to hold the text against.
TEST(KaTekXml, XmlDocumentParsesBackToTheTextsGiven) {
    const wchar_t* path = _wgetenv(L"KA_XML_OUT");
    if (path == nullptr) {
        GTEST_SKIP() << "KA_XML_OUT names no file to write the document to";
    }
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    const KaTekXml::XmlWriter_t writer(file);
    writer.StartDocument();
    EXPECT_THROW(writer.Data(String_t("before the root")), RuntimeError_t);
    writer.OpenTag(String_t("kac"), String_t("cases"));
    KaTest::Generator gen{std::mt19937(99)};
    for (int round = 0; round < 300; ++round) {
        const std::wstring text = gen.Text(10);
        for (const auto& [name, data] :
             {std::pair("case", String_t(text)), std::pair("units", String_t(Hex(text).c_str()))}) {
            writer.OpenTag(String_t("kac"), String_t(name));
            writer.Data(data);
            writer.CloseTag();
        }
    }
    writer.OpenTag(String_t("p"), String_t("outer")); // declares p; q inside it declares q
    writer.OpenTag(String_t("q"), String_t("inner"));
    writer.EndDocument();
    EXPECT_THROW(writer.Data(String_t("after the root")), RuntimeError_t);
    EXPECT_THROW(writer.OpenTag(String_t("kac"), String_t("second")), RuntimeError_t);
}

// The child's environment block, which needs no platform call, by a table.

// A block read, then variables set: sorted by name without letter case, a name set again in
// other letter case keeps its first form, a per-drive entry keeps its leading '=', an entry
// without '=' is a name with the empty value, and a block ends in an empty entry (two NULs
// when it holds none).
TEST(KaTekCmdBlock, ReadSetFindAndBuild) {
    const KaTekCmd::NameOrder order = [](const std::wstring& left, const std::wstring& right) {
        return int{InBlockOrder(right, left)} - int{InBlockOrder(left, right)};
    }; // the platform's, as the runtime passes it in
    const std::tuple<std::wstring, std::vector<KaTekCmd::Variable>, std::wstring> rows[] = {
        {L"\0"s, {}, L"\0\0"s},
        {L"x\0\0"s, {{L"y", L""}}, L"x=\0y=\0\0"s},
        {L"b=1\0=C:=C:\\x\0a=2\0B=3\0\0"s,
         {{L"A", L"4"}, {L"_", L"="}},
         L"=C:=C:\\x\0a=4\0b=3\0_==\0\0"s},
    };
    for (const auto& [block, puts, expected] : rows) {
        std::vector<KaTekCmd::Variable> environment = KaTekCmd::ParseBlock(block.c_str(), order);
        for (const auto& [name, value] : puts) {
            KaTekCmd::SetVariable(environment, order, name, value);
        }
        EXPECT_EQ(expected, KaTekCmd::BuildBlock(environment));
        const KaTekCmd::Variable* x = KaTekCmd::FindVariable(environment, order, L"X");
        EXPECT_EQ(block[0] == L'x', x != nullptr && x->first == L"x");
    }
}

} // namespace
