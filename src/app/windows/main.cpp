// velnor.exe: the Windows program. Wires the Win32 backends, the core and the native window.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/arguments.h"
#include "core/main_form.h"
#include "platform/win32/copy_command_line.h"
#include "platform/win32/dde_channel.h"
#include "platform/win32/login_start.h"
#include "platform/win32/port_backend.h"
#include "platform/win32/port_catalog.h"
#include "platform/win32/send_input.h"
#include "platform/win32/shortcut_entry.h"
#include "platform/win32/system_text.h"
#include "platform/win32/time_text.h"
#include "platform/win32/win32_event_loop.h"
#include "view/win32/win32_form_view.h"

namespace {

constexpr char16_t kEnvironment[] =
    u"Environment: VELNOR_COM1..VELNOR_COM4 (a device such as \\\\.\\COM7, or loopback; over the "
    u"Port menu's choice).\n";

// A program of the Windows subsystem has no console of its own: it writes to its standard output
// where that is redirected (a file, a pipe: UTF-8, for scripts), else to the console it was started
// from, or shows a message box.
void tell(std::wstring_view text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE && !GetConsoleMode(out, &mode)) {
        std::string utf8(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()),
                                                    nullptr, 0, nullptr, nullptr)),
                         '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(),
                            int(utf8.size()), nullptr, nullptr);
        if (WriteFile(out, utf8.data(), DWORD(utf8.size()), &written, nullptr)) return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = GetStdHandle(STD_OUTPUT_HANDLE);
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
    velnor::Win32EventLoop loop;
    velnor::SendInputSink input(loop);
    velnor::DdeChannel channel;
    velnor::RunKeyLoginStart loginStart;
    velnor::ShortcutEntry keptSettings;
    velnor::Win32PortCatalog catalog;
    HWND window = nullptr;  // the view's, once it is built: the clipboard's owner
    velnor::MainForm form(
        velnor::Platform{
            .input = input,
            .loop = loop,
            .ports = velnor::win32PortBackend(catalog),
            .channel = &channel,
            .timeText = velnor::localTimeText,
            .messageBox =
                [](const std::u16string& text) {
                    MessageBoxW(nullptr, velnor::wideText(text).c_str(), L"Velnor", MB_OK);
                },
            .catalog = &catalog,
            .loginStart = &loginStart,
            .keptSettings = &keptSettings,
            .commandText =
                [](const std::vector<std::u16string>& words) {
                    return velnor::cmdCommandLine(velnor::programPath(), words);
                },
            .copyText =
                [&window](const std::u16string& text) { velnor::copyToClipboard(window, text); }},
        arguments);
    velnor::Win32FormView view(form, instance);
    window = view.window();
    // Typing stops as the window goes: the session may end the program right after, and WM_QUIT
    // comes only once no work is posted any more.
    view.onClosed = [&input] {
        input.stop();
        PostQuitMessage(0);
    };
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
