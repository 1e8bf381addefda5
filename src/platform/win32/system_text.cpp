#include "platform/win32/system_text.h"

namespace velnor {

std::u16string systemReason(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string reason = utf16Text(std::wstring_view(buffer, length));
    LocalFree(buffer);
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' ||
                               reason.back() == u'.' || reason.back() == u' '))
        reason.pop_back();
    if (reason.empty()) reason = u"system error";
    const std::string code = std::to_string(error);
    return reason + u" (error " + std::u16string(code.begin(), code.end()) + u")";
}

Problem registryProblem(std::u16string_view what, LSTATUS status) {
    return {status == ERROR_ACCESS_DENIED ? ProblemKind::Permission : ProblemKind::Other,
            std::u16string(what) + u": " + systemReason(DWORD(status))};
}

}  // namespace velnor
