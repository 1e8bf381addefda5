#include "platform/key_map.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <QString>
#include <map>
#include <ranges>
#include <set>

#include "key_names/key_names.h"

namespace velnor {
namespace {

TEST(KeyMap, CoversEveryKeyOfTheKeyNameTableAndNothingElseButScrollLock) {
    std::set<int> expected = {145};  // {SCROLLLOCK} has no key name
    for (const auto& entry : keyNameTable()) {
        if (entry.code != 1 && entry.code != 2 && entry.code != 4) expected.insert(entry.code);
    }
    std::set<int> mapped;
    for (const auto& entry : keyMap()) {
        EXPECT_TRUE(mapped.insert(entry.virtualKey).second) << "twice: " << entry.virtualKey;
        EXPECT_EQ(findKey(entry.virtualKey), &entry);
    }
    EXPECT_EQ(mapped, expected);
    EXPECT_EQ(findKey(1), nullptr);
    EXPECT_EQ(findKey(0), nullptr);
}

// Reverse lookups as a keysym or a Linux key code reaching us would need them: each must lead back
// to the one key it came from. X has a single Print keysym for both print keys, and Linux has no
// Execute key.
TEST(KeyMap, LeadsBackFromKeysymAndLinuxKeyCode) {
    std::map<uint32_t, int> byKeysym;
    std::map<uint16_t, int> byEvdev;
    for (const auto& entry : keyMap()) {
        byKeysym.try_emplace(entry.keysym, entry.virtualKey);
        if (entry.evdevCode) byEvdev.try_emplace(entry.evdevCode, entry.virtualKey);
    }
    for (const auto& entry : keyMap()) {
        const int fromKeysym = entry.virtualKey == 44 ? 42 : entry.virtualKey;
        EXPECT_EQ(byKeysym.at(entry.keysym), fromKeysym) << entry.virtualKey;
        if (entry.virtualKey == 43) {
            EXPECT_EQ(entry.evdevCode, 0);
            continue;
        }
        ASSERT_NE(entry.evdevCode, 0) << entry.virtualKey;
        EXPECT_EQ(byEvdev.at(entry.evdevCode), entry.virtualKey);
    }
}

TEST(KeyMap, SpotChecks) {
    const struct {
        int virtualKey;
        uint32_t keysym;
        uint16_t evdevCode;
    } rows[] = {
        {16, XK_Shift_L, 42}, {18, XK_Alt_L, 56}, {65, XK_a, 30},       {77, XK_m, 50},
        {48, XK_0, 11},       {49, XK_1, 2},      {96, XK_KP_0, 82},    {103, XK_KP_7, 71},
        {112, XK_F1, 59},     {122, XK_F11, 87},  {124, XK_F13, 183},   {44, XK_Print, 99},
        {13, XK_Return, 28},  {37, XK_Left, 105}, {107, XK_KP_Add, 78},
    };
    for (const auto& row : rows) {
        const KeyMapEntry* entry = findKey(row.virtualKey);
        ASSERT_NE(entry, nullptr) << row.virtualKey;
        EXPECT_EQ(entry->keysym, row.keysym) << row.virtualKey;
        EXPECT_EQ(entry->evdevCode, row.evdevCode) << row.virtualKey;
    }
}

TEST(KeyMap, KnowsEveryBraceNameInAnyCase) {
    const struct {
        const char* name;
        int virtualKey;
    } rows[] = {
        {"BACKSPACE", 8}, {"BS", 8},      {"BKSP", 8},       {"BREAK", 3},        {"CAPSLOCK", 20},
        {"CLEAR", 12},    {"DELETE", 46}, {"DEL", 46},       {"DOWN", 40},        {"END", 35},
        {"ENTER", 13},    {"ESC", 27},    {"ESCAPE", 27},    {"HELP", 47},        {"HOME", 36},
        {"INSERT", 45},   {"INS", 45},    {"LEFT", 37},      {"NUMLOCK", 144},    {"PGDN", 34},
        {"PGUP", 33},     {"PRTSC", 44},  {"RIGHT", 39},     {"SCROLLLOCK", 145}, {"TAB", 9},
        {"UP", 38},       {"ADD", 107},   {"SUBTRACT", 109}, {"MULTIPLY", 106},   {"DIVIDE", 111},
    };
    std::set<QString> names;
    for (const auto& row : rows) {
        names.insert(row.name);
        EXPECT_EQ(virtualKeyOfBraceName(QString(row.name)), row.virtualKey) << row.name;
        EXPECT_EQ(virtualKeyOfBraceName(QString(row.name).toLower()), row.virtualKey) << row.name;
    }
    for (int f = 1; f <= 16; ++f) {
        names.insert("F" + QString::number(f));
        EXPECT_EQ(virtualKeyOfBraceName(QString("f%1").arg(f)), 111 + f);
    }
    std::set<QString> listed;
    for (const auto& entry : keyMap()) {
        for (const auto word : std::views::split(entry.braceNames, ' '))
            listed.insert(QString::fromLatin1(word.data(), qsizetype(word.size())));
    }
    listed.erase("");
    EXPECT_EQ(listed, names);
    for (const char* unknown : {"", "F0", "F17", "SHIFT", "LEFTT", "A", "ENTER "})
        EXPECT_EQ(virtualKeyOfBraceName(QString(unknown)), 0) << unknown;
}

}  // namespace
}  // namespace velnor
