#include "platform/win32/login_start.h"

#include <windows.h>

#include "platform/win32/copy_command_line.h"
#include "platform/win32/system_text.h"

namespace velnor {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

bool RunKeyLoginStart::enabled() {
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

std::u16string RunKeyLoginStart::place() {
    return utf16Text(L"HKEY_CURRENT_USER\\" + std::wstring(kRunKey) + L"\\" + name_);
}

Result<> RunKeyLoginStart::enable(const std::vector<std::u16string>& arguments) {
    // Explorer hands the value to CreateProcess as it stands: the program quoted, then the
    // arguments, which hold no spaces, as the program splits them.
    std::wstring line = L"\"" + wideText(programPath()) + L"\"";
    for (const std::u16string& argument : arguments) line += L" " + wideText(argument);
    const LSTATUS status =
        RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), REG_SZ, line.c_str(),
                        DWORD((line.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS) return {};
    return std::unexpected(registryProblem(place() + u" cannot be written", status));
}

Result<> RunKeyLoginStart::disable() {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return {};
    return std::unexpected(registryProblem(place() + u" cannot be removed", status));
}

}  // namespace velnor
