#include "platform/uinput/xkb_layout.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string_view>

#include "core/text.h"

namespace velnor {
namespace {

// xkbcommon's key codes are the kernel's plus 8, as X's are; X clients, XWayland's too, know none
// above 255, so keys beyond it (a Euro key, say) could not reach them.
constexpr xkb_keycode_t kEvdevOffset = 8;
constexpr xkb_keycode_t kLastXKeycode = 255;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// Whether `code` is one of the keys xkeyboard-config adds only to carry a modifier, which no
// keyboard has.
bool virtualKey(xkb_keymap* keymap, xkb_keycode_t code) {
    constexpr std::string_view kVirtual[] = {"LVL3", "MDSW", "ALT", "META", "SUPR", "HYPR"};
    const char* name = xkb_keymap_key_get_name(keymap, code);
    return name && std::ranges::find(kVirtual, std::string_view(name)) != std::end(kVirtual);
}

// The keys that set each modifier of `keymap`, by the modifier's mask bit: found by pressing, in a
// state of their own, the keys that carry the usual modifier symbols at their first level.
std::map<xkb_mod_mask_t, xkb_keycode_t> modifierKeys(xkb_keymap* keymap,
                                                     xkb_layout_index_t layout) {
    constexpr xkb_keysym_t kModifierSymbols[] = {
        XKB_KEY_Shift_L, XKB_KEY_Control_L,        XKB_KEY_ISO_Level3_Shift,
        XKB_KEY_Alt_L,   XKB_KEY_ISO_Level5_Shift, XKB_KEY_Super_L,
        XKB_KEY_Shift_R, XKB_KEY_Control_R,        XKB_KEY_Mode_switch,
    };
    std::map<xkb_mod_mask_t, xkb_keycode_t> keys;
    const std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
    for (const xkb_keysym_t symbol : kModifierSymbols) {
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
             code <= xkb_keymap_max_keycode(keymap); ++code) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, layout, 0, &symbols);
            if (count != 1 || symbols[0] != symbol || virtualKey(keymap, code)) continue;
            xkb_state_update_key(state.get(), code, XKB_KEY_DOWN);
            const xkb_mod_mask_t set =
                xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
            xkb_state_update_key(state.get(), code, XKB_KEY_UP);
            if (std::has_single_bit(set)) keys.try_emplace(set, code);
            break;
        }
    }
    return keys;
}

std::shared_ptr<xkb_keymap> shared(xkb_keymap* keymap) {
    return {keymap, xkb_keymap_unref};
}

// A context whose complaints are told in our own words, not on standard error.
std::unique_ptr<xkb_context, ContextDeleter> quietContext() {
    std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (context) xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    return context;
}

}  // namespace

Result<XkbLayout> XkbLayout::named(const std::string& layout, const std::string& variant) {
    const auto context = quietContext();
    const xkb_rule_names names = {nullptr, nullptr, layout.c_str(), variant.c_str(), nullptr};
    Keymap keymap = shared(
        context ? xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                : nullptr);
    if (!keymap) {
        const std::string named = variant.empty() ? layout : layout + "(" + variant + ")";
        return std::unexpected(
            Problem{ProblemKind::Missing,
                    fromUtf8("no keyboard layout \"" + named +
                             "\" in the system's xkeyboard-config data (package xkb-data)")});
    }
    return XkbLayout(std::move(keymap), 0);
}

Result<XkbLayout> XkbLayout::fromText(const std::string& text) {
    const auto context = quietContext();
    Keymap keymap = shared(context ? xkb_keymap_new_from_string(context.get(), text.c_str(),
                                                                XKB_KEYMAP_FORMAT_TEXT_V1,
                                                                XKB_KEYMAP_COMPILE_NO_FLAGS)
                                   : nullptr);
    if (!keymap || xkb_keymap_num_layouts(keymap.get()) == 0)
        return std::unexpected(
            Problem{ProblemKind::Other, u"the Wayland compositor's keymap does not compile"});
    return XkbLayout(std::move(keymap), 0);
}

