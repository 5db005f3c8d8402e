// Name replacement against the loop it stands in for: find the first occurrence, replace
// it, search again from the start. Built from the library's source, as the function is
// internal.
#include <gtest/gtest.h>

#include "config/NameReplacement.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The plain loop; nullopt once the text grows beyond longest. It ends for every value
// that does not hold the name: a shorter value shrinks the text, a longer one grows it up
// to longest, and one of the same length makes each step change the text at the same
// offset from the occurrence in the same direction, so no text can come back.
std::optional<std::wstring> SearchFromStart(std::wstring text, const std::wstring& name,
                                            const std::wstring& value, size_t longest) {
    for (size_t at = text.find(name); at != std::wstring::npos; at = text.find(name)) {
        text.replace(at, name.size(), value);
        if (text.size() > longest) {
            return std::nullopt;
        }
    }
    return text;
}

std::wstring Replace(std::wstring text, const std::wstring& name, const std::wstring& value,
                     size_t longest = KaCtrl::kLongestText) {
    const std::wstring before = text;
    std::wstring spare = L"left over";
    const bool found = KaCtrl::ReplaceEveryOccurrence(text, name, value, spare, longest);
    EXPECT_EQ(found, !name.empty() && before.find(name) != std::wstring::npos);
    return text;
}

