// Text at the platform boundary, from seeded generators: texts made of the units that a
// platform reads otherwise than the caller meant (NUL, lone surrogates, fullwidth look-alikes
// of ASCII syntax, letters outside the ANSI code page, line ends, quotes, the separators of
// paths, lists and variables) go through the exported text functions, the settings reader,
// child commands and the XML writer. The XML document goes to the file KA_XML_OUT names,
// which text_boundary_parse reads back with Python's own parser (text_boundary_check.py).
#include "ChildMode.h"
#include "KaCtrlUtils.h"
#include "KaTekTest.h"
#include "Sandbox.h"

#include <map>
#include <random>
#include <set>

using KaTekCmd::Command_t;
using KaTekStr::String_t;
using namespace std::string_literals;

namespace {

const std::wstring kUnits[] = {
    L"\0"s,    L"\xD800", L"\xDFFF", L"\xFF3C",     L"\xFF1B", L"\xFF02", L"\xFF1D", L"\xFF54",
    L"\xFF32", L"\x7528", L"\xE9",   L"\U0001F600", L"\r",     L"\n",     L"\t",     L"\"",
    L"'",      L"$",      L";",      L"\\",         L"/",      L"%",      L"=",      L"<",
    L"&",      L"]]>",    L"\x01",   L"\xFFFE",     L" ",      L"a",      L"B"};

struct Generator {
    std::mt19937 rng;
    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
    // Up to maxUnits units of kUnits; with settingsSafe, none a settings line cannot hold.
    std::wstring Text(size_t maxUnits, bool settingsSafe = false) {
        std::wstring text;
        for (size_t count = Below(maxUnits + 1); text.size() < count;) {
            const std::wstring& unit = kUnits[Below(std::size(kUnits))];
            const bool unsafe = L"\0\r\n\xD800\xDFFF"s.find(unit[0]) != std::wstring::npos;
            text += settingsSafe && unsafe ? L"x" : unit;
        }
        return text;
    }
};

String_t Str(const std::wstring& text) {
    return String_t(text.c_str(), static_cast<uint32_t>(text.size()));
}

std::string Hex(const std::wstring& units) {
    std::string hex;
    for (wchar_t unit : units) {
        char digits[8];
        hex += std::string(digits, std::snprintf(digits, sizeof digits, "%04X ", unit));
    }
    return hex;
}

// The keys AvoidDuplicate compares: the trimmed, slash-turned, lower-cased pieces of a ";"
// list up to its first NUL.
std::vector<std::wstring> Keys(std::wstring list) {
    std::replace(list.begin(), list.end(), L'\\', L'/');
    std::wistringstream pieces(list.substr(0, list.find(L'\0')));
    std::vector<std::wstring> keys;
    for (std::wstring piece; std::getline(pieces, piece, L';');) {
        keys.resize(keys.size() + !piece.empty(), Str(piece).Trim().ToLower().Std());
    }
    return keys;
}

// 1 for true, 0 for false, -1 where GetBooleanFromString refuses the text.
int Boolean(const std::wstring& text) try {
    return KaCtrl::GetBooleanFromString(Str(text)) ? 1 : 0;
} catch (const KaTekMsg::IllegalStateError_t&) {
    return -1;
}

// Lists drawn from a few entries, repeated in other letter case and blanks: the result
// holds no backslash and no entry twice, yet every entry of the list in one of its forms.
TEST(TextBoundary, AvoidDuplicateKeepsEveryEntryOnceAndNoBackslash) {
    Generator gen{std::mt19937(13)};
    for (int round = 0; round < 400; ++round) {
        std::vector<std::wstring> pool(1 + gen.Below(5));
        std::generate(pool.begin(), pool.end(), [&] { return gen.Text(6); });
        std::wstring list;
        for (size_t piece = gen.Below(12); piece > 0; --piece) {
            std::wstring entry = pool[gen.Below(pool.size())];
            std::transform(entry.begin(), entry.end(), entry.begin(),
                           gen.Below(2) ? towupper : towlower);
            list += (gen.Below(3) ? L";" : L"; ;") + entry + (gen.Below(2) ? L" " : L"");
        }
        const std::wstring cleaned = KaCtrl::AvoidDuplicate(Str(list)).Std();
        SCOPED_TRACE(KaTest::Utf8(list) + " gave " + KaTest::Utf8(cleaned));
        EXPECT_EQ(std::wstring::npos, cleaned.find(L'\\'));
        const std::vector<std::wstring> kept = Keys(cleaned);
        EXPECT_EQ(kept.size(), std::set<std::wstring>(kept.begin(), kept.end()).size());
        for (const std::wstring& key : Keys(list)) {
            EXPECT_TRUE(key.empty() || std::count(kept.begin(), kept.end(), key)) << "lost";
        }
    }
}

// Look-alikes stay what they are: no narrow copy (nor anything built on one) makes ASCII
// syntax of them, and the boolean is the two ASCII words in any letter case only.
TEST(TextBoundary, LookAlikesNeverBecomeAscii) {
    Generator gen{std::mt19937(7)};
    for (int round = 0; round < 600; ++round) {
        const std::wstring text = gen.Text(12);
        const KaTekStr::MBS_t mbs(Str(text), KaTekStr::ENC_ANSI);
        const std::string narrow(mbs.c_str(), mbs.size());
        for (int ascii = 1; ascii < 128; ++ascii) { // ASCII stays, and none is made ('?' aside)
            EXPECT_TRUE(ascii == '?' || std::count(text.begin(), text.end(), ascii) ==
                                            std::count(narrow.begin(), narrow.end(), ascii))
                << KaTest::Utf8(text);
        }
        const std::wstring uri = KaCtrl::FileNameToURI(Str(text), false).Std();
        EXPECT_EQ(std::wstring::npos, uri.substr(0, uri.find(L'\0')).find(L'\\'));
        EXPECT_EQ(std::max<size_t>(text.size(), 35),
                  KaCtrl::FormatDescription(KaCtrl::ReverseSlashes(Str(uri))).GetLength());
        EXPECT_NO_THROW(KaCtrl::ReplaceDirVariables(Str(text)));
        // A word with each letter as it is, in upper case, fullwidth, or with a unit added.
        const std::wstring word = round % 2 ? L"true" : L"false";
        std::wstring given;
        bool isWord = true;
        for (wchar_t letter : word) {
            const size_t how = gen.Below(8);
            isWord = isWord && how < 4;
            const wchar_t forms[] = {letter, static_cast<wchar_t>(towupper(letter)),
                                     static_cast<wchar_t>(letter + 0xFEE0), letter};
            given += forms[how / 2] + (how >= 6 ? kUnits[gen.Below(std::size(kUnits))] : L"");
        }
        EXPECT_EQ(isWord ? round % 2 : -1, Boolean(given)) << KaTest::Utf8(given);
    }
}

// Settings files in UTF-8 with and without a mark and in UTF-16LE give every value back
// exactly; one undecodable sequence or NUL in any of them names the file and its line.
TEST(TextBoundary, SettingsReadBackExactlyOrNameTheLine) {
    KaTest::Sandbox sandbox;
    Generator gen{std::mt19937(42)};
    const std::string bad[] = {"\xE9"s, "\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s,
                               "\x80"s, "\xE2\x82"s, "\0"s,           "\xFF\xFE"s};
    for (int round = 0; round < 60; ++round) {
        const int encoding = round % 3; // UTF-8, UTF-8 with its mark, UTF-16LE
        const auto encode = [encoding](const std::wstring& text) {
            return encoding < 2
                       ? KaTekStr::NarrowUtf8(text)
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
            bytes += encode(values.back() + (line % 2 ? L"\r\n" : L"\n"));
        }
        sandbox.WriteSettings(bytes);
        const auto open = [] { return KaTekConfig::ConfigNamespace_t("ns").Open(); };
        if (broken) {
            EXPECT_PRED2(Contains, Thrown(open),
                         KaTest::Utf8(sandbox.SettingsFile()) + "', line " +
                             std::to_string(broken) + ":");
            continue;
        }
        const KaTekConfig::Configuration_t config = open();
        String_t name, value;
        for (size_t index = 0; index < values.size(); ++index) {
            ASSERT_TRUE(config.GetAttr(static_cast<int>(index), name, value));
            EXPECT_EQ(Str(values[index]), value) << encoding;
        }
    }
}

// child mode "env": each argument after '[', then each environment entry whose name begins
// with "KA_GEN_" in any letter case, in the block's order; one a line, as hex units.
int PrintGenerated(const std::vector<std::wstring>& args) {
    std::string out;
    for (const std::wstring& argument : args) {
        out += "[" + Hex(argument) + "\n";
    }
    KaHold::unique_environment_strings block(GetEnvironmentStringsW());
    for (const wchar_t* entry = block.get(); *entry; entry += wcslen(entry) + 1) {
        out += _wcsnicmp(entry, L"KA_GEN_", 7) == 0 ? Hex(entry) + "\n" : "";
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), DWORD(out.size()), &written, nullptr);
    return 0;
}
const KaTest::ChildMode kEnvChild(L"env", PrintGenerated);

