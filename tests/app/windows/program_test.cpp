// velnor.exe as a user meets it under Wine: its window, a second start that hands its command
// line over, the loopback port end to end, no key left held once it has ended, and --help and
// --version for scripts.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/argument_spellings.h"
#include "support/win32/processes.h"

namespace velnor {
namespace {

// Where the build puts them, relative to this program's folder (CMakeLists.txt).
const std::wstring kVelnor = test::besideThisProgram(VELNOR_EXE);
const std::wstring kDdeClient = test::besideThisProgram(DDE_CLIENT_EXE);

void waitForExit(HANDLE process) {
    test::waitAtMost([process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; });
}

std::string eventLog() {
    return test::runProgram(kDdeClient, L"eventlog",
                            [](const auto& done) { test::waitAtMost(done); });
}

// What velnor.exe with `arguments` writes to its standard output, a pipe, until it ends.
std::u16string printed(const std::wstring& arguments) {
    const std::string utf8 =
        test::runProgram(kVelnor, arguments, [](const auto& done) { test::waitAtMost(done); });
    std::wstring text(utf8.size(), L'\0');
    text.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(),
                                           int(text.size()))));
    return {text.begin(), text.end()};
}

bool shiftHeld() {
    return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
}

// The window's own controls, not the parts inside them (a list's edit field).
int countChildren(HWND window) {
    int children = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ++children;
    return children;
}

TEST(VelnorProgram, ASecondStartHandsOverAndTheFirstHoldsTheDsrKeyUntilItEnds) {
    SetEnvironmentVariableW(L"VELNOR_COM1", L"loopback");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first{};
    std::wstring commandLine = L"\"" + kVelnor + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &first));
    HWND window = nullptr;
    test::waitAtMost([&window] {
        window = FindWindowW(L"VelnorMainForm", nullptr);
        return window && IsWindowVisible(window);
    });
    ASSERT_NE(window, nullptr);
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Velnor Control");
    EXPECT_EQ(countChildren(window), 44) << "every control of the layout";

    DWORD exitCode = 99;
    test::runProgram(
        kVelnor, L"-port=com1 -dtr", [](const auto& done) { test::waitAtMost(done); }, &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the second start ends once the running copy has the line";
    std::string log;
    test::waitAtMost([&log] {
        log = eventLog();
        return log.find("optDTROn_Click") != std::string::npos;
    });
    EXPECT_NE(log.find("DDE LinkExecute:  -port=com1 -dtr"), std::string::npos) << log;
    test::waitAtMost(shiftHeld, 5'000);
    EXPECT_TRUE(shiftHeld()) << "DTR drives DSR on the loopback plug; DSR holds Shift";

    // Without arguments a second start only brings the window forward.
    test::runProgram(
        kVelnor, L"", [](const auto& done) { test::waitAtMost(done); }, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(eventLog().find("DDE LinkExecute:  \n"), std::string::npos) << "nothing executed";

    PostMessageW(window, WM_CLOSE, 0, 0);
    waitForExit(first.hProcess);
    GetExitCodeProcess(first.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(shiftHeld()) << "closing released the key";
    CloseHandle(first.hThread);
    CloseHandle(first.hProcess);
}

TEST(VelnorProgram, HelpAndVersionAloneArePrintedToARedirectedOutput) {
    const std::u16string help = printed(L"--help");
    for (const std::u16string& spelling : test::argumentSpellings())
        EXPECT_EQ(test::occurrences(help, spelling), 1)
            << std::string(spelling.begin(), spelling.end());
    EXPECT_EQ(printed(L"--version"), u"velnor " VELNOR_VERSION u"\n");
}

TEST(VelnorProgram, HelpAmongOtherArgumentsIsAnArgumentOfTheWindow) {
    SetEnvironmentVariableW(L"VELNOR_COM1", L"loopback");
    std::string log;
    const std::string output =
        test::runProgram(kVelnor, L"-port=com1 --help", [&log](const auto& done) {
            HWND window = nullptr;
            test::waitAtMost([&] {
                window = FindWindowW(L"VelnorMainForm", nullptr);
                return done() || (window && IsWindowVisible(window));
            });
            log = eventLog();
            PostMessageW(window, WM_CLOSE, 0, 0);
            test::waitAtMost(done);
        });
    EXPECT_EQ(output, "");
    EXPECT_NE(log.find("Unknown argument:  --help"), std::string::npos) << log;
    EXPECT_NE(log.find("SetComPort 1"), std::string::npos) << log;
}

}  // namespace
}  // namespace velnor
