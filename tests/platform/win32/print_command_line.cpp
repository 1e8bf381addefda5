// A second process for the command line tests: prints what a program receives after its own name,
// as velnor.exe reads it, in UTF-8.
#include <windows.h>

#include <string>

int main() {
    const wchar_t* line = GetCommandLineW();
    for (bool quoted = false; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
        if (*line == L'"') quoted = !quoted;
    while (*line == L' ' || *line == L'\t') ++line;
    std::string utf8(
        size_t(WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), int(utf8.size()), nullptr, nullptr);
    utf8.back() = '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), DWORD(utf8.size()), &written, nullptr);
    return 0;
}
