#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velnor {

// UTF-16 both: the core's text and the Win32 API's wide strings are the same code units.
inline std::wstring wideText(std::u16string_view text) {
    return {text.begin(), text.end()};
}
inline std::u16string utf16Text(std::wstring_view text) {
    return {text.begin(), text.end()};
}

// The system's sentence for a Win32 error code, without its final full stop and line break,
// followed by the code: "The system cannot find the file specified (error 2)".
std::u16string systemReason(DWORD error);

}  // namespace velnor
