#include "platform/win32/port_backend.h"

#include <windows.h>
// dbt.h needs windows.h first.
#include <dbt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/win32/device_watch.h"

namespace velnor {
namespace {

// Windows tells the watch that some port arrived; it calls back only once its own is there. A file
// stands in for the port, which Wine cannot plug in; the arrival is sent as Windows sends it.
TEST(ComPortReturnWatch, CallsBackOnAnArrivalOnlyOnceItsPortIsThere) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path =
        std::wstring(folder) + L"velnor-watch-" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(path.c_str());
    std::atomic<int> calls = 0;
    win32::ComPortReturnWatch watch(std::u16string(path.begin(), path.end()),
                                    [&calls] { ++calls; });
    HWND window =
        FindWindowExW(HWND_MESSAGE, nullptr, win32::ComPortReturnWatch::kWindowClass, nullptr);
    ASSERT_NE(window, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_W arrival{};
    arrival.dbcc_size = sizeof arrival;
    arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, LPARAM(&arrival));
    EXPECT_EQ(calls, 0) << "another port arrived";

    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, LPARAM(&arrival));
    EXPECT_EQ(calls, 1);
    DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace velnor
