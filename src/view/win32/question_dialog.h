#pragma once

// The dialog in which a menu entry asks for a value before it acts.

#include <windows.h>

#include <optional>
#include <string>

#include "core/menu.h"

namespace velnor {

// Asks `question` in a modal dialog over `owner`: its title, its prompt, and an edit holding the
// initial answer (digits only, with arrows that step through the range, where a number is asked
// for), laid out in `font` for `dpi`. Returns the text in the edit when the user confirms, nothing
// when they cancel.
std::optional<std::u16string> askQuestion(HWND owner, const MenuEntry::Question& question, UINT dpi,
                                          HFONT font);

}  // namespace velnor