Result<XkbLayout> XkbLayout::ofXServer(const char* displayName) {
    const auto refused = [displayName](const std::string& why) {
        const char* name = displayName ? displayName : std::getenv("DISPLAY");
        return std::unexpected(
            Problem{ProblemKind::Missing, fromUtf8("the keymap of the X display \"" +
                                                   std::string(name ? name : "") + "\" " + why)});
    };
    const std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection(
        xcb_connect(displayName, nullptr));
    if (xcb_connection_has_error(connection.get())) return refused("cannot be read: no connection");
    if (!xkb_x11_setup_xkb_extension(
            connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return refused("cannot be read: the server lacks XKB");
    const auto context = quietContext();
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection.get());
    Keymap keymap = shared(context && device >= 0
                               ? xkb_x11_keymap_new_from_device(context.get(), connection.get(),
                                                                device, XKB_KEYMAP_COMPILE_NO_FLAGS)
                               : nullptr);
    const std::unique_ptr<xkb_state, StateDeleter> state(
        keymap ? xkb_x11_state_new_from_device(keymap.get(), connection.get(), device) : nullptr);
    if (!state) return refused("cannot be read");
    const xkb_layout_index_t active =
        xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    return XkbLayout(std::move(keymap), active);
}

std::vector<std::string> XkbLayout::layoutNames() const {
    std::vector<std::string> names;
    for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts(keymap_.get()); ++layout) {
        const char* name = xkb_keymap_layout_get_name(keymap_.get(), layout);
        names.push_back(name ? name : "");
    }
    return names;
}

std::optional<XkbLayout> XkbLayout::atLayout(const std::string& name) const {
    const auto names = layoutNames();
    const auto found = std::ranges::find(names, name);
    if (found == names.end()) return std::nullopt;
    return XkbLayout(keymap_, xkb_layout_index_t(found - names.begin()));
}

XkbLayout::XkbLayout(Keymap compiled, xkb_layout_index_t layout)
    : keymap_(std::move(compiled)), layout_(layout) {
    xkb_keymap* const keymap = keymap_.get();
    if (const char* name = xkb_keymap_layout_get_name(keymap, layout)) name_ = name;
    const auto modifiers = modifierKeys(keymap, layout);
    // The modifier keys of `mask`, or nothing when a modifier of it has no key (Lock, say).
    const auto keysOf = [&modifiers](xkb_mod_mask_t mask) -> std::optional<std::vector<uint16_t>> {
        std::vector<uint16_t> keys;
        for (; mask; mask &= mask - 1) {
            const auto key = modifiers.find(mask & -mask);
            if (key == modifiers.end()) return std::nullopt;
            keys.push_back(uint16_t(key->second - kEvdevOffset));
        }
        return keys;
    };
    const xkb_keycode_t first = std::max(xkb_keymap_min_keycode(keymap), kEvdevOffset + 1);
    const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap), kLastXKeycode);
    xkb_level_index_t levels = 0;
    for (xkb_keycode_t code = first; code <= last; ++code)
        levels = std::max(levels, xkb_keymap_num_levels_for_key(keymap, code, layout));
    // Level by level, so that a character found on several keys takes the lowest level.
    for (xkb_level_index_t level = 0; level < levels; ++level) {
        for (xkb_keycode_t code = first; code <= last; ++code) {
            const xkb_keysym_t* symbols = nullptr;
            const int count =
                xkb_keymap_key_get_syms_by_level(keymap, code, layout, level, &symbols);
            if (count != 1 || keys_.contains(symbols[0])) continue;
            xkb_mod_mask_t masks[8];
            const size_t found = xkb_keymap_key_get_mods_for_level(keymap, code, layout, level,
                                                                   masks, std::size(masks));
            // Of the masks that select the level, the one with the fewest modifier keys.
            std::optional<std::vector<uint16_t>> fewest;
            for (size_t i = 0; i < found; ++i) {
                auto held = keysOf(masks[i]);
                if (held && (!fewest || held->size() < fewest->size())) fewest = std::move(held);
            }
            if (fewest)
                keys_.emplace(symbols[0],
                              LayoutKey{uint16_t(code - kEvdevOffset), std::move(*fewest)});
        }
    }
}

std::optional<LayoutKey> XkbLayout::keyFor(char32_t character) const {
    // A line feed is typed as the Return key, as a text's line ends are.
    const xkb_keysym_t symbol =
        character == U'\n' ? XKB_KEY_Return : xkb_utf32_to_keysym(uint32_t(character));
    const auto key = keys_.find(symbol);
    if (symbol == XKB_KEY_NoSymbol || key == keys_.end()) return std::nullopt;
    return key->second;
}

std::vector<xkb_keysym_t> XkbLayout::keysymsOf(uint16_t code) const {
    std::vector<xkb_keysym_t> keysyms;
    const xkb_keycode_t key = code + kEvdevOffset;
    if (key > kLastXKeycode) return keysyms;
    for (xkb_level_index_t level = 0;
         level < xkb_keymap_num_levels_for_key(keymap_.get(), key, layout_); ++level) {
        const xkb_keysym_t* symbols = nullptr;
        const int count =
            xkb_keymap_key_get_syms_by_level(keymap_.get(), key, layout_, level, &symbols);
        keysyms.insert(keysyms.end(), symbols, symbols + std::max(count, 0));
    }
    return keysyms;
}

}  // namespace velnor