std::optional<std::wstring> Replaced(const std::wstring& text, const std::wstring& name,
                                     const std::wstring& value, size_t longest) {
    try {
        return Replace(text, name, value, longest);
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

// Every text over the alphabet up to length longest, shortest first.
std::vector<std::wstring> AllTexts(const std::wstring& alphabet, size_t longest) {
    std::vector<std::wstring> texts{L""};
    for (size_t from = 0; from < texts.size(); ++from) {
        if (texts[from].size() == longest) {
            continue;
        }
        for (wchar_t unit : alphabet) {
            texts.push_back(texts[from] + unit);
        }
    }
    return texts;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

} // namespace

TEST(ReplaceEveryOccurrence, EqualsSearchFromStartOnEverySmallText) {
    const size_t longest = 40;
    const std::vector<std::wstring> names = {L"$a", L"$ab", L"$ba", L"$aa",
                                             L"a",  L"aa",  L"ab",  L"aba"};
    const std::vector<std::wstring> values = AllTexts(L"$ab", 3);
    const std::vector<std::wstring> texts = AllTexts(L"$ab", 8);
    size_t compared = 0;
    size_t mismatches = 0;
    for (const std::wstring& name : names) {
        for (const std::wstring& value : values) {
            if (value.find(name) != std::wstring::npos) {
                continue; // the loop would never end; tested below
            }
            for (const std::wstring& text : texts) {
                ++compared;
                auto expected = SearchFromStart(text, name, value, longest);
                if (Replaced(text, name, value, longest) != expected && ++mismatches <= 5) {
                    ADD_FAILURE() << "name " << Narrow(name) << " value " << Narrow(value)
                                  << " text " << Narrow(text);
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << "of " << compared;
    EXPECT_GT(compared, 2000000u);
}

TEST(ReplaceEveryOccurrence, NamesRebuiltByValuesAndSurroundings) {
    struct Case {
        std::wstring text, name, value, expected;
    } cases[] = {
        {L"", L"$KA_SUDO", L"x", L""},
        {L"$KA_SUDO", L"$KA_SUDO", L"", L""},
        {L"a$KA_SUDOb$KA_SUDOc", L"$KA_SUDO", L"sudo", L"asudobsudoc"},
        {L"$KA_SUDOUDOUDO", L"$KA_SUDO", L"x$KA_S", L"xxx$KA_S"},             // value + text after
        {L"$KA_S$KA_SUDO", L"$KA_SUDO", L"UDO", L"UDO"},                      // text before + value
        {L"$KA_SUDO$KA_SUDO", L"$KA_SUDO", L"UDO$KA_S", L"UDOUDO$KA_S$KA_S"}, // two values
        {L"$KaBinDi$KaBinDir", L"$KaBinDir", L"r:\\x\\bin", L"r:\\x\\bin:\\x\\bin"},
        {L"$$$KA_SUDO", L"$KA_SUDO", L"KA_SUDO", L"KA_SUDO"}, // a chain leftwards
        {L"$KA_SUDOKA_SUDO", L"$KA_SUDO", L"$", L"$"},        // a chain rightwards
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Replace(c.text, c.name, c.value), c.expected)
            << Narrow(c.text) << " " << Narrow(c.value);
        EXPECT_EQ(SearchFromStart(c.text, c.name, c.value, 1000), c.expected)
            << Narrow(c.text) << " " << Narrow(c.value);
    }
}

TEST(ReplaceEveryOccurrence, ValueHoldingTheNameReplacesEachFormerOccurrenceOnce) {
    struct Case {
        std::wstring text, value, expected;
    } cases[] = {
        {L"$KA_SUDO", L"$KA_SUDO", L"$KA_SUDO"},
        {L"a $KA_SUDO b $KA_SUDO", L"sudo $KA_SUDO", L"a sudo $KA_SUDO b sudo $KA_SUDO"},
        {L"$KA_SUDO$KA_SUDO", L"[$KA_SUDO]", L"[$KA_SUDO][$KA_SUDO]"},
        {L"$KA_S$KA_SUDOUDO", L"$KA_SUDO", L"$KA_S$KA_SUDOUDO"}, // inserted text not searched
        {L"no name here", L"$KA_SUDO", L"no name here"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Replace(c.text, L"$KA_SUDO", c.value), c.expected)
            << Narrow(c.text) << " " << Narrow(c.value);
    }
}

TEST(ReplaceEveryOccurrence, RunawayGrowthFailsAtTheLimit) {
    // Each value's last "$" and the next value's start form the name again, without end.
    std::wstring text = L"$$KA_SUDO";
    std::wstring spare;
    EXPECT_THROW(
        KaCtrl::ReplaceEveryOccurrence(text, L"$KA_SUDO", L"KA_SUDOKA_SUDO$$", spare, 100000),
        std::length_error);
    EXPECT_EQ(text, L"$$KA_SUDO");
    // Growth that ends at the limit is no failure; one unit less is.
    EXPECT_EQ(Replace(L"$KA_SUDO$KA_SUDO", L"$KA_SUDO", L"0123456789", 20),
              L"01234567890123456789");
    EXPECT_EQ(Replaced(L"$KA_SUDO$KA_SUDO", L"$KA_SUDO", L"0123456789", 19), std::nullopt);
}

TEST(ReplaceInTurn, EqualsOneNameAfterTheOtherOnEverySmallText) {
    const size_t longest = 30;
    // Names with the same and with different first units, so that the index of where they
    // stand is both reused and made anew.
    const std::vector<std::wstring> names = {L"$a", L"$b", L"ab", L"b$", L"a"};
    const std::vector<std::wstring> values = AllTexts(L"$ab", 2);
    const std::vector<std::wstring> texts = AllTexts(L"$ab", 5);
    size_t mismatches = 0;
    for (const std::wstring& name1 : names) {
        for (const std::wstring& name2 : names) {
            for (const std::wstring& value1 : values) {
                for (const std::wstring& value2 : values) {
                    if (value1.find(name1) != std::wstring::npos ||
                        value2.find(name2) != std::wstring::npos) {
                        continue;
                    }
                    const std::vector<KaCtrl::NameAndValue> list = {{name1, value1},
                                                                    {name2, value2}};
                    for (const std::wstring& text : texts) {
                        std::optional<std::wstring> expected =
                            SearchFromStart(text, name1, value1, longest);
                        if (expected) {
                            expected = SearchFromStart(*expected, name2, value2, longest);
                        }
                        std::optional<std::wstring> actual = text;
                        try {
                            KaCtrl::ReplaceInTurn(*actual, list, longest);
                        } catch (const std::length_error&) {
                            actual = std::nullopt;
                        }
                        if (actual != expected && ++mismatches <= 5) {
                            ADD_FAILURE()
                                << Narrow(name1) << "=" << Narrow(value1) << " " << Narrow(name2)
                                << "=" << Narrow(value2) << " text " << Narrow(text);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(ReplaceInTurn, AnswersWhetherAnyNameWasFound) {
    const std::vector<KaCtrl::NameAndValue> list = {
        {L"$A", L"a"}, {L"", L"empty"}, {L"$B", L"$C"}, {L"$C", L"c"}};
    struct Case {
        std::wstring text, expected;
        bool found;
    } cases[] = {
        {L"", L"", false},
        {L"plain", L"plain", false},
        {L"$A$B", L"ac", true},    // "$C" comes from "$B" and is replaced in its turn
        {L"$C$B$A", L"cca", true}, // "$C" stands before "$B" is replaced, and after
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        EXPECT_EQ(KaCtrl::ReplaceInTurn(text, list), c.found) << Narrow(c.text);
        EXPECT_EQ(text, c.expected) << Narrow(c.text);
    }
}

TEST(ReplaceEveryOccurrence, EmptyNameReplacesNothing) {
    EXPECT_EQ(Replace(L"abc", L"", L"x"), L"abc");
}
