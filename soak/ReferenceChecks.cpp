// The calls whose answers depend on their arguments and the settings only: each answer in the
// soak must equal the one the same call gave in the quiet before it, for the same settings
// (configuration calls) or at all (text calls).
#include "Soak.h"

#include "AgentNames.h"
#include "Generator.h"
#include "KaCtrlUtils.h"

#include <winsock2.h>

#include <algorithm>
#include <cstring>

namespace Soak {

namespace {

using KaTekStr::String_t;

struct Case {
    std::string function;
    std::function<std::string()> run;
};

// Wide texts compared unit for unit, whatever units they hold.
std::string Units(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Units(const String_t& text) {
    return (text.IsNull() ? "null:" : "text:") + Units(text.Std());
}

std::vector<std::string> AnswerAll(const std::vector<Case>& cases) {
    std::vector<std::string> answers;
    for (const Case& c : cases) {
        answers.push_back(Answer(c.run));
    }
    return answers;
}

// The reference answers for the world a call saw, or none to compare with.
using PickReference = std::function<const std::vector<std::string>*(const WorldState&)>;

// Runs one case and compares it with the reference answer, when there is one to compare with.
void RunCase(const World& world, Ledger& ledger, const Case& c, size_t index,
             const PickReference& pick) {
    Call call(world, ledger, c.function);
    std::string answer = Answer(c.run);
    const std::vector<std::string>* reference = call.Finish() ? pick(call.State()) : nullptr;
    if (reference != nullptr && answer != (*reference)[index]) {
        const std::string& quiet = (*reference)[index];
        const size_t at =
            std::mismatch(answer.begin(), answer.end(), quiet.begin(), quiet.end()).first -
            answer.begin();
        call.Fail("answer differs from the quiet one",
                  "case " + std::to_string(index) + ": " + std::to_string(answer.size()) +
                      " bytes against " + std::to_string(quiet.size()) + ", first difference at " +
                      std::to_string(at) +
                      (answer.compare(0, 7, "throws ") == 0 ? ": " + answer : ""));
    }
}

KaTekCmd::Command_t FreshCommand() {
    return KaTekCmd::Command_t(String_t(L"soak-child.exe"), {});
}

// Texts naming directory variables among hostile units.
std::wstring VariableText(KaTest::Generator& generator) {
    std::wstring text;
    for (size_t parts = generator.Below(6); parts-- > 0;) {
        text += generator.Text(4);
        const auto& variable =
            KaAgent::kDirVariables[generator.Below(std::size(KaAgent::kDirVariables))];
        text += generator.Below(4) == 0
                    ? L"$KA_SUDO"
                    : std::wstring(variable.name, variable.name + std::strlen(variable.name));
    }
    return text;
}

std::vector<Case> ConfigCases(uint32_t seed) {
    std::vector<Case> cases = {
        {"GetKaSudo", [] { return Units(KaCtrl::GetKaSudo()); }},
        {"GetKaCoreID", [] { return Units(KaCtrl::GetKaCoreID()); }},
        {"GetConfDir", [] { return Units(KaCtrl::GetConfDir()); }},
        {"GetTmpDir", [] { return Units(KaCtrl::GetTmpDir()); }},
        {"SetEnvPath",
         [] {
             KaTekCmd::Command_t command = FreshCommand();
             KaCtrl::SetEnvPath(command);
             return Units(command.GetEnvironmentBlock());
         }},
    };
    for (bool append : {true, false}) {
        cases.push_back({"AppendEnvVariable", [append] {
                             KaTekCmd::Command_t command = FreshCommand();
                             String_t answer = KaCtrl::AppendEnvVariable(append, command);
                             return Units(answer) + Units(command.GetEnvironmentBlock());
                         }});
    }
    KaTest::Generator generator{std::mt19937(seed)};
    for (int i = 0; i < 24; ++i) {
        String_t text(VariableText(generator));
        cases.push_back(
            {"ReplaceDirVariables", [text] { return Units(KaCtrl::ReplaceDirVariables(text)); }});
    }
    return cases;
}

std::string Document(const std::function<void(const KaTekXml::XmlWriter_t&)>& write) {
    KaTekXml::XmlWriter_t writer;
    writer.OpenTag("kac", "Soak");
    write(writer);
    writer.EndDocument();
    return writer.GetDocument();
}

std::vector<Case> TextCases(const Places& places, uint32_t seed) {
    KaTest::Generator generator{std::mt19937(seed)};
    std::vector<Case> cases;
    const std::wstring listing = places.listingDir;
    for (int i = 0; i < 16; ++i) {
        String_t text(generator.Text(40)), other(generator.Text(12));
        const bool flag = generator.Below(2) == 0;
        const unsigned long code =
            generator.Below(3) == 0 ? 0xC0000000ul + generator.Below(64) : generator.Below(16000);
        const int number = static_cast<int>(generator.rng());
        const std::wstring bools[] = {L"true", L"FALSE", L"tRuE", L" true", generator.Text(5)};
        String_t word(bools[generator.Below(std::size(bools))]);
        const std::string suffix = i % 2 == 0 ? ".log" : "";
        cases.insert(
            cases.end(),
            {
                {"AvoidDuplicate", [text] { return Units(KaCtrl::AvoidDuplicate(text)); }},
                {"FileNameToURI",
                 [text, flag] { return Units(KaCtrl::FileNameToURI(text, flag)); }},
                {"ReverseSlashes", [text] { return Units(KaCtrl::ReverseSlashes(text)); }},
                {"FormatName", [text] { return Units(KaCtrl::FormatName(text)); }},
                {"FormatDescription", [text] { return Units(KaCtrl::FormatDescription(text)); }},
                {"FormatCategory", [text] { return Units(KaCtrl::FormatCategory(text)); }},
                {"FormatPID", [text] { return Units(KaCtrl::FormatPID(text)); }},
                {"GetLastErrorText", [code] { return Units(KaCtrl::GetLastErrorText(code)); }},
                {"GetBooleanFromString",
                 [word] { return KaCtrl::GetBooleanFromString(word) ? "true" : "false"; }},
                {"GetUXSignalFromName",
                 [text] { return std::to_string(KaCtrl::GetUXSignalFromName(text)); }},
                {"WriteXMLStringTag",
                 [text, other] {
                     return Document([&](auto& w) { KaCtrl::WriteXMLStringTag(w, "Name", text); });
                 }},
                {"WriteXMLBoolTag",
                 [flag] {
                     return Document([&](auto& w) { KaCtrl::WriteXMLBoolTag(w, "On", flag); });
                 }},
                {"WriteXMLIntegerTag",
                 [number] {
                     return Document(
                         [&](auto& w) { KaCtrl::WriteXMLIntegerTag(w, "Count", number); });
                 }},
                {"WriteXMLCatalog",
                 [text, other] {
                     return Document(
                         [&](auto& w) { KaCtrl::WriteXMLCatalog(w, "Msg", other, text); });
                 }},
                {"GetFilesInDir",
                 [listing, suffix] {
                     std::string all;
                     for (const String_t& file :
                          KaCtrl::GetFilesInDir(String_t(listing), suffix.c_str())) {
                         all += Units(file);
                     }
                     return all;
                 }},
            });
    }
    return cases;
}

// gettimeofday has no quiet answer to compare with: it must fall between the clock's readings
// before and after it, in whole milliseconds.
void CheckTimeOfDay(const World& world, Ledger& ledger) {
    auto nowMs = [] {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        return (ticks - 116444736000000000ull) / 10000;
    };
    Call call(world, ledger, "gettimeofday");
    const uint64_t before = nowMs();
    timeval tv{};
    int answer = KaCtrl::gettimeofday(&tv, nullptr);
    const uint64_t after = nowMs();
    call.Finish();
    const uint64_t seconds = static_cast<uint32_t>(before / 1000);
    const uint64_t got = (before / 1000 - seconds + static_cast<uint32_t>(tv.tv_sec)) * 1000 +
                         static_cast<uint64_t>(tv.tv_usec) / 1000;
    if (answer != 0 || tv.tv_usec % 1000 != 0 || got < before || got > after) {
        call.Fail("time outside the call", std::to_string(tv.tv_sec) + "." +
                                               std::to_string(tv.tv_usec) + " answer " +
                                               std::to_string(answer));
    }
}

} // namespace

Family ConfigFamily(const World& world, Ledger& ledger, const Places& places, uint32_t seed) {
    struct Config {
        std::vector<Case> cases;
        std::vector<std::string> reference[kSettingsVariants];
    };
    auto config = std::make_shared<Config>();
    config->cases = ConfigCases(seed);
    for (int variant = 0; variant < kSettingsVariants; ++variant) {
        if (PutSettings(places, static_cast<Settings>(variant))) {
            config->reference[variant] = AnswerAll(config->cases);
        }
    }
    return {"config", [&world, &ledger, config](std::mt19937& rng) {
                size_t index =
                    std::uniform_int_distribution<size_t>(0, config->cases.size() - 1)(rng);
                RunCase(world, ledger, config->cases[index], index,
                        [&](const WorldState& state) -> const std::vector<std::string>* {
                            if (state.settings == Settings::Unknown) {
                                return nullptr;
                            }
                            const auto& answers =
                                config->reference[static_cast<int>(state.settings)];
                            return answers.empty() ? nullptr : &answers;
                        });
            }};
}

Family TextFamily(const World& world, Ledger& ledger, const Places& places, uint32_t seed) {
    struct Text {
        std::vector<Case> cases;
        std::vector<std::string> reference;
    };
    auto text = std::make_shared<Text>();
    text->cases = TextCases(places, seed);
    text->reference = AnswerAll(text->cases);
    return {"text", [&world, &ledger, text](std::mt19937& rng) {
                if (std::uniform_int_distribution<int>(0, 15)(rng) == 0) {
                    return CheckTimeOfDay(world, ledger);
                }
                size_t index =
                    std::uniform_int_distribution<size_t>(0, text->cases.size() - 1)(rng);
                RunCase(world, ledger, text->cases[index], index,
                        [&](const WorldState&) { return &text->reference; });
            }};
}

} // namespace Soak
