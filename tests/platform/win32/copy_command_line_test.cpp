// "Copy command line" on Windows: the line that cmd.exe hands back as the arguments it was made
// of, and the clipboard; and the line that starts the program at login.
#include "platform/win32/copy_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/login_start.h"
#include "platform/win32/system_text.h"
#include "support/win32/processes.h"
#include "test_text.h"

namespace velnor {
namespace {

struct Row {
    std::vector<std::u16string> arguments;
    std::u16string written;  // after the quoted program and a space
    // Names a variable between two %: Windows' cmd leaves it as written, Wine's expands it.
    bool namesAVariable = false;
};

const Row kRows[] = {
    {{u"-port=com1", u"-dtr"}, u"-port=com1 -dtr"},
    {{u"-dsrSendKeys=%{TAB}", u"-ctsSendKeys=^c"}, u"-dsrSendKeys=%^{TAB} -ctsSendKeys=^^c"},
    {{u"-cdSendKeys=+(ec)&|<>"}, u"-cdSendKeys=+^(ec^)^&^|^<^>"},
    {{u"-dsrSendKeys=\"a&b\""}, u"-dsrSendKeys=^\"a^&b^\""},
    {{u"-dsrSendKeys%=Hello%20World~"}, u"-dsrSendKeys%^=Hello%^20World~"},
    // After a %, its caret makes the next character plain: a space, a (, a caret; the last needs
    // none.
    {{u"-dsrSendKeys=%", u"-ctsSendKeys=%(%^", u"-cdSendKeys=%"},
     u"-dsrSendKeys=%^ -ctsSendKeys=%^(%^^ -cdSendKeys=%"},
    {{u"-ctsSendKeys=%OS%"}, u"-ctsSendKeys=%^OS%", true},
};

std::u16string joined(const std::vector<std::u16string>& words) {
    std::u16string line;
    for (const std::u16string& word : words) line += (line.empty() ? u"" : u" ") + word;
    return line;
}

TEST(CmdCommandLine, QuotesTheProgramAndEscapesWhatCmdWouldTakeAsItsOwn) {
    for (const Row& row : kRows)
        EXPECT_EQ(cmdCommandLine(u"C:\\Program Files\\Velnor\\velnor.exe", row.arguments),
                  u"\"C:\\Program Files\\Velnor\\velnor.exe\" " + row.written);
}

TEST(CmdCommandLine, CmdHandsTheArgumentsBackUnchanged) {
    const std::wstring program = test::besideThisProgram(L"print_command_line.exe");
    for (const Row& row : kRows) {
        if (row.namesAVariable) continue;
        const std::u16string line = cmdCommandLine(utf16Text(program), row.arguments);
        // /s: cmd runs what stands between the outer quotes as it is.
        const std::string printed =
            test::runProgram(L"cmd.exe", L"/s /c \"" + wideText(line) + L"\"",
                             [](const auto& done) { test::waitAtMost(done); });
        EXPECT_EQ(printed, narrow(joined(row.arguments)) + "\n") << narrow(line);
    }
}

TEST(CopyToClipboard, PutsTheTextOnTheClipboardAsUnicodeText) {
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const std::u16string text = u"\"C:\\Velnor\\velnor.exe\" -dsrSendKeys=\u00e9\u20ac";
    copyToClipboard(owner, text);
    ASSERT_TRUE(OpenClipboard(owner));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(GlobalLock(data))), text);
    GlobalUnlock(data);
    CloseClipboard();
    DestroyWindow(owner);
}

// The value Explorer runs at login: the program, quoted, and the arguments as they are (no cmd
// escapes, no variables expanded), gone again once switched off.
TEST(RunKeyLoginStart, WritesTheLineReadsItBackAndRemovesIt) {
    RunKeyLoginStart login(L"Velnor test");
    ASSERT_TRUE(login.disable());
    EXPECT_FALSE(login.enabled());
    ASSERT_TRUE(login.enable({u"-minimize", u"-dsrSendKeys=%25a^b\u20ac", u"-port=com1"}));
    EXPECT_TRUE(login.enabled());
    wchar_t value[512] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"Velnor test", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(utf16Text(value),
              u"\"" + programPath() + u"\" -minimize -dsrSendKeys=%25a^b\u20ac -port=com1");
    EXPECT_EQ(login.place(),
              u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Velnor test");
    ASSERT_TRUE(login.disable());
    EXPECT_FALSE(login.enabled());
}

}  // namespace
}  // namespace velnor
