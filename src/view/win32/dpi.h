#pragma once

// The scale functions of Windows 10 (1607 on) where the system has them, else their Windows 7
// and 8.1 forms at the system's scale: looked up when first needed, so that the program starts on
// every Windows it supports rather than failing to load on the older ones.

#include <windows.h>

namespace velnor::dpi {

// The scale of `window`'s monitor, 96 being 100 %.
UINT ofWindow(HWND window);
// The system's metrics of the window frame and message font at `dpi`.
NONCLIENTMETRICSW nonClientMetrics(UINT dpi);
// GetSystemMetrics at `dpi`.
int systemMetric(int index, UINT dpi);
// Grows `client` to the window rectangle of a window with `style` at `dpi`.
void adjustWindowRect(RECT& client, DWORD style, UINT dpi);

}  // namespace velnor::dpi
