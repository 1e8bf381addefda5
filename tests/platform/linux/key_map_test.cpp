#include "platform/linux/key_map.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/virtual_keys.h"

namespace velnor {
namespace {

TEST(KeyMap, CoversEveryVirtualKeyAndNothingElse) {
    std::set<int> expected;
    for (const auto& key : virtualKeys()) expected.insert(key.code);
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
        {16, XK_Shift_L, 42},
        {18, XK_Alt_L, 56},
        {65, XK_a, 30},
        {77, XK_m, 50},
        {48, XK_0, 11},
        {49, XK_1, 2},
        {96, XK_KP_0, 82},
        {103, XK_KP_7, 71},
        {112, XK_F1, 59},
        {122, XK_F11, 87},
        {124, XK_F13, 183},
        {44, XK_Print, 99},
        {13, XK_Return, 28},
        {37, XK_Left, 105},
        {107, XK_KP_Add, 78},
        {128, XK_F17, 187},
        {135, XK_F24, 194},
        {166, XF86XK_Back, 158},
        {173, XF86XK_AudioMute, 113},
        {175, XF86XK_AudioRaiseVolume, 115},
        {177, XF86XK_AudioPrev, 165},
        {178, XF86XK_AudioStop, 166},
        {179, XF86XK_AudioPlay, 164},
    };
    for (const auto& row : rows) {
        const KeyMapEntry* entry = findKey(row.virtualKey);
        ASSERT_NE(entry, nullptr) << row.virtualKey;
        EXPECT_EQ(entry->keysym, row.keysym) << row.virtualKey;
        EXPECT_EQ(entry->evdevCode, row.evdevCode) << row.virtualKey;
    }
}

}  // namespace
}  // namespace velnor