// The order Windows wants an environment block in: by name, letter case ignored.
struct BlockOrder {
    bool operator()(const std::wstring& left, const std::wstring& right) const {
        return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    }
};

// A child gets its arguments unchanged and exactly the variables put (through the command or
// a copy; a name put again in other letter case keeps its first form), in block order, and
// the parent's. A NUL in a value (which would start an entry of its own) or an '=' or NUL in
// a name is refused naming the variable. Through the settings, the calling process takes
// values unchanged, those outside the ANSI code page too.
TEST(TextBoundary, ChildSeesExactlyItsArgumentsAndTheVariablesPut) {
    KaTest::SetEnv(L"KA_GEN_PARENT", L"from parent");
    Generator gen{std::mt19937(5)};
    std::vector<String_t> arguments = {String_t("--ka-child"), String_t("env")};
    std::string expected;
    for (int index = 0; index < 8; ++index) {
        arguments.push_back(Str(gen.Text(8, true) + (index % 3 ? L"" : L" \\\\")));
        expected += "[" + Hex(arguments.back().Std()) + "\n";
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Command_t command(String_t(self), arguments), copy = command;
    KaTest::SetEnv(L"KA_GEN_PARENT", L""); // the command keeps its copy
    std::map<std::wstring, std::wstring, BlockOrder> put = {{L"KA_GEN_PARENT", L"from parent"}};
    std::vector<std::pair<std::wstring, std::wstring>> processPut;
    std::string settings = "[ctrl.env]\n";
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
            EXPECT_PRED2(Contains, Thrown([&] { target.PutEnv(Str(name), Str(value)); }),
                         KaTest::Utf8(name.substr(0, name.find(L'\0'))));
            continue;
        }
        target.PutEnv(Str(name), Str(value));
        put.emplace(name, L"").first->second = value;
        processPut.emplace_back(L"KA_PROC_" + std::to_wstring(index), gen.Text(10, true));
        settings += KaTest::Utf8(processPut.back().first + L"=" + processPut.back().second) + "\n";
    }
    for (const auto& [name, value] : put) {
        expected += Hex(name + L"=" + value) + "\n";
    }
    command.Start();
    ASSERT_TRUE(command.Wait(120000));
    EXPECT_EQ(expected, KaTekStr::NarrowUtf8(command.GetOutput().Std()));
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings(settings);
    KaCtrl::SetEnvPath(Command_t());
    for (const auto& [name, value] : processPut) {
        const wchar_t* given = _wgetenv(name.c_str());
        EXPECT_EQ(value, given ? given : L"");
        KaTest::SetEnv(name, L"");
    }
}

