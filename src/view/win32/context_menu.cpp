// The frames' context menus as the form describes them: built anew each time one opens, so that
// they show the settings as they are, and the entry chosen handed back to the form.

#include "view/win32/context_menu.h"

#include <memory>
#include <string>

#include "core/main_form.h"
#include "view/win32/question_dialog.h"
#include "view/win32/win32_form_view.h"

namespace velnor {
namespace {

// A native menu takes a single '&' for the mark of the next character's access key; the system's
// device names may hold one.
std::wstring shownAsIs(std::u16string_view text) {
    std::wstring shown;
    for (const char16_t c : text) {
        if (c == u'&') shown += L'&';
        shown += wchar_t(c);
    }
    return shown;
}

}  // namespace

ContextMenu::ContextMenu(Menu model) : model_(std::move(model)), handle_(build(model_)) {}

ContextMenu::~ContextMenu() {
    DestroyMenu(handle_);  // and its submenus with it
}

const MenuEntry* ContextMenu::entry(UINT id) const {
    return id >= 1 && id <= commands_.size() ? commands_[id - 1] : nullptr;
}

HMENU ContextMenu::build(const std::vector<MenuEntry>& entries) {
    HMENU menu = CreatePopupMenu();
    for (const MenuEntry& entry : entries) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE;
        item.fType = MFT_SEPARATOR;
        std::wstring text = shownAsIs(entry.text);
        if (entry.kind != MenuEntry::Kind::Separator) {
            item.fMask |= MIIM_STRING | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
            // Win32 shows a check mark only while the setting is on; a radio mark is a bullet.
            item.fType = entry.mark == MenuEntry::Mark::Radio ? MFT_RADIOCHECK : MFT_STRING;
            item.fState = (entry.enabled ? MFS_ENABLED : MFS_GRAYED) |
                          (entry.mark != MenuEntry::Mark::None && entry.checked ? MFS_CHECKED
                                                                                : MFS_UNCHECKED);
            item.dwTypeData = text.data();
        }
        if (entry.kind == MenuEntry::Kind::Submenu) {
            item.hSubMenu = build(entry.entries);
        } else if (entry.kind == MenuEntry::Kind::Action && entry.enabled) {
            commands_.push_back(&entry);
            item.wID = UINT(commands_.size());
        }
        InsertMenuItemW(menu, UINT(GetMenuItemCount(menu)), TRUE, &item);
    }
    return menu;
}

std::unique_ptr<ContextMenu> Win32FormView::contextMenu(const Frame& frame) {
    Menu model = form_.menuOf(frame);
    if (model.empty()) return nullptr;
    return std::make_unique<ContextMenu>(std::move(model));
}

void Win32FormView::choose(const ContextMenu& menu, UINT id) {
    const MenuEntry* entry = menu.entry(id);
    if (!entry) return;
    if (!entry->question) {
        entry->chosen({});
    } else if (const auto answer = askQuestion(window_, *entry->question, dpi_, font_)) {
        entry->chosen(*answer);
    }
}

// From the keyboard (Shift+F10, the menu key) `at` is (-1, -1): the menu is then that of the
// focused control's frame, and opens below the control.
void Win32FormView::showContextMenu(POINT at) {
    const Frame* frame = nullptr;
    if (at.x == -1 && at.y == -1) {
        if (const Control* focused = controlAt(GetFocus()); focused && focused->container()) {
            frame = focused->container();
            const RECT place = rectOf(*focused);
            at = {place.left, place.bottom};
            ClientToScreen(window_, &at);
        }
    } else {
        POINT client = at;
        ScreenToClient(window_, &client);
        for (const Frame* candidate : form_.menuFrames()) {
            const RECT place = rectOf(*candidate);
            if (PtInRect(&place, client)) frame = candidate;
        }
    }
    const auto menu = frame ? contextMenu(*frame) : nullptr;
    if (!menu) return;
    choose(*menu, UINT(TrackPopupMenu(menu->handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                      0, window_, nullptr)));
}

}  // namespace velnor
