#pragma once

// The Windows window: native controls built from the layout table, each showing its control of
// the core and handing the user's input to it through the same setters that code uses.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/controls.h"
#include "view/win32/context_menu.h"

namespace velnor {

class MainForm;

class Win32FormView final : public ControlObserver {
  public:
    // Creates the window (hidden) and its controls, at the DPI of the monitor it opens on.
    Win32FormView(MainForm& form, HINSTANCE instance);
    ~Win32FormView();
    Win32FormView(const Win32FormView&) = delete;
    Win32FormView& operator=(const Win32FormView&) = delete;

    HWND window() const { return window_; }
    // The tooltip control that shows every control's hint.
    HWND toolTips() const { return toolTips_; }
    // The native control of the control named `name` (as in the layout table), or null.
    HWND controlHandle(std::u16string_view name) const;
    // The caption's font, fitted so that every option button's caption shows whole.
    HFONT font() const { return font_; }
    // The context menu of `frame` as the form describes it now, null for a frame without one.
    std::unique_ptr<ContextMenu> contextMenu(const Frame& frame);
    // Does what the entry of `menu`'s command `id` does; one with a question asks it in a dialog
    // first and does nothing when the user cancels. An id of no entry does nothing.
    void choose(const ContextMenu& menu, UINT id);

    // Whether the notification area shows the window's icon: where the desktop has one, from
    // the window's creation until it goes.
    bool inTray() const { return inTray_; }
    // The message the icon sends the window, its lParam the mouse message.
    static constexpr UINT kTrayMessage = WM_APP + 1;

    // Called when the window has gone: the user closed it, or the session ends.
    std::function<void()> onClosed;

    void changed(Control& control, Property property) override;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void placeControls();
    void fitFont();
    void command(int id, int code);
    // Opens the menu of the frame at `at` (screen coordinates) and does what the user chooses.
    void showContextMenu(POINT at);
    void showToolTip(const Control& control);
    // The hint tool of a control: a frame's covers its area, any other's is its native control.
    TTTOOLINFOW toolOf(const Control& control) const;
    RECT rectOf(const Control& control) const;
    // The control shown by a native control of the window, or null.
    const Control* controlAt(HWND handle) const;
    void showCaption(const Control& control);
    void showEntries(const DropDownList& list);
    void showSelection(const DropDownList& list);
    void close();
    void addTrayIcon();
    bool showTray(DWORD action);
    void updateTray();
    void removeTrayIcon();
    void trayNotified(UINT event);
    void showTrayMenu();

    MainForm& form_;
    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND toolTips_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    std::map<const Control*, HWND> handles_;
    std::map<int, Control*> byId_;
    bool showing_ = false;     // a change of the model is being shown: not the user's input
    UINT taskbarCreated_ = 0;  // the message that a new taskbar, with an empty tray, is up
    bool inTray_ = false;
    HICON trayIcon_ = nullptr;
    std::array<int32_t, 4> trayColors_{};  // of trayIcon_
    std::u16string trayHint_;              // the hint shown
};

}  // namespace velnor
