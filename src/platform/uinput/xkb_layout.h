#pragma once

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/problem.h"

namespace velnor {

// Where a character sits on a keyboard layout: its key and the modifier keys held around it, all
// as Linux key codes.
struct LayoutKey {
    uint16_t code;
    std::vector<uint16_t> modifiers;
    bool operator==(const LayoutKey&) const = default;
};

// A keyboard layout as libxkbcommon compiles it from the system's xkeyboard-config data, and the
// key that types each character on one of its layouts (the first, or the active one): at the lowest
// level that has it, with the modifier keys of that layout that select the level. A compositor or X
// server turns key codes into characters through the user's layout, so a character is typed as the
// key that gives it there, not where a US keyboard has it.
class XkbLayout {
  public:
    // The layout `layout` (for example "de", or "ru,us") with `variant` ("" for the default).
    static Result<XkbLayout> named(const std::string& layout, const std::string& variant = {});
    // The keymap of the X display `displayName` (DISPLAY when null), at its active layout.
    static Result<XkbLayout> ofXServer(const char* displayName = nullptr);
    // The keymap a Wayland compositor hands its clients, as XKB text, at its first layout.
    static Result<XkbLayout> fromText(const std::string& text);

    // The key for `character`, or nothing when no key of the layout gives it.
    std::optional<LayoutKey> keyFor(char32_t character) const;
    // The keysyms the Linux key `code` gives on the layout, level by level (none for a key the
    // layout lacks, or one beyond what X clients can tell apart).
    std::vector<xkb_keysym_t> keysymsOf(uint16_t code) const;
    // The layout's name as the data describes it, for example "German".
    const std::string& name() const { return name_; }
    // The names of every layout of the keymap, in its order.
    std::vector<std::string> layoutNames() const;
    // The same keymap at its layout named `name`, or nothing when it has none of that name.
    std::optional<XkbLayout> atLayout(const std::string& name) const;

  private:
    using Keymap = std::shared_ptr<xkb_keymap>;
    XkbLayout(Keymap keymap, xkb_layout_index_t layout);

    Keymap keymap_;
    xkb_layout_index_t layout_;
    std::unordered_map<xkb_keysym_t, LayoutKey> keys_;
    std::string name_;
};

}  // namespace velnor
