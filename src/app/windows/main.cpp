// velnor.exe: the Windows program. Wires the Win32 backends, the core and the native window.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/arguments.h"
#include "core/main_form.h"
#include "platform/win32/dde_channel.h"
#include "platform/win32/port_backend.h"
#include "platform/win32/send_input.h"
#include "platform/win32/system_text.h"
#include "platform/win32/time_text.h"
#include "platform/win32/win32_event_loop.h"
#include "view/win32/win32_form_view.h"

namespace {

constexpr char16_t kEnvironment[] =
    u"Environment: VELNOR_COM1..VELNOR_COM4 (a device such as \\\\.\\COM7, or loopback).\n";

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
    const std::u16string arguments = velnor::utf16Text(commandLine);
    switch (velnor::startRequest(arguments)) {
        case velnor::StartRequest::Version:
            tell(L"velnor " VELNOR_VERSION_WIDE L"\n");
            return 0;
        case velnor::StartRequest::Help:
            tell(velnor::wideText(velnor::helpText(kEnvironment)));
            return 0;
        case velnor::StartRequest::Run:
            break;
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
                          arguments);
    velnor::Win32FormView view(form, instance);
    view.onClosed = [] { PostQuitMessage(0); };
    form.Form_Load();
    if (form.handedOver()) {
        if (const auto& handed = form.handOverResult(); !handed) {
            tell(L"Velnor is already running but did not take the command line: " +
                 velnor::wideText(handed.error().reason) + L"\n");
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
