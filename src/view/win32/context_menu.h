#pragma once

// A frame's context menu as a native popup menu, built from the form's description of it.

#include <windows.h>

#include <vector>

#include "core/menu.h"

namespace velnor {

class ContextMenu {
  public:
    explicit ContextMenu(Menu model);
    ~ContextMenu();
    ContextMenu(const ContextMenu&) = delete;
    ContextMenu& operator=(const ContextMenu&) = delete;

    HMENU handle() const { return handle_; }
    // The entry that the menu's command `id` (as TrackPopupMenu returns it) stands for; null for
    // 0 (nothing chosen), an unknown id, and the id of an entry that cannot be chosen.
    const MenuEntry* entry(UINT id) const;

  private:
    HMENU build(const std::vector<MenuEntry>& entries);

    Menu model_;
    std::vector<const MenuEntry*> commands_;  // the entry of command id i + 1
    HMENU handle_;
};

}  // namespace velnor