// A document of hostile texts, and the writer's refusals around its root. Each case is
// followed by its units in hex, for the parser to hold the text against.
TEST(TextBoundary, XmlDocumentParsesBackToTheTextsGiven) {
    const wchar_t* path = _wgetenv(L"KA_XML_OUT");
    if (path == nullptr) {
        GTEST_SKIP() << "KA_XML_OUT is not set";
    }
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    const KaTekXml::XmlWriter_t writer(file);
    writer.StartDocument();
    EXPECT_THROW(writer.Data(String_t("before the root")), KaTekMsg::RuntimeError_t);
    writer.OpenTag(String_t("kac"), String_t("cases"));
    Generator gen{std::mt19937(99)};
    for (int round = 0; round < 300; ++round) {
        const std::wstring text = gen.Text(10);
        for (const auto& [name, data] :
             {std::pair("case", Str(text)), std::pair("units", String_t(Hex(text).c_str()))}) {
            writer.OpenTag(String_t("kac"), String_t(name));
            writer.Data(data);
            writer.CloseTag();
        }
    }
    writer.OpenTag(String_t("p"), String_t("outer")); // declares p; q inside it declares q
    writer.OpenTag(String_t("q"), String_t("inner"));
    writer.EndDocument();
    EXPECT_THROW(writer.Data(String_t("after the root")), KaTekMsg::RuntimeError_t);
    EXPECT_THROW(writer.OpenTag(String_t("kac"), String_t("second")), KaTekMsg::RuntimeError_t);
}

} // namespace
