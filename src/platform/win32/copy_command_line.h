#pragma once

// "Copy command line" on Windows: the program with its arguments as a line for cmd.exe, and the
// clipboard that takes it.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace velnor {

// The full path of this program's file.
std::u16string programPath();

// `program`, quoted, then each of `arguments` after a space, written so that cmd.exe starts
// `program` with exactly the arguments joined by spaces. Arguments hold no spaces: the program
// splits its command line at spaces and has no quoting of its own.
std::u16string cmdCommandLine(std::u16string_view program,
                              const std::vector<std::u16string>& arguments);

// Puts `text` on the clipboard as Unicode text, on behalf of the window `owner`. Does nothing
// while another program holds the clipboard.
void copyToClipboard(HWND owner, std::u16string_view text);

}  // namespace velnor
