#include "core/virtual_keys.h"

#include <algorithm>
#include <ranges>
#include <vector>

#include "core/key_names.h"
#include "core/text.h"

namespace velnor {
namespace {

// The keys of the key name table, and {SCROLLLOCK}; the other keys join them in virtualKeys().
constexpr VirtualKey kNamedKeys[] = {
    {3, u"BREAK"},
    {8, u"BACKSPACE BS BKSP"},
    {9, u"TAB"},
    {12, u"CLEAR"},
    {13, u"ENTER"},
    {16, u""},
    {17, u""},
    {18, u""},
    {19, u""},
    {20, u"CAPSLOCK"},
    {27, u"ESC ESCAPE"},
    {32, u""},
    {33, u"PGUP"},
    {34, u"PGDN"},
    {35, u"END"},
    {36, u"HOME"},
    {37, u"LEFT"},
    {38, u"UP"},
    {39, u"RIGHT"},
    {40, u"DOWN"},
    {41, u""},
    {42, u""},
    {43, u""},
    {44, u"PRTSC"},
    {45, u"INSERT INS"},
    {46, u"DELETE DEL"},
    {47, u"HELP"},
    {48, u""},
    {49, u""},
    {50, u""},
    {51, u""},
    {52, u""},
    {53, u""},
    {54, u""},
    {55, u""},
    {56, u""},
    {57, u""},
    {65, u""},
    {66, u""},
    {67, u""},
    {68, u""},
    {69, u""},
    {70, u""},
    {71, u""},
    {72, u""},
    {73, u""},
    {74, u""},
    {75, u""},
    {76, u""},
    {77, u""},
    {78, u""},
    {79, u""},
    {80, u""},
    {81, u""},
    {82, u""},
    {83, u""},
    {84, u""},
    {85, u""},
    {86, u""},
    {87, u""},
    {88, u""},
    {89, u""},
    {90, u""},
    {96, u""},
    {97, u""},
    {98, u""},
    {99, u""},
    {100, u""},
    {101, u""},
    {102, u""},
    {103, u""},
    {104, u""},
    {105, u""},
    {106, u"MULTIPLY"},
    {107, u"ADD"},
    {108, u""},
    {109, u"SUBTRACT"},
    {110, u""},
    {111, u"DIVIDE"},
    {112, u"F1"},
    {113, u"F2"},
    {114, u"F3"},
    {115, u"F4"},
    {116, u"F5"},
    {117, u"F6"},
    {118, u"F7"},
    {119, u"F8"},
    {120, u"F9"},
    {121, u"F10"},
    {122, u"F11"},
    {123, u"F12"},
    {124, u"F13"},
    {125, u"F14"},
    {126, u"F15"},
    {127, u"F16"},
    {144, u"NUMLOCK"},
    {145, u"SCROLLLOCK"},
};

constexpr OtherKey kOtherKeys[] = {
    {128, u"F17", u"F17"},
    {129, u"F18", u"F18"},
    {130, u"F19", u"F19"},
    {131, u"F20", u"F20"},
    {132, u"F21", u"F21"},
    {133, u"F22", u"F22"},
    {134, u"F23", u"F23"},
    {135, u"F24", u"F24"},
    {166, u"BROWSER_BACK", u"Browser back"},
    {167, u"BROWSER_FORWARD", u"Browser forward"},
    {173, u"VOLUME_MUTE", u"Mute"},
    {174, u"VOLUME_DOWN", u"Volume down"},
    {175, u"VOLUME_UP", u"Volume up"},
    {176, u"MEDIA_NEXT", u"Next track"},
    {177, u"MEDIA_PREV", u"Previous track"},
    {178, u"MEDIA_STOP", u"Stop"},
    {179, u"MEDIA_PLAY_PAUSE", u"Play/Pause"},
};

char16_t upperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
}

std::vector<VirtualKey> allKeys() {
    std::vector<VirtualKey> keys(std::begin(kNamedKeys), std::end(kNamedKeys));
    for (const OtherKey& key : kOtherKeys) keys.push_back({key.code, key.braceName});
    std::ranges::sort(keys, {}, &VirtualKey::code);
    return keys;
}

}  // namespace

std::span<const VirtualKey> virtualKeys() {
    static const std::vector<VirtualKey> keys = allKeys();
    return keys;
}

std::span<const OtherKey> otherKeys() {
    return kOtherKeys;
}

const OtherKey* otherKeyByName(std::u16string_view name) {
    return otherKeyOf(virtualKeyOfBraceName(name));
}

const OtherKey* otherKeyOf(int code) {
    const auto* key = std::ranges::find(kOtherKeys, code, &OtherKey::code);
    return key == std::end(kOtherKeys) ? nullptr : key;
}

int virtualKeyOfBraceName(std::u16string_view name) {
    std::u16string upper(name);
    std::ranges::transform(upper, upper.begin(), upperAscii);
    for (const auto& key : virtualKeys()) {
        for (const auto word : std::views::split(key.braceNames, u' ')) {
            if (std::u16string_view(word.begin(), word.end()) == upper) return key.code;
        }
    }
    return 0;
}

// Built by appending: GCC 12 at -O3 sees a false overlap in `u"{" + std::u16string(...)`.
std::u16string keyLogName(int code) {
    std::u16string number = u"virtual-key code ";
    number += toU16(code);
    std::u16string name;
    const auto named = std::ranges::find(keyNameTable(), code, &KeyNameEntry::code);
    if (named != keyNameTable().end()) name = keyNameOf(named->text);
    const auto key = std::ranges::find(virtualKeys(), code, &VirtualKey::code);
    if (name.empty() && key != virtualKeys().end() && !key->braceNames.empty()) {
        name = u"{";
        name += key->braceNames.substr(0, key->braceNames.find(u' '));
        name += u"}";
    }
    if (name.empty()) return number;
    return name + u" (" + number + u")";
}

}  // namespace velnor
