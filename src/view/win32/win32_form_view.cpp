#include "view/win32/win32_form_view.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/layout.h"
#include "core/lines.h"
#include "core/main_form.h"
#include "view/win32/dpi.h"
#include "view/win32/native_text.h"

namespace velnor {
namespace {

constexpr wchar_t kWindowClass[] = L"VelnorMainForm";
constexpr int kFirstControlId = 100;
// The drop-down part of a list, below its edit field, at 96 dots per inch.
constexpr int kDropDownHeight = 240;

int pixels(int twips, UINT dpi) {
    return MulDiv(twips, int(dpi), 1440);
}

// Where a control sits in the window's client area, in twips: frames hold their controls at
// offsets from their own corner.
RECT twipRect(const Control& control) {
    const Geometry& g = control.geometry();
    int left = g.left;
    int top = g.top;
    if (const Frame* frame = control.container()) {
        left += frame->geometry().left;
        top += frame->geometry().top;
    }
    return {left, top, left + g.width, top + g.height};
}

struct NativeKind {
    const wchar_t* windowClass;
    DWORD style;
    DWORD extendedStyle;
};

NativeKind nativeKind(const Control& control) {
    switch (control.kind()) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::OptionButton: {
            const Frame* frame = control.container();
            const bool first = frame && frame->optionButtons().front() == &control;
            return {L"BUTTON", DWORD(BS_RADIOBUTTON | WS_TABSTOP | (first ? WS_GROUP : 0)), 0};
        }
        case ControlKind::TextBox:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::DropDownList:
            return {L"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0};
        case ControlKind::Label:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::Indicator:
            return {L"STATIC", SS_LEFT, 0};
        case ControlKind::Form:
            break;
    }
    return {L"STATIC", 0, 0};
}

HFONT messageFont(UINT dpi, int height) {
    LOGFONTW font = dpi::nonClientMetrics(dpi).lfMessageFont;
    if (height != 0) font.lfHeight = height;
    return CreateFontIndirectW(&font);
}

}  // namespace

Win32FormView::Win32FormView(MainForm& form, HINSTANCE instance)
    : form_(form), instance_(instance) {
    static const ATOM registered = [instance] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass);
    }();
    (void)registered;
    INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    window_ =
        CreateWindowExW(0, kWindowClass, wide(form.window.initialCaption()).c_str(), style,
                        CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
    dpi_ = dpi::ofWindow(window_);
    toolTips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                                nullptr, instance, nullptr);
    createControls();
    fitFont();
    placeControls();
    form_.setObserver(this);
    forEachControl(form_, [this](Control& control) {
        showCaption(control);
        showToolTip(control);
    });
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    addTrayIcon();
}

Win32FormView::~Win32FormView() {
    form_.setObserver(nullptr);
    removeTrayIcon();
    if (trayIcon_) DestroyIcon(trayIcon_);
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_) DeleteObject(font_);
}

HWND Win32FormView::controlHandle(std::u16string_view name) const {
    for (const auto& [control, handle] : handles_)
        if (control->name() == name) return handle;
    return nullptr;
}

const Control* Win32FormView::controlAt(HWND handle) const {
    const auto found = byId_.find(GetDlgCtrlID(handle));
    return found == byId_.end() ? nullptr : found->second;
}

