#pragma once

#include <string>
#include <vector>

#include "core/menu.h"

namespace velnor::test {

// One line of a menu as a user sees it, for readable comparisons: indented by its depth, a
// separator "---", a submenu's title followed by " >", a setting's mark "(*)", "( )", "[x]" or
// "[ ]" before its text, " (disabled)" after an entry that cannot be chosen. Views that read their
// native menus back write them the same way.
inline std::u16string menuLine(int depth, MenuEntry::Kind kind, std::u16string_view text,
                               MenuEntry::Mark mark, bool checked, bool enabled) {
    std::u16string line(static_cast<size_t>(depth) * 2, u' ');
    if (kind == MenuEntry::Kind::Separator) return line + u"---";
    if (mark == MenuEntry::Mark::Radio) line += checked ? u"(*) " : u"( ) ";
    if (mark == MenuEntry::Mark::Check) line += checked ? u"[x] " : u"[ ] ";
    line += text;
    if (kind == MenuEntry::Kind::Submenu) line += u" >";
    if (!enabled) line += u" (disabled)";
    return line;
}

inline void appendMenuText(const std::vector<MenuEntry>& entries, int depth,
                           std::vector<std::u16string>& lines) {
    for (const MenuEntry& entry : entries) {
        lines.push_back(
            menuLine(depth, entry.kind, entry.text, entry.mark, entry.checked, entry.enabled));
        if (entry.kind == MenuEntry::Kind::Submenu) appendMenuText(entry.entries, depth + 1, lines);
    }
}

inline std::vector<std::u16string> menuText(const Menu& menu) {
    std::vector<std::u16string> lines;
    appendMenuText(menu, 0, lines);
    return lines;
}

// The entry at `path` of titles ("COM1: /dev/ttyS0", "Other device..."); null when there is none.
inline MenuEntry* findEntry(Menu& menu, std::vector<std::u16string_view> path) {
    std::vector<MenuEntry>* entries = &menu;
    MenuEntry* found = nullptr;
    for (const std::u16string_view title : path) {
        found = nullptr;
        for (MenuEntry& entry : *entries)
            if (entry.text == title) found = &entry;
        if (!found) return nullptr;
        entries = &found->entries;
    }
    return found;
}

}  // namespace velnor::test
