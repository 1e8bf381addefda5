// velnor.exe as a user meets it under Wine: its window, a second start that hands its command
// line over, the loopback port end to end, a long text typed in the background, no key left held
// once it has ended, and --help and --version for scripts.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
    return test::runProgram(kDdeClient, L"request EventLog",
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

// Characters reaching a window of the test's own, which has the keyboard focus.
size_t charactersTyped = 0;

LRESULT CALLBACK countCharacters(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR) ++charactersTyped;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Focuses a window of the test's own, where velnor.exe's keys go. It is kept to the end of the
// process: destroying a focused window makes Wine wait for a window manager that Xvfb lacks.
void focusTypingTarget() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &countCharacters;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelnorTypingTarget";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"Typing target",
                                        WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
}

// Each key event of the session waits a millisecond in this hook, as it may in another program's:
// a long text then takes long enough to be caught while it types.
LRESULT CALLBACK slowKeys(int code, WPARAM wParam, LPARAM lParam) {
    Sleep(1);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Handles this thread's messages until `done` holds or `milliseconds` have passed; returns `done`'s
// last answer.
bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds = 30'000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
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
    // A spreadsheet's link to DSR follows it as DTR goes off and on again.
    EXPECT_EQ(test::runProgram(kDdeClient, L"advise hot DSR -dtrOff -dtr",
                               [](const auto& done) { test::waitAtMost(done); }),
              "0\n1\n");
    test::waitAtMost(shiftHeld, 5'000);

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

// A long text types in the background: DDE is answered meanwhile, and closing the window stops the
// typing. The text holds Shift over its letters, so closing drops Shift's release with the rest of
// the text and has to let go of Shift itself.
TEST(VelnorProgram, ALongTextTypesWhileTheProgramAnswersAndStopsWhenTheWindowCloses) {
    SetEnvironmentVariableW(L"VELNOR_COM1", L"loopback");
    focusTypingTarget();
    constexpr size_t kLetters = 20'000;
    std::wstring text = L"+(";
    for (size_t i = 0; i < kLetters; ++i) text += wchar_t(L'a' + i % 26);
    text += L")";
    const HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &slowKeys, GetModuleHandleW(nullptr), 0);
    ASSERT_NE(hook, nullptr);
    std::string log;
    // Minimized and not activated, so that the keys go to the test's window.
    test::runProgram(kVelnor,
                     L"-minimize -dsrMode=sendKeys -dsrSendKeys=" + text + L" -port=com1 -dtr",
                     [&log](const auto& done) {
                         EXPECT_TRUE(pumpUntil([&] { return charactersTyped > 0 || done(); }))
                             << "typing did not begin";
                         // This thread's window and hook go on meanwhile.
                         log = test::runProgram(kDdeClient, L"request EventLog",
                                                [](const auto& answered) { pumpUntil(answered); });
                         PostMessageW(FindWindowW(L"VelnorMainForm", nullptr), WM_CLOSE, 0, 0);
                         pumpUntil(done);
                     });
    UnhookWindowsHookEx(hook);
    EXPECT_NE(log.find("SetComPort 1"), std::string::npos) << log;
    // What was sent still arrives, then nothing more.
    size_t typed = 0;
    while (pumpUntil([&] { return charactersTyped > typed; }, 1'000)) typed = charactersTyped;
    EXPECT_GT(typed, 0u);
    EXPECT_LT(typed, kLetters) << "the typing went on once the window had closed";
    EXPECT_FALSE(shiftHeld());
}

}  // namespace
}  // namespace velnor

namespace velnor {
namespace {

// The program file as Explorer and the loader read it: its icon, version and manifest, and no
// import that Windows 7 and 8.1 lack, which would stop it from loading there at all.
TEST(VelnorProgramFile, CarriesItsResourcesAndImportsNothingNewerThanWindows7) {
    HMODULE file = LoadLibraryExW(kVelnor.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    const auto resource = [file](LPCWSTR type) -> std::string_view {
        HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), type);
        if (!found) return {};
        return {static_cast<const char*>(LockResource(LoadResource(file, found))),
                SizeofResource(file, found)};
    };
    EXPECT_FALSE(resource(RT_GROUP_ICON).empty());
    const std::string_view version = resource(RT_VERSION);
    const std::u16string productVersion = u"ProductVersion";
    const std::u16string_view wideVersion(reinterpret_cast<const char16_t*>(version.data()),
                                          version.size() / 2);
    EXPECT_NE(wideVersion.find(productVersion), std::u16string_view::npos);
    EXPECT_NE(wideVersion.find(VELNOR_VERSION), std::u16string_view::npos);
    const std::string_view manifest = resource(RT_MANIFEST);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string_view::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string_view::npos);

    // Mapped as an image: its addresses are relative to the mapping, whose handle marks its low
    // bits.
    const auto* base = reinterpret_cast<const BYTE*>(uintptr_t(file) & ~uintptr_t(3));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> newer;
    bool sendInput = false;  // one import it must have: the walk itself found the imports
    for (auto* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name; ++library) {
        for (auto* thunk =
                 reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
             thunk->u1.AddressOfData; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) continue;
            const std::string name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData)->Name;
            sendInput = sendInput || name == "SendInput";
            if (name.ends_with("ForDpi") || name.starts_with("GetDpiFor") ||
                name.find("DpiAwareness") != std::string::npos)
                newer.push_back(name);
        }
    }
    EXPECT_TRUE(sendInput);
    EXPECT_EQ(newer, std::vector<std::string>{});
    FreeLibrary(file);
}

}  // namespace
}  // namespace velnor
