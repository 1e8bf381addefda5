#pragma once

// Kept settings on Windows: the arguments of the Start menu shortcut that the installer makes
// (packaging/windows/velnor.nsi: Velnor.lnk in the user's own Programs folder), set through the
// shell's link object. A portable copy has no shortcut, and nothing is written for it.

#include <optional>
#include <string>

#include "core/start_entry.h"

namespace velnor {

// The installer's shortcut: %APPDATA%\Microsoft\Windows\Start Menu\Programs\Velnor.lnk.
std::wstring startMenuShortcut();

// The arguments `shortcut` passes; nothing where it cannot be read.
std::optional<std::wstring> shortcutArguments(const std::wstring& shortcut);

class ShortcutEntry final : public StartEntry {
  public:
    // The shortcut; tests use one of their own.
    explicit ShortcutEntry(std::wstring shortcut = startMenuShortcut())
        : shortcut_(std::move(shortcut)) {}

    // True while the shortcut passes arguments.
    bool enabled() override;
    std::u16string place() override;
    // Fails, writing nothing, where there is no shortcut.
    Result<> enable(const std::vector<std::u16string>& arguments) override;
    // Clears the shortcut's arguments; without a shortcut there are none to clear.
    Result<> disable() override;

  private:
    Result<> setArguments(const std::wstring& arguments, std::u16string_view cannot);

    std::wstring shortcut_;
};

}  // namespace velnor
