// velnor.exe: the Windows program. Wires the Win32 backends, the core and the native window.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/main_form.h"
#include "platform/win32/dde_channel.h"
#include "platform/win32/port_backend.h"
#include "platform/win32/send_input.h"
#include "platform/win32/system_text.h"
#include "platform/win32/time_text.h"
#include "platform/win32/win32_event_loop.h"
#include "view/win32/win32_form_view.h"

namespace {

constexpr wchar_t kHelp[] =
    L"Usage: velnor [ARGUMENT...]\n"
    L"Turns the modem-status lines of a serial port (DSR, CTS, CD, RI) into keys and mouse "
    L"buttons.\n"
    L"\n"
    L"Arguments, applied in order after the defaults (a running copy takes them over):\n"
    L"  -port=none|com1|com2|com3|com4   release the port, or open COM1 to COM4\n"
    L"  -dtr, -rts, -dtrOff, -rtsOff     switch DTR or RTS on or off\n"
    L"  -dsrMode=, -ctsMode=, -cdMode=   emulateKey, sendKeys or generateKeys\n"
    L"  -dsrEmulateKey=NAME (cts, cd)    the key held while the line is on, e.g. vbKeyShift\n"
    L"  -dsrSendKeys=TEXT (cts, cd)      the SendKeys string typed when the line comes on\n"
    L"  -dsrSendKeys%=TEXT (cts, cd)     the same, spaces written %20, '%' %25, '=' %3D\n"
    L"  -dsrGenerateKeys=KEYS (cts, cd)  key names played when the line comes on\n"
    L"  -dsrDebounce=MS (cts, cd)        settle time of the line, 0 to 1000 ms\n"
    L"  -dsrPolarity=normal|inverted     (cts, cd) inverted for normally closed switches\n"
    L"  -minimize                        start minimised\n"
    L"  --help, --version                show this text or the version and end\n"
    L"\n"
    L"Environment: VELNOR_COM1..VELNOR_COM4 (a device such as \\\\.\\COM7, or loopback).\n";

// A program of the Windows subsystem has no console of its own: it writes to the console it was
// started from, or shows a message box.
void tell(std::wstring_view text) {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD written = 0;
        if (out && out != INVALID_HANDLE_VALUE &&
            WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr))
            return;
    }
    MessageBoxW(nullptr, std::wstring(text).c_str(), L"Velnor", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
    const std::wstring_view arguments(commandLine);
    if (arguments == L"--version") {
        tell(L"velnor " VELNOR_VERSION_WIDE L"\n");
        return 0;
    }
    if (arguments == L"--help") {
        tell(kHelp);
        return 0;
    }
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    velnor::Win32EventLoop loop;
    velnor::SendInputSink input;
    velnor::DdeChannel channel;
    velnor::MainForm form(velnor::Platform{.input = input,
                                           .loop = loop,
                                           .ports = velnor::win32PortBackend(),
                                           .channel = &channel,
                                           .timeText = velnor::localTimeText,
                                           .messageBox =
                                               [](const std::u16string& text) {
                                                   MessageBoxW(nullptr,
                                                               velnor::wideText(text).c_str(),
                                                               L"Velnor", MB_OK);
                                               }},
                          velnor::utf16Text(arguments));
    velnor::Win32FormView view(form, instance);
    view.onClosed = [] { PostQuitMessage(0); };
    form.Form_Load();
    if (form.handedOver()) {
        if (const auto& problem = form.handOverProblem()) {
            tell(L"Velnor is already running but did not take the command line: " +
                 velnor::wideText(*problem) + L"\n");
            return 1;
        }
        return 0;
    }
    const bool minimized = form.window.windowState() == velnor::WindowState::Minimized;
    ShowWindow(view.window(), minimized ? SW_SHOWMINNOACTIVE : show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (view.window() && IsDialogMessageW(view.window(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
