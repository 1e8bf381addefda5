#include "platform/linux/key_map.h"

#include <X11/X.h>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>

namespace velnor {
namespace {

// The Print key of X serves both VK_PRINT and VK_SNAPSHOT; Linux keyboards tell them apart.
// Execute has no Linux key code at all.
constexpr KeyMapEntry kKeys[] = {
    {3, XK_Cancel, KEY_CANCEL},
    {8, XK_BackSpace, KEY_BACKSPACE},
    {9, XK_Tab, KEY_TAB},
    {12, XK_Clear, KEY_CLEAR},
    {13, XK_Return, KEY_ENTER},
    {16, XK_Shift_L, KEY_LEFTSHIFT},
    {17, XK_Control_L, KEY_LEFTCTRL},
    {18, XK_Alt_L, KEY_LEFTALT},
    {19, XK_Pause, KEY_PAUSE},
    {20, XK_Caps_Lock, KEY_CAPSLOCK},
    {27, XK_Escape, KEY_ESC},
    {32, XK_space, KEY_SPACE},
    {33, XK_Prior, KEY_PAGEUP},
    {34, XK_Next, KEY_PAGEDOWN},
    {35, XK_End, KEY_END},
    {36, XK_Home, KEY_HOME},
    {37, XK_Left, KEY_LEFT},
    {38, XK_Up, KEY_UP},
    {39, XK_Right, KEY_RIGHT},
    {40, XK_Down, KEY_DOWN},
    {41, XK_Select, KEY_SELECT},
    {42, XK_Print, KEY_PRINT},
    {43, XK_Execute, 0},
    {44, XK_Print, KEY_SYSRQ},
    {45, XK_Insert, KEY_INSERT},
    {46, XK_Delete, KEY_DELETE},
    {47, XK_Help, KEY_HELP},
    {48, XK_0, KEY_0},
    {49, XK_1, KEY_1},
    {50, XK_2, KEY_2},
    {51, XK_3, KEY_3},
    {52, XK_4, KEY_4},
    {53, XK_5, KEY_5},
    {54, XK_6, KEY_6},
    {55, XK_7, KEY_7},
    {56, XK_8, KEY_8},
    {57, XK_9, KEY_9},
    {65, XK_a, KEY_A},
    {66, XK_b, KEY_B},
    {67, XK_c, KEY_C},
    {68, XK_d, KEY_D},
    {69, XK_e, KEY_E},
    {70, XK_f, KEY_F},
    {71, XK_g, KEY_G},
    {72, XK_h, KEY_H},
    {73, XK_i, KEY_I},
    {74, XK_j, KEY_J},
    {75, XK_k, KEY_K},
    {76, XK_l, KEY_L},
    {77, XK_m, KEY_M},
    {78, XK_n, KEY_N},
    {79, XK_o, KEY_O},
    {80, XK_p, KEY_P},
    {81, XK_q, KEY_Q},
    {82, XK_r, KEY_R},
    {83, XK_s, KEY_S},
    {84, XK_t, KEY_T},
    {85, XK_u, KEY_U},
    {86, XK_v, KEY_V},
    {87, XK_w, KEY_W},
    {88, XK_x, KEY_X},
    {89, XK_y, KEY_Y},
    {90, XK_z, KEY_Z},
    {96, XK_KP_0, KEY_KP0},
    {97, XK_KP_1, KEY_KP1},
    {98, XK_KP_2, KEY_KP2},
    {99, XK_KP_3, KEY_KP3},
    {100, XK_KP_4, KEY_KP4},
    {101, XK_KP_5, KEY_KP5},
    {102, XK_KP_6, KEY_KP6},
    {103, XK_KP_7, KEY_KP7},
    {104, XK_KP_8, KEY_KP8},
    {105, XK_KP_9, KEY_KP9},
    {106, XK_KP_Multiply, KEY_KPASTERISK},
    {107, XK_KP_Add, KEY_KPPLUS},
    {108, XK_KP_Separator, KEY_KPCOMMA},
    {109, XK_KP_Subtract, KEY_KPMINUS},
    {110, XK_KP_Decimal, KEY_KPDOT},
    {111, XK_KP_Divide, KEY_KPSLASH},
    {112, XK_F1, KEY_F1},
    {113, XK_F2, KEY_F2},
    {114, XK_F3, KEY_F3},
    {115, XK_F4, KEY_F4},
    {116, XK_F5, KEY_F5},
    {117, XK_F6, KEY_F6},
    {118, XK_F7, KEY_F7},
    {119, XK_F8, KEY_F8},
    {120, XK_F9, KEY_F9},
    {121, XK_F10, KEY_F10},
    {122, XK_F11, KEY_F11},
    {123, XK_F12, KEY_F12},
    {124, XK_F13, KEY_F13},
    {125, XK_F14, KEY_F14},
    {126, XK_F15, KEY_F15},
    {127, XK_F16, KEY_F16},
    {128, XK_F17, KEY_F17},
    {129, XK_F18, KEY_F18},
    {130, XK_F19, KEY_F19},
    {131, XK_F20, KEY_F20},
    {132, XK_F21, KEY_F21},
    {133, XK_F22, KEY_F22},
    {134, XK_F23, KEY_F23},
    {135, XK_F24, KEY_F24},
    {144, XK_Num_Lock, KEY_NUMLOCK},
    {145, XK_Scroll_Lock, KEY_SCROLLLOCK},
    {166, XF86XK_Back, KEY_BACK},
    {167, XF86XK_Forward, KEY_FORWARD},
    {173, XF86XK_AudioMute, KEY_MUTE},
    {174, XF86XK_AudioLowerVolume, KEY_VOLUMEDOWN},
    {175, XF86XK_AudioRaiseVolume, KEY_VOLUMEUP},
    {176, XF86XK_AudioNext, KEY_NEXTSONG},
    {177, XF86XK_AudioPrev, KEY_PREVIOUSSONG},
    {178, XF86XK_AudioStop, KEY_STOPCD},
    {179, XF86XK_AudioPlay, KEY_PLAYPAUSE},
};

constexpr ButtonMapEntry kButtons[] = {
    {MouseButton::Left, Button1, BTN_LEFT},
    {MouseButton::Middle, Button2, BTN_MIDDLE},
    {MouseButton::Right, Button3, BTN_RIGHT},
};

}  // namespace

std::span<const KeyMapEntry> keyMap() {
    return kKeys;
}

const KeyMapEntry* findKey(int virtualKey) {
    const auto* entry = std::ranges::find(kKeys, virtualKey, &KeyMapEntry::virtualKey);
    return entry == std::end(kKeys) ? nullptr : entry;
}

const ButtonMapEntry& findButton(MouseButton button) {
    return *std::ranges::find(kButtons, button, &ButtonMapEntry::button);
}

uint32_t characterKeysym(char32_t character) {
    if (character == U'\n') return XK_Return;
    return xkb_utf32_to_keysym(character);
}

}  // namespace velnor
