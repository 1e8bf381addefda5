#include "core/key_code_strings.h"

#include <gtest/gtest.h>

#include "core/key_names.h"
#include "core/pattern.h"
#include "core/text.h"

namespace velnor {
namespace {

// The lookup of the filled key list: the first entry of the table whose key name the name
// matches.
int lookUpInTable(std::u16string_view name) {
    const Pattern pattern(name);
    for (const auto& entry : keyNameTable())
        if (pattern.matches(keyNameOf(entry.text))) return entry.code;
    return -1;
}

std::optional<KeyCodeTable> parse(std::u16string_view text) {
    return parseKeyCodeString(text, lookUpInTable);
}

TEST(KeyCodeStrings, TranslateNamesToCodes) {
    struct Case {
        const char16_t* text;
        const char16_t* dump;
        KeyCodeTable table;
    };
    const Case cases[] = {
        {u"vbKeyMenu+vbKeyTab", u"18+9+,", {{18, 9}}},
        {u"vbKeyShift,vbKeyTab", u"16+,9+,", {{16}, {9}}},
        {u",vbKeyShift,,vbKeyTab,", u"16+,9+,", {{16}, {9}}},
        {u"vbKeyMenu+Tab", u"18+-1+,", {{18, -1}}},
        {u"vbkeymenu", u"-1+,", {{-1}}},
        {u"vbKeyMenu + vbKeyTab", u"-1+-1+,", {{-1, -1}}},
        {u"vbKeyF*", u"70+,", {{70}}},
        {u"vbKey[A", u"-1+,", {{-1}}},
        {u"vbKeyA++vbKeyB", u"65+66+,", {{65, 66}}},
        {u"vbKeyLButton+vbKeyMenu (alt)", u"1+-1+,", {{1, -1}}},
        {u"vbKeyA+vbKeyB+vbKeyC+vbKeyD+vbKeyE+vbKeyF+vbKeyG+vbKeyH+vbKeyI",
         u"65+66+67+68+69+70+71+72+73+,",
         {{65, 66, 67, 68, 69, 70, 71, 72, 73}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::u16string(c.text)));
        const auto table = parse(c.text);
        EXPECT_EQ(table, c.table);
        EXPECT_EQ(GenerateKeyCodeString(table), c.dump);
    }
}

TEST(KeyCodeStrings, TextsWithoutAUsableStepYieldNothing) {
    for (const char16_t* text : {u"", u",,,", u"vbKeyShift,+,vbKeyTab", u"+", u"vbKeyA,++"}) {
        const auto table = parse(text);
        EXPECT_EQ(table, std::nullopt) << ::testing::PrintToString(std::u16string(text));
        EXPECT_EQ(GenerateKeyCodeString(table), u"");
    }
}

TEST(KeyCodeStrings, LookEveryNameUpOnceInTheOrderWritten) {
    std::vector<std::u16string> asked;
    const auto table = parseKeyCodeString(u"b+a,,c+b", [&asked](std::u16string_view name) {
        asked.emplace_back(name);
        return int(asked.size());
    });
    EXPECT_EQ(asked, (std::vector<std::u16string>{u"b", u"a", u"c", u"b"}));
    EXPECT_EQ(table, (KeyCodeTable{{1, 2}, {3, 4}}));
}

TEST(KeyCodeStrings, LongChordsAndManyStepsKeepEveryName) {
    std::u16string chord;
    for (int i = 1; i <= 12; ++i) chord += (i > 1 ? u"+" : u"") + (u"vbKeyF" + toU16(i));
    const auto table = parse(chord);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 1u);
    EXPECT_EQ(table->front().size(), 12u);
    EXPECT_EQ(table->front().back(), 123);

    std::u16string steps;
    for (int i = 0; i < 150; ++i) steps += u"vbKeyA,";
    const auto many = parse(steps);
    ASSERT_TRUE(many);
    EXPECT_EQ(many->size(), 150u);
}

TEST(KeyCodeStrings, TheProblemNamesWhatCannotActAsWritten) {
    struct Case {
        const char16_t* text;
        const char16_t* problem;
    };
    const Case cases[] = {
        {u"vbKeyMenu+vbKeyTab", u""},
        {u"", u""},
        {u",,", u""},
        {u"vbKeyMenu+Tab,Esc", u"No key is named \"Tab\", \"Esc\""},
        {u"Tab+Tab", u"No key is named \"Tab\", \"Tab\""},
        {u"vbKeyShift, vbKeyTab", u"No key is named \" vbKeyTab\""},
        {u"vbKeyShift,+", u"A step without a key name: nothing will be played"},
        {u"Nothing,+", u"A step without a key name: nothing will be played"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keyCodeStringProblem(c.text, parse(c.text)), c.problem)
            << ::testing::PrintToString(std::u16string(c.text));
}

TEST(KeyCodeStrings, NegativeCodesAndTheAbsentTableDumpAsWritten) {
    EXPECT_EQ(GenerateKeyCodeString(KeyCodeTable{{-1, 144}, {}}), u"-1+144+,,");
    EXPECT_EQ(GenerateKeyCodeString(std::nullopt), u"");
}

}  // namespace
}  // namespace velnor