void Win32FormView::createControls() {
    int id = kFirstControlId;
    forEachControl(form_, [this, &id](Control& control) {
        if (control.kind() == ControlKind::Form) return;
        const NativeKind kind = nativeKind(control);
        const DWORD visible = control.visible() ? WS_VISIBLE : 0;
        const std::wstring caption =
            control.kind() == ControlKind::Frame || control.kind() == ControlKind::OptionButton
                ? wide(control.initialCaption())
                : std::wstring();
        HWND handle =
            CreateWindowExW(kind.extendedStyle, kind.windowClass, caption.c_str(),
                            WS_CHILD | visible | kind.style, 0, 0, 10, 10, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        handles_[&control] = handle;
        byId_[id++] = &control;
        // A frame's hint covers its area of the window (a group box lets the pointer through);
        // any other control's is its own.
        TTTOOLINFOW tool = toolOf(control);
        tool.uFlags |= TTF_SUBCLASS;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    });
}

TTTOOLINFOW Win32FormView::toolOf(const Control& control) const {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    if (control.kind() == ControlKind::Frame) {
        tool.uId = reinterpret_cast<UINT_PTR>(&control);
    } else {
        tool.uFlags = TTF_IDISHWND;
        tool.uId = reinterpret_cast<UINT_PTR>(handles_.at(&control));
    }
    return tool;
}

// The dialog font of the monitor, made smaller until every option button's caption fits beside
// its button: the geometry was laid out for a smaller font than today's systems use.
void Win32FormView::fitFont() {
    HFONT font = messageFont(dpi_, 0);
    LOGFONTW chosen{};
    GetObjectW(font, sizeof chosen, &chosen);
    const int smallest = -MulDiv(7, int(dpi_), 96);
    HDC dc = GetDC(window_);
    const int box = dpi::systemMetric(SM_CXMENUCHECK, dpi_) + MulDiv(6, int(dpi_), 96);
    for (;;) {
        HGDIOBJ previous = SelectObject(dc, font);
        bool fits = true;
        for (const auto& [control, handle] : handles_) {
            if (control->kind() != ControlKind::OptionButton) continue;
            const std::wstring caption = wide(control->initialCaption());
            SIZE size{};
            GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
            if (size.cx + box > pixels(control->geometry().width, dpi_)) fits = false;
        }
        SelectObject(dc, previous);
        if (fits || chosen.lfHeight >= smallest) break;
        DeleteObject(font);
        chosen.lfHeight += 1;  // heights are negative: one pixel smaller
        font = CreateFontIndirectW(&chosen);
    }
    ReleaseDC(window_, dc);
    if (font_) DeleteObject(font_);
    font_ = font;
    for (const auto& [control, handle] : handles_)
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

RECT Win32FormView::rectOf(const Control& control) const {
    const RECT twips = twipRect(control);
    return {pixels(twips.left, dpi_), pixels(twips.top, dpi_), pixels(twips.right, dpi_),
            pixels(twips.bottom, dpi_)};
}

void Win32FormView::placeControls() {
    const Geometry& form = form_.window.geometry();
    RECT frame{0, 0, pixels(form.width, dpi_), pixels(form.height, dpi_)};
    const DWORD style = DWORD(GetWindowLongPtrW(window_, GWL_STYLE));
    dpi::adjustWindowRect(frame, style, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const auto& [control, handle] : handles_) {
        const RECT r = rectOf(*control);
        const int extra = control->kind() == ControlKind::DropDownList
                              ? MulDiv(kDropDownHeight, int(dpi_), 96)
                              : 0;
        MoveWindow(handle, r.left, r.top, r.right - r.left, r.bottom - r.top + extra, TRUE);
    }
    for (const auto& [control, handle] : handles_) {
        if (control->kind() != ControlKind::Frame) continue;
        TTTOOLINFOW tool = toolOf(*control);
        tool.rect = rectOf(*control);
        SendMessageW(toolTips_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Win32FormView::showCaption(const Control& control) {
    const auto found = handles_.find(&control);
    if (found == handles_.end()) return;
    HWND handle = found->second;
    switch (control.kind()) {
        case ControlKind::OptionButton:
            SendMessageW(
                handle, BM_SETCHECK,
                static_cast<const OptionButton&>(control).value() ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::TextBox: {
            const auto& text = static_cast<const TextBox&>(control).text();
            if (windowText(handle) != text) SetWindowTextW(handle, wide(text).c_str());
            break;
        }
        case ControlKind::DropDownList: {
            const auto& list = static_cast<const DropDownList&>(control);
            showEntries(list);
            showSelection(list);
            break;
        }
        case ControlKind::Label: {
            // Only the lines that fit are handed over: a long log costs no more than a short one.
            const std::u16string& caption = static_cast<const Label&>(control).caption();
            RECT area{};
            GetClientRect(handle, &area);
            TEXTMETRICW metrics{};
            HDC dc = GetDC(handle);
            HGDIOBJ previous = SelectObject(dc, font_);
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, previous);
            ReleaseDC(handle, dc);
            // Every line takes at least one row, so the rows that fit never need more lines.
            const size_t rows = size_t(area.bottom / std::max(1L, metrics.tmHeight)) + 1;
            size_t end = 0;
            for (size_t row = 0; end != std::u16string::npos; ++row) {
                end = caption.find(u'\n', row == 0 ? 0 : end + 1);
                if (row + 1 == rows) break;
            }
            const std::u16string_view head = std::u16string_view(caption).substr(0, end);
            std::wstring shown;
            for (const char16_t c : head) {
                if (c == u'\n') shown += L'\r';
                shown += wchar_t(c);
            }
            SetWindowTextW(handle, shown.c_str());
            break;
        }
        case ControlKind::Indicator:
            InvalidateRect(handle, nullptr, TRUE);
            break;
        case ControlKind::Frame:
        case ControlKind::Form:
            break;
    }
}

void Win32FormView::showEntries(const DropDownList& list) {
    HWND handle = handles_.at(&list);
    const auto shown = static_cast<size_t>(SendMessageW(handle, CB_GETCOUNT, 0, 0));
    for (size_t i = shown; i < list.entries().size(); ++i)
        SendMessageW(handle, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(wide(list.entries()[i].text).c_str()));
}

void Win32FormView::showSelection(const DropDownList& list) {
    HWND handle = handles_.at(&list);
    // Selecting no entry empties the edit field, and setting its text back puts the caret at the
    // start: the caret is put back where it was, so that typing over a selected entry goes on.
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(handle, CB_GETEDITSEL, WPARAM(&start), LPARAM(&end));
    if (SendMessageW(handle, CB_GETCURSEL, 0, 0) != list.listIndex())
        SendMessageW(handle, CB_SETCURSEL, WPARAM(list.listIndex()), 0);
    if (windowText(handle) != list.text()) {
        SetWindowTextW(handle, wide(list.text()).c_str());
        SendMessageW(handle, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
    }
}

// A text box that cannot act as written says why instead of its hint.
void Win32FormView::showToolTip(const Control& control) {
    if (!handles_.contains(&control)) return;
    TTTOOLINFOW tool = toolOf(control);
    const std::u16string* shown = &control.toolTip();
    if (control.kind() == ControlKind::TextBox &&
        !static_cast<const TextBox&>(control).problem().empty())
        shown = &static_cast<const TextBox&>(control).problem();
    std::wstring text = wide(*shown);
    tool.lpszText = text.data();
    SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32FormView::changed(Control& control, Property property) {
    showing_ = true;
    switch (property) {
        case Property::Value:
        case Property::Text:
        case Property::Caption:
        case Property::FillColor:
            showCaption(control);
            if (property == Property::FillColor || property == Property::Value) updateTray();
            break;
        case Property::Entries:
            showEntries(static_cast<DropDownList&>(control));
            break;
        case Property::Selection:
            showSelection(static_cast<DropDownList&>(control));
            break;
        case Property::WindowState:
            if (!IsWindowVisible(window_)) break;  // the first show follows the state
            ShowWindow(window_, form_.window.windowState() == WindowState::Minimized ? SW_MINIMIZE
                                                                                     : SW_RESTORE);
            break;
        case Property::Activation:
            ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
            SetForegroundWindow(window_);
            break;
        case Property::Closing:
            // Posted: the entry that asks may still be running from a menu of the window.
            PostMessageW(window_, WM_CLOSE, 0, 0);
            break;
        case Property::ToolTip:
            showToolTip(control);
            break;
        case Property::Problem:
            showToolTip(control);
            InvalidateRect(handles_.at(&control), nullptr, TRUE);  // its text turns red
            break;
    }
    showing_ = false;
}

void Win32FormView::command(int id, int code) {
    const auto found = byId_.find(id);
    if (found == byId_.end() || showing_) return;
    Control& control = *found->second;
    HWND handle = handles_.at(&control);
    switch (control.kind()) {
        case ControlKind::OptionButton:
            if (code == BN_CLICKED) static_cast<OptionButton&>(control).setValue(true);
            break;
        case ControlKind::TextBox:
            if (code == EN_CHANGE) static_cast<TextBox&>(control).setText(windowText(handle));
            break;
        case ControlKind::DropDownList: {
            auto& list = static_cast<DropDownList&>(control);
            if (code == CBN_SELCHANGE)
                list.setListIndex(int(SendMessageW(handle, CB_GETCURSEL, 0, 0)));
            else if (code == CBN_EDITCHANGE)
                list.setText(windowText(handle));
            break;
        }
        default:
            break;
    }
}

void Win32FormView::close() {
    int cancel = 0;
    form_.Form_Unload(cancel);
    if (cancel == 0) DestroyWindow(window_);
}

LRESULT CALLBACK Win32FormView::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* view =
            static_cast<Win32FormView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    }
    auto* view = reinterpret_cast<Win32FormView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!view) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCCREATE) view->window_ = window;
    return view->handle(message, wParam, lParam);
}

LRESULT Win32FormView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        addTrayIcon();  // the new taskbar's tray starts empty
        return 0;
    }
    switch (message) {
        case kTrayMessage:
            trayNotified(UINT(lParam));
            return 0;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED && form_.hidesToTray()) ShowWindow(window_, SW_HIDE);
            break;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC: {
            const Control* control = controlAt(reinterpret_cast<HWND>(lParam));
            if (!control || control->kind() != ControlKind::Indicator) break;
            // Any stored colour: the device context's own brush takes it.
            const auto* box = static_cast<const Indicator*>(control);
            SetDCBrushColor(reinterpret_cast<HDC>(wParam), COLORREF(box->fillColor()));
            return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
        }
        case WM_CTLCOLOREDIT: {
            const Control* control = controlAt(reinterpret_cast<HWND>(lParam));
            if (control && control->kind() == ControlKind::TextBox &&
                !static_cast<const TextBox*>(control)->problem().empty())
                SetTextColor(reinterpret_cast<HDC>(wParam), RGB(200, 0, 0));
            break;
        }
        case WM_CONTEXTMENU:
            showContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            fitFont();
            placeControls();
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            close();
            return 0;
        case WM_ENDSESSION:
            // The session ends with this program: keys it holds are let go before it returns.
            if (wParam) {
                int cancel = 0;
                form_.Form_Unload(cancel);
                if (onClosed) onClosed();
            }
            return 0;
        case WM_DESTROY:
            removeTrayIcon();
            window_ = nullptr;
            if (onClosed) onClosed();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace velnor
