#pragma once

// The core's UTF-16 text and the Win32 API's wide strings: the same code units.

#include <windows.h>

#include <string>
#include <string_view>

namespace velnor {

inline std::wstring wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

// The text a native window or control shows.
inline std::u16string windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return {text.begin(), text.end()};
}

}  // namespace velnor
