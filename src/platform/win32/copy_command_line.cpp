#include "platform/win32/copy_command_line.h"

#include <cstring>

#include "platform/win32/system_text.h"

namespace velnor {

std::u16string programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) return utf16Text(std::wstring_view(path).substr(0, length));
        path.resize(path.size() * 2);  // cut short: a long path
    }
}

// cmd.exe first replaces %NAME% where NAME is a variable, then takes ^ & | < > ( ) and " as its
// own; a caret makes the character after it plain and is dropped. The arguments cannot be quoted,
// as the program would keep the quotes. So each of ^ & | < > ( ) " gets a caret before it, and
// each % one after it: then every text between two % begins with a caret, which no variable's name
// does in practice, so cmd leaves it as written; that caret makes the next character plain, which
// therefore needs none of its own. A % that ends the line needs none either (a caret there would
// continue the line onto the next). The path is taken literally inside its quotes, but for %NAME%:
// a path with two % around a variable's name would not come back.
std::u16string cmdCommandLine(std::u16string_view program,
                              const std::vector<std::u16string>& arguments) {
    std::u16string words;
    for (const std::u16string& argument : arguments) words += u" " + argument;
    std::u16string line = u"\"";
    line.append(program).append(u"\"");
    bool plain = false;  // a caret after a % already makes this character plain
    for (size_t i = 0; i < words.size(); ++i) {
        const char16_t c = words[i];
        if (!plain && std::u16string_view(u"^&|<>()\"").find(c) != std::u16string_view::npos)
            line += u'^';
        line += c;
        plain = c == u'%' && i + 1 < words.size();
        if (plain) line += u'^';
    }
    return line;
}

void copyToClipboard(HWND owner, std::u16string_view text) {
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        auto* copy = static_cast<char16_t*>(GlobalLock(memory));
        std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
        copy[text.size()] = u'\0';
        GlobalUnlock(memory);
        // The clipboard owns the memory once it takes it.
        if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    }
    CloseClipboard();
}

}  // namespace velnor
