#pragma once

// A context menu as the program describes it. A view shows it with its toolkit's menus and calls
// the entry the user chose, so every window offers the same entries in the same words.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velnor {

struct MenuEntry {
    enum class Kind { Action, Submenu, Separator };
    enum class Mark { None, Check, Radio };  // how a chosen setting is marked

    // A value the entry asks for before it acts; the view shows it in a dialog, and an answer
    // the user cancels does not act.
    struct Question {
        std::u16string title{};
        std::u16string prompt{};
        std::u16string initial{};
        // Whole numbers from `minimum` to `maximum` only, where it asks for a number.
        std::optional<std::pair<int, int>> range{};
    };

    Kind kind = Kind::Action;
    std::u16string text{};
    std::u16string toolTip{};
    bool enabled = true;
    Mark mark = Mark::None;
    bool checked = false;
    std::vector<MenuEntry> entries{};  // of a submenu
    std::optional<Question> question{};
    // What choosing the entry does; `answer` is the question's, empty for an entry without one.
    std::function<void(std::u16string_view answer)> chosen{};

    static MenuEntry separator() { return {.kind = Kind::Separator}; }
    static MenuEntry submenu(std::u16string text, std::vector<MenuEntry> entries) {
        return {.kind = Kind::Submenu, .text = std::move(text), .entries = std::move(entries)};
    }
};

using Menu = std::vector<MenuEntry>;

}  // namespace velnor
