// The icon in the notification area where the desktop has one: the input lines' indicators
// drawn as one icon, the form's hint, and the form's tray menu. Where there is none, nothing of
// it exists.

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/main_form.h"
#include "view/win32/dpi.h"
#include "view/win32/win32_form_view.h"

namespace velnor {
namespace {

constexpr UINT kTrayId = 1;

// DSR, CTS, CD and RI as the four quarters of a black-edged square, each in its indicator's
// colour (a stored colour is a COLORREF).
HICON linesIcon(const std::array<const Indicator*, 4>& indicators, int size) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP color = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, color);
    const RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int half = size / 2;
    for (size_t i = 0; i < indicators.size(); ++i) {
        const int left = int(i % 2) * half;
        const int top = int(i / 2) * half;
        const RECT quarter{left + 1, top + 1, left + half - 1, top + half - 1};
        HBRUSH brush = CreateSolidBrush(COLORREF(indicators[i]->fillColor()));
        FillRect(dc, &quarter, brush);
        DeleteObject(brush);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    // An empty mask: every pixel is the colour bitmap's. Its rows are whole 16-bit words.
    const std::vector<BYTE> opaque(size_t((size + 15) / 16 * 2 * size), 0);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, opaque.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = color;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(color);
    return icon;
}

}  // namespace

void Win32FormView::addTrayIcon() {
    inTray_ = showTray(NIM_ADD);
    form_.setTrayAvailable(inTray_);
}

// Adds the icon, or shows the lines' colours and the hint as they stand; a change that leaves
// both as shown sends nothing.
bool Win32FormView::showTray(DWORD action) {
    const auto indicators = form_.trayIndicators();
    std::array<int32_t, 4> colors{};
    std::ranges::transform(indicators, colors.begin(),
                           [](const Indicator* box) { return box->fillColor(); });
    const std::u16string hint = form_.trayHint();
    if (action == NIM_MODIFY && colors == trayColors_ && hint == trayHint_) return true;
    HICON previous = nullptr;
    if (!trayIcon_ || colors != trayColors_) {
        previous =
            std::exchange(trayIcon_, linesIcon(indicators, dpi::systemMetric(SM_CXSMICON, dpi_)));
        trayColors_ = colors;
    }
    trayHint_ = hint;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = trayIcon_;
    const size_t length = std::min(hint.size(), std::size(data.szTip) - 1);
    std::copy_n(hint.begin(), length, data.szTip);
    const bool shown = Shell_NotifyIconW(action, &data) != FALSE;
    if (previous) DestroyIcon(previous);  // once the tray has the new one
    return shown;
}

void Win32FormView::updateTray() {
    if (inTray_) showTray(NIM_MODIFY);
}

void Win32FormView::removeTrayIcon() {
    if (!inTray_) return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    inTray_ = false;
}

void Win32FormView::trayNotified(UINT event) {
    switch (event) {
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            form_.showWindow();
            break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            showTrayMenu();
            break;
        default:
            break;
    }
}

// In the foreground while it is open, so that a click elsewhere closes it; the message posted
// after it lets the next click on the icon open it again.
void Win32FormView::showTrayMenu() {
    const ContextMenu menu(form_.trayMenu());
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(window_);
    const UINT id = UINT(TrackPopupMenu(menu.handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                        0, window_, nullptr));
    PostMessageW(window_, WM_NULL, 0, 0);
    choose(menu, id);
}

}  // namespace velnor
