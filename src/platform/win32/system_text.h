#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/problem.h"

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

// `what` failed in the registry with `status`, and why: "HKEY_CURRENT_USER\...\Velnor cannot be
// written: Access is denied (error 5)".
Problem registryProblem(std::u16string_view what, LSTATUS status);

}  // namespace velnor
