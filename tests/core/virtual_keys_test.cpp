#include "core/virtual_keys.h"

#include <gtest/gtest.h>

#include <ranges>
#include <set>
#include <vector>

#include "core/key_names.h"
#include "core/text.h"

namespace velnor {
namespace {

TEST(VirtualKeys, AreTheKeysOfTheKeyNameTableScrollLockAndTheOtherKeysEachOnceInOrder) {
    std::set<int> expected = {145};  // {SCROLLLOCK} has no key name
    for (const auto& entry : keyNameTable()) {
        if (entry.code != 1 && entry.code != 2 && entry.code != 4) expected.insert(entry.code);
    }
    for (const auto& key : otherKeys()) expected.insert(key.code);
    std::vector<int> codes;
    for (const auto& key : virtualKeys()) codes.push_back(key.code);
    EXPECT_EQ(codes, std::vector<int>(expected.begin(), expected.end()));
}

std::u16string lowerAscii(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return text;
}

TEST(VirtualKeys, KnowEveryBraceNameInAnyCase) {
    struct Row {
        std::u16string name;
        int code;
    };
    std::vector<Row> rows = {
        {u"BACKSPACE", 8},  {u"BS", 8},       {u"BKSP", 8},      {u"BREAK", 3},
        {u"CAPSLOCK", 20},  {u"CLEAR", 12},   {u"DELETE", 46},   {u"DEL", 46},
        {u"DOWN", 40},      {u"END", 35},     {u"ENTER", 13},    {u"ESC", 27},
        {u"ESCAPE", 27},    {u"HELP", 47},    {u"HOME", 36},     {u"INSERT", 45},
        {u"INS", 45},       {u"LEFT", 37},    {u"NUMLOCK", 144}, {u"PGDN", 34},
        {u"PGUP", 33},      {u"PRTSC", 44},   {u"RIGHT", 39},    {u"SCROLLLOCK", 145},
        {u"TAB", 9},        {u"UP", 38},      {u"ADD", 107},     {u"SUBTRACT", 109},
        {u"MULTIPLY", 106}, {u"DIVIDE", 111},
    };
    rows.insert(rows.end(), {{u"BROWSER_BACK", 166},
                             {u"BROWSER_FORWARD", 167},
                             {u"VOLUME_MUTE", 173},
                             {u"VOLUME_DOWN", 174},
                             {u"VOLUME_UP", 175},
                             {u"MEDIA_NEXT", 176},
                             {u"MEDIA_PREV", 177},
                             {u"MEDIA_STOP", 178},
                             {u"MEDIA_PLAY_PAUSE", 179}});
    for (int f = 1; f <= 24; ++f) rows.push_back({u"F" + toU16(f), 111 + f});
    std::set<std::u16string> names;
    for (const auto& row : rows) {
        names.insert(row.name);
        EXPECT_EQ(virtualKeyOfBraceName(row.name), row.code) << row.code;
        EXPECT_EQ(virtualKeyOfBraceName(lowerAscii(row.name)), row.code) << row.code;
    }
    EXPECT_EQ(virtualKeyOfBraceName(u"PgUp"), 33);
    EXPECT_EQ(virtualKeyOfBraceName(u"bKsP"), 8);
    std::set<std::u16string> listed;
    for (const auto& key : virtualKeys()) {
        for (const auto word : std::views::split(key.braceNames, u' '))
            if (!word.empty()) listed.emplace(word.begin(), word.end());
    }
    EXPECT_EQ(listed, names);
    for (const char16_t* unknown : {u"", u"F0", u"F25", u"SHIFT", u"LEFTT", u"A", u"ENTER ", u"EN",
                                    u"MEDIA_PLAY", u"VOLUME UP", u"Mute"})
        EXPECT_EQ(virtualKeyOfBraceName(unknown), 0) << ::testing::PrintToString(unknown);
}

// Only the keys beyond the key name table are other keys, whatever the case of their name.
TEST(VirtualKeys, OtherKeysAreFoundByBraceNameAndCode) {
    ASSERT_NE(otherKeyByName(u"media_Play_pause"), nullptr);
    EXPECT_EQ(otherKeyByName(u"media_Play_pause"), otherKeyOf(179));
    EXPECT_EQ(otherKeyOf(179)->caption, u"Play/Pause");
    for (const char16_t* name : {u"F16", u"SCROLLLOCK", u"", u"Play/Pause"})
        EXPECT_EQ(otherKeyByName(name), nullptr) << ::testing::PrintToString(name);
    EXPECT_EQ(otherKeyOf(127), nullptr);
}

TEST(VirtualKeys, AreNamedInTheLogByKeyNameElseBraceName) {
    const struct {
        int code;
        const char16_t* name;
    } rows[] = {
        {18, u"vbKeyMenu (virtual-key code 18)"},
        {124, u"vbKeyF13 (virtual-key code 124)"},
        {128, u"{F17} (virtual-key code 128)"},
        {179, u"{MEDIA_PLAY_PAUSE} (virtual-key code 179)"},
        {8, u"vbKeyBack (virtual-key code 8)"},
        {145, u"{SCROLLLOCK} (virtual-key code 145)"},
        {200, u"virtual-key code 200"},
    };
    for (const auto& row : rows) EXPECT_EQ(keyLogName(row.code), row.name) << row.code;
}

}  // namespace
}  // namespace velnor
