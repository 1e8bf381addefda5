#pragma once

// Waits, without polling, for a COM port whose adapter went away to come back: Windows tells the
// windows that ask for it whenever a port's device arrives, and the port is tried then.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "core/serial_port.h"

namespace velnor::win32 {

class ComPortReturnWatch final : public DeviceWatch {
  public:
    // The class of the message-only window that hears of arriving devices.
    static constexpr wchar_t kWindowClass[] = L"VelnorPortReturnWatch";

    // Calls `back` once, on a thread of its own, when the port `device` ("\\.\COM7") is there
    // again: at once when it already is.
    ComPortReturnWatch(std::u16string_view device, std::function<void()> back);
    // Returns once `back` can no longer be called.
    ~ComPortReturnWatch() override;
    ComPortReturnWatch(const ComPortReturnWatch&) = delete;
    ComPortReturnWatch& operator=(const ComPortReturnWatch&) = delete;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run(HANDLE ready);
    bool present() const;

    std::wstring path_;
    std::function<void()> back_;
    DWORD threadId_ = 0;
    std::thread thread_;
};

}  // namespace velnor::win32
