#include "platform/win32/device_watch.h"

#include <dbt.h>

#include <string_view>

namespace velnor::win32 {
namespace {

// GUID_DEVINTERFACE_COMPORT: the interface every serial port driver registers.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

}  // namespace

ComPortReturnWatch::ComPortReturnWatch(std::u16string_view device, std::function<void()> back)
    : path_(device.begin(), device.end()), back_(std::move(back)) {
    // The thread's message queue must exist before the destructor can post it the end.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, ready] { run(ready); });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

ComPortReturnWatch::~ComPortReturnWatch() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

// There when it opens, or is held by another program; gone while its name leads nowhere.
bool ComPortReturnWatch::present() const {
    HANDLE port = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

LRESULT CALLBACK ComPortReturnWatch::procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL) {
        auto* self =
            reinterpret_cast<ComPortReturnWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->present()) {
            self->back_();
            PostQuitMessage(0);
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ComPortReturnWatch::run(HANDLE ready) {
    threadId_ = GetCurrentThreadId();
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass);
    }();
    (void)registered;
    HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    HDEVNOTIFY notification =
        RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
    SetEvent(ready);
    // Looked at once the notifications are asked for, so that an arrival in between is not missed.
    if (present())
        back_();
    else
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (notification) UnregisterDeviceNotification(notification);
    DestroyWindow(window);
}

}  // namespace velnor::win32
