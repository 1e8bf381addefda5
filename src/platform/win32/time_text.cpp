#include "platform/win32/time_text.h"

#include <windows.h>

#include "platform/win32/system_text.h"

namespace velnor {

std::u16string localTimeText() {
    wchar_t text[128];
    const int length =
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, text, int(std::size(text)));
    // The length counts the terminating null; nothing is written on failure.
    return length > 0 ? utf16Text(std::wstring_view(text, length - 1)) : std::u16string();
}

}  // namespace velnor
