#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "core/input_sink.h"
#include "core/layout.h"
#include "core/main_form.h"
#include "support/manual_loop.h"
#include "view/win32/win32_form_view.h"

namespace velnor {
namespace {

std::u16string textOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return {text, text + wcslen(text)};
}

std::u16string classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return {name, name + wcslen(name)};
}

class Win32ViewTest : public ::testing::Test {
  protected:
    Win32ViewTest()
        : form(Platform{.input = sink,
                        .loop = loop,
                        .ports = {
                            .deviceOf = [](int) { return std::u16string(u"\\\\.\\COM99"); },
                            .open = [](const std::u16string&, PortListener&) -> OpenResult {
                                return std::unexpected(Problem{ProblemKind::Missing, u"missing"});
                            },
                            .watchReturn = {}},
                        .channel = nullptr,
                        .timeText = [] { return std::u16string(u"12:00:00"); },
                        .messageBox = {}},
               u""),
          view(form, GetModuleHandleW(nullptr)) {
        form.Form_Load();
    }

    HWND handle(std::u16string_view name) {
        HWND found = view.controlHandle(name);
        EXPECT_NE(found, nullptr) << std::string(name.begin(), name.end());
        return found;
    }
    void userCommand(std::u16string_view name, int code) {
        HWND control = handle(name);
        SendMessageW(view.window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                     reinterpret_cast<LPARAM>(control));
    }

    NullInputSink sink;
    test::ManualLoop loop;
    MainForm form;
    Win32FormView view;
};

TEST_F(Win32ViewTest, EveryControlIsANativeControlOfItsKindWhereTheTablePutsIt) {
    const UINT dpi = GetDpiForWindow(view.window());
    const auto px = [dpi](int twips) { return MulDiv(twips, int(dpi), 1440); };
    EXPECT_EQ(textOf(view.window()), u"Velnor Control");
    RECT client{};
    GetClientRect(view.window(), &client);
    EXPECT_EQ(client.right, px(10230));
    EXPECT_EQ(client.bottom, px(8805));
    int checked = 0;
    forEachControl(form, [&](Control& control) {
        if (control.kind() == ControlKind::Form) return;
        HWND native = handle(control.name());
        const std::u16string expectedClass =
            control.kind() == ControlKind::Frame || control.kind() == ControlKind::OptionButton
                ? u"Button"
            : control.kind() == ControlKind::TextBox      ? u"Edit"
            : control.kind() == ControlKind::DropDownList ? u"ComboBox"
                                                          : u"Static";
        EXPECT_EQ(classOf(native), expectedClass)
            << std::string(control.name().begin(), control.name().end());
        if (control.kind() == ControlKind::Frame || control.kind() == ControlKind::OptionButton) {
            EXPECT_EQ(textOf(native), control.initialCaption());
        }
        RECT r{};
        GetWindowRect(native, &r);
        MapWindowPoints(nullptr, view.window(), reinterpret_cast<POINT*>(&r), 2);
        int left = control.geometry().left;
        int top = control.geometry().top;
        if (const Frame* frame = control.container()) {
            left += frame->geometry().left;
            top += frame->geometry().top;
        }
        EXPECT_EQ(r.left, px(left));
        EXPECT_EQ(r.top, px(top));
        EXPECT_EQ(r.right - r.left, px(left + control.geometry().width) - px(left));
        EXPECT_EQ((GetWindowLongW(native, GWL_STYLE) & WS_VISIBLE) != 0, control.visible());
        ++checked;
    });
    EXPECT_EQ(checked, 44);
}

TEST_F(Win32ViewTest, ShowsEveryChangeOfTheModel) {
    form.optDSRSendKeys.setValue(true);
    EXPECT_EQ(SendMessageW(handle(u"optDSRSendKeys"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(handle(u"optDSREmulateKey"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    form.txtCTSSendKeys.setText(u"Hello {ENTER}");
    EXPECT_EQ(textOf(handle(u"txtCTSSendKeys")), u"Hello {ENTER}");
    // The key lists hold the whole table and show the selected key.
    EXPECT_EQ(SendMessageW(handle(u"cboCDEmulateKey"), CB_GETCOUNT, 0, 0),
              form.cboCDEmulateKey.listCount());
    EXPECT_EQ(SendMessageW(handle(u"cboCDEmulateKey"), CB_GETCURSEL, 0, 0),
              form.cboCDEmulateKey.listIndex());
    EXPECT_EQ(textOf(handle(u"cboCDEmulateKey")), u"vbKeyControl");
    form.cboCDEmulateKey.setText(u"typed");
    EXPECT_EQ(SendMessageW(handle(u"cboCDEmulateKey"), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(textOf(handle(u"cboCDEmulateKey")), u"typed");
    form.LogEvent(u"newest line");
    EXPECT_EQ(textOf(handle(u"EventLog")).substr(0, 23), u"12:00:00  newest line\r\n");
    EXPECT_TRUE(textOf(handle(u"RITimeStamp")).starts_with(u"A 12:00:00"));
}

TEST_F(Win32ViewTest, TheUsersInputGoesThroughTheModel) {
    userCommand(u"optCTSGenerateKeys", BN_CLICKED);
    EXPECT_TRUE(form.optCTSGenerateKeys.value());
    EXPECT_FALSE(form.optCTSEmulateKey.value());
    EXPECT_EQ(SendMessageW(handle(u"optCTSEmulateKey"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    SetWindowTextW(handle(u"txtDSRGenerateKeys"), L"vbKeyA,vbKeyB");  // raises EN_CHANGE
    EXPECT_EQ(form.txtDSRGenerateKeys.text(), u"vbKeyA,vbKeyB");
    ASSERT_TRUE(form.dsrHandler.generateKeys());
    EXPECT_EQ(form.dsrHandler.generateKeys()->size(), 2u);

    SendMessageW(handle(u"cboDSREmulateKey"), CB_SETCURSEL, 0, 0);
    userCommand(u"cboDSREmulateKey", CBN_SELCHANGE);
    EXPECT_EQ(form.cboDSREmulateKey.listIndex(), 0);

    // A port that cannot be opened: the click is logged and "None" is selected again.
    userCommand(u"optCom3", BN_CLICKED);
    EXPECT_TRUE(form.optComNone.value());
    EXPECT_EQ(SendMessageW(handle(u"optCom3"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_NE(form.EventLog.caption().find(u"COM3 (\\\\.\\COM99) cannot be opened: missing"),
              std::u16string::npos);
}

TEST_F(Win32ViewTest, ClosingUnloadsTheFormAndEndsTheWindow) {
    bool closed = false;
    view.onClosed = [&closed] { closed = true; };
    SendMessageW(view.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed);
    EXPECT_EQ(view.window(), nullptr);
    EXPECT_TRUE(form.EventLog.caption().starts_with(u"12:00:00  SetComPort none"));
}

TEST_F(Win32ViewTest, OptionCaptionsFitTheirButtons) {
    HDC dc = GetDC(view.window());
    SelectObject(dc, view.font());
    forEachControl(form, [&](Control& control) {
        if (control.kind() != ControlKind::OptionButton) return;
        const std::wstring caption(control.initialCaption().begin(),
                                   control.initialCaption().end());
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
        RECT r{};
        GetClientRect(handle(control.name()), &r);
        EXPECT_LT(size.cx, r.right) << std::string(caption.begin(), caption.end());
    });
    ReleaseDC(view.window(), dc);
}

}  // namespace
}  // namespace velnor
