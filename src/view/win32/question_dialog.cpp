#include "view/win32/question_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "view/win32/dpi.h"
#include "view/win32/native_text.h"

namespace velnor {
namespace {

constexpr int kAnswerId = 100;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// A template of the dialog alone, without menu, class or title: its controls are made once the
// font and the DPI are known, in pixels.
struct EmptyTemplate {
    DLGTEMPLATE dialog;
    WORD menu = 0;
    WORD windowClass = 0;
    WORD title = 0;
};
static_assert(offsetof(EmptyTemplate, menu) == sizeof(DLGTEMPLATE), "the words follow at once");

struct Asking {
    const MenuEntry::Question& question;
    UINT dpi;
    HFONT font;
    std::u16string answer{};
};

HWND addControl(HWND dialog, HFONT font, const wchar_t* windowClass, const std::wstring& text,
                DWORD style, DWORD extendedStyle, int id, RECT place) {
    HWND control = CreateWindowExW(
        extendedStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
        place.top, place.right - place.left, place.bottom - place.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// The prompt above the answer, OK and Cancel below it at the right, centred on the owner.
void build(HWND dialog, const Asking& asking) {
    const MenuEntry::Question& question = asking.question;
    const auto px = [&asking](int pixelsAt96) { return MulDiv(pixelsAt96, int(asking.dpi), 96); };
    SetWindowTextW(dialog, wide(question.title).c_str());

    // The prompt wraps at this width; a longer word widens the dialog.
    const std::wstring prompt = wide(question.prompt);
    RECT promptArea{0, 0, px(320), 0};
    TEXTMETRICW metrics{};
    HDC dc = GetDC(dialog);
    HGDIOBJ previous = SelectObject(dc, asking.font);
    DrawTextW(dc, prompt.c_str(), int(prompt.size()), &promptArea,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(dialog, dc);

    // Spaces and buttons as Windows' own dialogs have them.
    const int margin = px(11);
    const int gap = px(7);
    const int width = std::max(int(promptArea.right), px(320));
    const int editHeight = metrics.tmHeight + px(8);
    const int buttonWidth = px(75);
    const int buttonHeight = std::max(px(23), editHeight);
    int top = margin;
    addControl(dialog, asking.font, L"STATIC", prompt, SS_LEFT | SS_NOPREFIX, 0, -1,
               {margin, top, margin + width, top + promptArea.bottom});
    top += promptArea.bottom + gap;
    const bool digits = question.range && question.range->first >= 0;
    HWND edit = addControl(dialog, asking.font, L"EDIT", L"",
                           ES_AUTOHSCROLL | WS_TABSTOP | (digits ? ES_NUMBER : 0), WS_EX_CLIENTEDGE,
                           kAnswerId, {margin, top, margin + width, top + editHeight});
    if (question.range) {
        HWND arrows = addControl(dialog, asking.font, UPDOWN_CLASSW, L"",
                                 UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                                 0, -1, {});
        SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
        SendMessageW(arrows, UDM_SETRANGE32, WPARAM(question.range->first),
                     LPARAM(question.range->second));
    }
    SetWindowTextW(edit, wide(question.initial).c_str());
    top += editHeight + margin;
    const int right = margin + width;
    addControl(dialog, asking.font, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK,
               {right - 2 * buttonWidth - gap, top, right - buttonWidth - gap, top + buttonHeight});
    addControl(dialog, asking.font, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL,
               {right - buttonWidth, top, right, top + buttonHeight});

    RECT frame{0, 0, right + margin, top + buttonHeight + margin};
    dpi::adjustWindowRect(frame, kStyle, asking.dpi);
    RECT owner{};
    GetWindowRect(GetWindow(dialog, GW_OWNER), &owner);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (owner.left + owner.right - frameWidth) / 2,
                 (owner.top + owner.bottom - frameHeight) / 2, frameWidth, frameHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
}

INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* asking = reinterpret_cast<Asking*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            build(dialog, *reinterpret_cast<Asking*>(lParam));
            return FALSE;  // the focus is on the answer
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) asking->answer = windowText(GetDlgItem(dialog, kAnswerId));
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::u16string> askQuestion(HWND owner, const MenuEntry::Question& question, UINT dpi,
                                          HFONT font) {
    alignas(DWORD) EmptyTemplate dialog{
        .dialog = {
            .style = kStyle, .dwExtendedStyle = 0, .cdit = 0, .x = 0, .y = 0, .cx = 0, .cy = 0}};
    Asking asking{.question = question, .dpi = dpi, .font = font};
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    if (DialogBoxIndirectParamW(instance, &dialog.dialog, owner, procedure,
                                reinterpret_cast<LPARAM>(&asking)) != IDOK)
        return std::nullopt;
    return asking.answer;
}

}  // namespace velnor
