#include "view/win32/dpi.h"

namespace velnor::dpi {
namespace {

using DpiForWindow = UINT(WINAPI*)(HWND);
using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using MetricsForDpi = int(WINAPI*)(int, UINT);
using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// The function `name` of user32, or null where this Windows lacks it.
template <class Function>
Function user32(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return UINT(dpi);
}

}  // namespace

UINT ofWindow(HWND window) {
    static const auto forWindow = user32<DpiForWindow>("GetDpiForWindow");
    return forWindow ? forWindow(window) : systemDpi();
}

NONCLIENTMETRICSW nonClientMetrics(UINT dpi) {
    static const auto forDpi = user32<ParametersForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi)
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    else
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return metrics;
}

int systemMetric(int index, UINT dpi) {
    static const auto forDpi = user32<MetricsForDpi>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

void adjustWindowRect(RECT& client, DWORD style, UINT dpi) {
    static const auto forDpi = user32<AdjustForDpi>("AdjustWindowRectExForDpi");
    if (forDpi)
        forDpi(&client, style, FALSE, 0, dpi);
    else
        AdjustWindowRectEx(&client, style, FALSE, 0);
}

}  // namespace velnor::dpi
