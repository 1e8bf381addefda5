#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "core/input_sink.h"
#include "core/layout.h"
#include "core/main_form.h"
#include "support/indicator_colours.h"
#include "support/manual_loop.h"
#include "support/menu_text.h"
#include "support/test_form.h"
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

// What each indicator paints for every stored colour, as its control draws itself into a bitmap.
TEST_F(Win32ViewTest, IndicatorsPaintAnyStoredColour) {
    for (Indicator* box : {&form.boxDSR, &form.boxCTS, &form.boxCD, &form.boxRI}) {
        HWND shown = handle(box->name());
        RECT area{};
        GetClientRect(shown, &area);
        HDC screen = GetDC(shown);
        HDC canvas = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
        HGDIOBJ previous = SelectObject(canvas, bitmap);
        for (const test::IndicatorColour& colour : test::kIndicatorColours) {
            box->setFillColor(colour.stored);
            SendMessageW(shown, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas),
                         PRF_CLIENT | PRF_ERASEBKGND);
            EXPECT_EQ(GetPixel(canvas, area.right / 2, area.bottom / 2),
                      RGB(colour.red, colour.green, colour.blue))
                << std::string(box->name().begin(), box->name().end()) << " " << colour.stored;
        }
        SelectObject(canvas, previous);
        DeleteObject(bitmap);
        DeleteDC(canvas);
        ReleaseDC(shown, screen);
    }
}

// Each control's hint as its native tooltip shows it: a frame's over its area, any other's over
// its own control, a text box's problem in place of its hint.
TEST_F(Win32ViewTest, EveryHintOfTheModelIsShown) {
    form.txtDSRSendKeys.setText(u"{");
    form.lines[1].setSettleTime(LineFilter::Duration(30));
    int hints = 0;
    forEachControl(form, [&](Control& control) {
        if (control.kind() == ControlKind::Form) return;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = view.window();
        tool.uFlags = control.kind() == ControlKind::Frame ? 0 : TTF_IDISHWND;
        tool.uId = control.kind() == ControlKind::Frame
                       ? reinterpret_cast<UINT_PTR>(&control)
                       : reinterpret_cast<UINT_PTR>(handle(control.name()));
        wchar_t text[512] = {};
        tool.lpszText = text;
        SendMessageW(view.toolTips(), TTM_GETTEXTW, std::size(text),
                     reinterpret_cast<LPARAM>(&tool));
        const auto* box = dynamic_cast<const TextBox*>(&control);
        const std::u16string& expected =
            box && !box->problem().empty() ? box->problem() : control.toolTip();
        EXPECT_EQ(std::u16string(text, text + wcslen(text)), expected)
            << std::string(control.name().begin(), control.name().end());
        if (!expected.empty()) ++hints;
    });
    EXPECT_EQ(hints, 3 + 4 + 1) << "the lines' frames, the COM buttons and the box";
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

// Typing over a selected entry leaves no entry selected, which empties the field and sets the
// text again: the caret must stay at the end of what was typed.
TEST_F(Win32ViewTest, AKeyNameTypedOverASelectedEntryReadsBackAsTyped) {
    HWND list = handle(u"cboDSREmulateKey");
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    userCommand(u"cboDSREmulateKey", CBN_SELCHANGE);
    ASSERT_EQ(form.cboDSREmulateKey.listIndex(), 0);
    HWND edit = GetWindow(list, GW_CHILD);
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t typed : std::wstring(L"vbKeyF5")) SendMessageW(edit, WM_CHAR, typed, 1);
    EXPECT_EQ(textOf(list), u"vbKeyF5");
    EXPECT_EQ(form.cboDSREmulateKey.text(), u"vbKeyF5");
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

// A native menu's items as GetMenuItemInfoW reads them, their text as shown.
struct NativeItem {
    std::u16string text;
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
    HMENU submenu = nullptr;
};

std::vector<NativeItem> itemsOf(HMENU menu) {
    std::vector<NativeItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
        item.dwTypeData = text;
        item.cch = 256;
        GetMenuItemInfoW(menu, UINT(i), TRUE, &item);
        // As the menu shows it: "&&" is one '&', a single one marks the access key.
        std::u16string shown;
        for (const wchar_t* c = text; *c; ++c) {
            if (*c == L'&' && !*++c) break;
            shown += char16_t(*c);
        }
        items.push_back({shown, item.fType, item.fState, item.wID, item.hSubMenu});
    }
    return items;
}

// A native menu as the user sees it, in the lines of test::menuText.
std::vector<std::u16string> menuText(HMENU menu, int depth = 0) {
    std::vector<std::u16string> lines;
    for (const NativeItem& item : itemsOf(menu)) {
        const bool checked = (item.state & MFS_CHECKED) != 0;
        const auto kind = (item.type & MFT_SEPARATOR) ? MenuEntry::Kind::Separator
                          : item.submenu              ? MenuEntry::Kind::Submenu
                                                      : MenuEntry::Kind::Action;
        const auto mark = (item.type & MFT_RADIOCHECK) ? MenuEntry::Mark::Radio
                          : checked                    ? MenuEntry::Mark::Check
                                                       : MenuEntry::Mark::None;
        lines.push_back(
            test::menuLine(depth, kind, item.text, mark, checked, (item.state & MFS_GRAYED) == 0));
        if (!item.submenu) continue;
        const std::vector<std::u16string> submenu = menuText(item.submenu, depth + 1);
        lines.insert(lines.end(), submenu.begin(), submenu.end());
    }
    return lines;
}

// The model as a native menu shows it: an unchecked setting has no mark there to tell it from an
// action.
std::vector<std::u16string> nativeText(const Menu& model) {
    std::vector<std::u16string> lines = test::menuText(model);
    for (std::u16string& line : lines)
        if (const size_t at = line.find_first_not_of(u' '); line.compare(at, 4, u"[ ] ") == 0)
            line.erase(at, 4);
    return lines;
}

// The command of the entry at `path` of titles, 0 for none.
UINT commandOf(HMENU menu, std::vector<std::u16string_view> path) {
    for (size_t depth = 0; depth < path.size(); ++depth) {
        const std::vector<NativeItem> items = itemsOf(menu);
        const auto found = std::ranges::find(items, path[depth], &NativeItem::text);
        if (found == items.end()) return 0;
        if (depth + 1 == path.size()) return found->id;
        menu = found->submenu;
    }
    return 0;
}

// The window of `windowClass` shown now: a dialog ("#32770"), a popup menu ("#32768").
HWND shown(const wchar_t* windowClass) {
    HWND window = FindWindowW(windowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

// The dialog is made without a size: once laid out, its last control shows whole.
bool laidOut(HWND dialog, HWND last) {
    RECT area{};
    GetClientRect(dialog, &area);
    RECT place{};
    GetWindowRect(last, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place.left >= 0 && place.top >= 0 && place.right <= area.right &&
           place.bottom <= area.bottom;
}

// What a question dialog showed, and the answer the test typed into it before pressing OK (or
// Cancel, where `confirm` is false).
struct DialogAnswer {
    std::wstring text;
    bool confirm = true;
    bool answered = false;
    std::u16string title{};
    std::u16string prompt{};
    std::u16string initial{};
    bool laidOut = false;
};

// Runs on a timer of the view's window, from the dialog's own message loop once it shows.
void CALLBACK answerDialog(HWND window, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = shown(L"#32770");
    if (!dialog) return;
    KillTimer(window, timer);
    auto& answer = *reinterpret_cast<DialogAnswer*>(timer);
    HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
    answer.title = textOf(dialog);
    answer.prompt = textOf(FindWindowExW(dialog, nullptr, L"Static", nullptr));
    answer.initial = textOf(edit);
    answer.laidOut = laidOut(dialog, FindWindowExW(dialog, nullptr, L"Button", L"Cancel"));
    SetWindowTextW(edit, answer.text.c_str());
    HWND button = FindWindowExW(dialog, nullptr, L"Button", answer.confirm ? L"OK" : L"Cancel");
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    answer.answered = true;
}

// Keeps the text of the popup menu that shows, and ends it.
void CALLBACK readOpenMenu(HWND window, UINT, UINT_PTR timer, DWORD) {
    HWND popup = shown(L"#32768");
    if (!popup) return;
    KillTimer(window, timer);
    *reinterpret_cast<std::vector<std::u16string>*>(timer) =
        menuText(reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)));
    EndMenu();
}

// The view on the core's test window, whose port menu offers devices, a command line and start
// at login, so that every kind of entry and mark shows.
class Win32MenuTest : public ::testing::Test {
  protected:
    // Win32 marks a check entry only while it is on, so an off one would read as a plain entry:
    // start at login is on.
    Win32MenuTest() { window.login.arguments = std::vector<std::u16string>{}; }

    // Chooses the entry at `path` of `frame`'s menu through the view; a question it asks is
    // answered with `answer`.
    void choose(const Frame& frame, std::vector<std::u16string_view> path,
                DialogAnswer* answer = nullptr) {
        const auto menu = view.contextMenu(frame);
        ASSERT_NE(menu, nullptr);
        const UINT command = commandOf(menu->handle(), path);
        ASSERT_NE(command, 0u);
        if (answer) SetTimer(view.window(), reinterpret_cast<UINT_PTR>(answer), 10, answerDialog);
        view.choose(*menu, command);
        if (answer) KillTimer(view.window(), reinterpret_cast<UINT_PTR>(answer));
    }

    // The menu that opens on a right-click at `at` in the window (or from the keyboard, at
    // (-1, -1)), as text; empty when none opens.
    std::vector<std::u16string> menuOpenedAt(POINT at) {
        if (at.x != -1) ClientToScreen(view.window(), &at);
        std::vector<std::u16string> opened;
        SetTimer(view.window(), reinterpret_cast<UINT_PTR>(&opened), 10, readOpenMenu);
        SendMessageW(view.window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view.window()),
                     MAKELPARAM(at.x, at.y));
        KillTimer(view.window(), reinterpret_cast<UINT_PTR>(&opened));
        return opened;
    }

    test::TestForm window;
    MainForm& form = window.form;
    Win32FormView view{form, GetModuleHandleW(nullptr)};
};

TEST_F(Win32MenuTest, ARightClickOpensTheFormsMenuOfTheFrameUnderThePointer) {
    window.catalog.plugged = {{u"COM7", u"USB Serial Port (COM7)"}};
    window.catalog.assignments[2] = u"COM7";
    // Away from the screen's corner: the click comes in screen coordinates, frames are placed in
    // the window's.
    SetWindowPos(view.window(), nullptr, 250, 120, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Over a label, the menu of its frame; over one outside the frames (the event log), none.
    int menus = 0;
    forEachControl(form, [&](Control& control) {
        if (control.kind() != ControlKind::Frame && control.kind() != ControlKind::Label) return;
        SCOPED_TRACE(std::string(control.name().begin(), control.name().end()));
        RECT place{};
        GetWindowRect(view.controlHandle(control.name()), &place);
        MapWindowPoints(nullptr, view.window(), reinterpret_cast<POINT*>(&place), 2);
        const Frame* frame = control.kind() == ControlKind::Frame
                                 ? &static_cast<const Frame&>(control)
                                 : control.container();
        const Menu model = frame ? form.menuOf(*frame) : Menu{};
        const auto opened =
            menuOpenedAt({(place.left + place.right) / 2, (place.top + place.bottom) / 2});
        EXPECT_EQ(opened, nativeText(model));
        menus += control.kind() == ControlKind::Frame && !opened.empty();
    });
    EXPECT_EQ(menus, 4);
    // From the keyboard: the menu of the focused control's frame.
    SetFocus(view.controlHandle(u"optCom2"));
    EXPECT_EQ(menuOpenedAt({-1, -1}), nativeText(form.menuOf(form.Port)));
}

// The system names the devices, and a name may hold a '&'.
TEST_F(Win32MenuTest, ThePortSubmenusShowTheDevicesAsNamedAndAssignTheChosenOne) {
    window.catalog.plugged = {{u"\\\\.\\COM3", u"USB Serial Port (COM3)"},
                              {u"\\\\.\\COM9", u"AT&T Modem (COM9)"}};
    const auto menu = view.contextMenu(form.Port);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menuText(menu->handle()), nativeText(form.menuOf(form.Port)));
    choose(form.Port, {u"COM2: /dev/ttyS1", u"AT&T Modem (COM9)"});
    EXPECT_EQ(window.catalog.assigned(2), u"\\\\.\\COM9");
}

TEST_F(Win32MenuTest, ChoosingAnEntryActsOnTheFormAfterItsQuestion) {
    choose(form.frameCD, {u"Settle time", u"30 ms"});
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 30);

    Menu before = form.menuOf(form.frameCD);
    const MenuEntry::Question asked =
        *test::findEntry(before, {u"Settle time", u"Other..."})->question;
    DialogAnswer other{.text = L"250"};
    choose(form.frameCD, {u"Settle time", u"Other..."}, &other);
    ASSERT_TRUE(other.answered);
    EXPECT_EQ(other.title, asked.title);
    EXPECT_EQ(other.prompt, asked.prompt);
    EXPECT_EQ(other.initial, asked.initial);
    EXPECT_TRUE(other.laidOut);
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 250);

    window.newLog();
    DialogAnswer cancelled{.text = L"40", .confirm = false};
    choose(form.frameCD, {u"Settle time", u"Other (250 ms)..."}, &cancelled);
    ASSERT_TRUE(cancelled.answered);
    EXPECT_EQ(cancelled.initial, u"250");
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 250);
    EXPECT_EQ(window.newLog(), std::vector<std::u16string>{})
        << "a cancelled question does nothing";

    choose(form.frameDSR, {u"Polarity", u"Inverted (normally closed switch)"});
    EXPECT_TRUE(form.lines[0].filter().inverted());
    EXPECT_FALSE(form.lines[2].filter().inverted());
}

// The notification area as Wine's shell32 reaches it: a window of the taskbar's class that takes
// each Shell_NotifyIconW call as WM_COPYDATA, its dwData the call (NIM_ADD, ...), its data Wine's
// own form of the icon's (the window, the id, the flags, the callback message, then the hint).
// Topmost, so that it is the taskbar Shell_NotifyIconW finds first.
class FakeTaskbar {
  public:
    struct Call {
        DWORD action;
        std::u16string hint;
    };

    FakeTaskbar() {
        static const ATOM registered = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = procedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"Shell_TrayWnd";
            return RegisterClassW(&windowClass);
        }();
        (void)registered;
        window_ =
            CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", nullptr, WS_POPUP,
                            0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~FakeTaskbar() { DestroyWindow(window_); }

    std::vector<Call> calls;
    bool refuses = false;  // as a taskbar without a tray: every call fails

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* taskbar = reinterpret_cast<FakeTaskbar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_COPYDATA || !taskbar)
            return DefWindowProcW(window, message, wParam, lParam);
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        constexpr size_t kHintAt = 4 * sizeof(UINT);
        const auto* hint =
            reinterpret_cast<const char16_t*>(static_cast<const char*>(data->lpData) + kHintAt);
        if (taskbar->refuses) return FALSE;
        taskbar->calls.push_back({DWORD(data->dwData), hint});
        return TRUE;
    }

    HWND window_ = nullptr;
};

void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Without a tray the window minimises as before and says why it does not hide. The icon comes
// with a new taskbar (as when Explorer restarts), follows the lines, hides the minimised window
// where asked and brings it back, and goes with the window.
TEST_F(Win32MenuTest, TheTrayIconComesWithTheTaskbarFollowsTheLinesAndGoesWithTheWindow) {
    FakeTaskbar taskbar;
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    taskbar.refuses = true;
    SendMessageW(view.window(), taskbarCreated, 0, 0);
    EXPECT_FALSE(view.inTray());
    ShowWindow(view.window(), SW_SHOWNORMAL);
    window.newLog();
    form.ProcessArguments(u"-minimizeToTray -minimize");
    EXPECT_TRUE(IsWindowVisible(view.window()) && IsIconic(view.window()));
    const auto told = window.newLog();
    EXPECT_NE(
        std::ranges::find(
            told, u"Hide to the tray when minimised does nothing: the desktop has no system tray"),
        told.end());
    form.showWindow();
    EXPECT_FALSE(IsIconic(view.window()));

    taskbar.refuses = false;
    SendMessageW(view.window(), taskbarCreated, 0, 0);
    ASSERT_TRUE(view.inTray());
    ASSERT_EQ(taskbar.calls.size(), 1u);
    EXPECT_EQ(taskbar.calls[0].action, DWORD(NIM_ADD));
    EXPECT_EQ(taskbar.calls[0].hint, u"Velnor: no line on");
    form.boxDSR.setFillColor(kIndicatorOn);
    form.boxCTS.setToolTip(u"a change the icon does not show");
    ASSERT_EQ(taskbar.calls.size(), 2u);
    EXPECT_EQ(taskbar.calls[1].action, DWORD(NIM_MODIFY));
    EXPECT_EQ(taskbar.calls[1].hint, u"Velnor: DSR on");

    std::vector<std::u16string> opened;
    SetTimer(view.window(), reinterpret_cast<UINT_PTR>(&opened), 10, readOpenMenu);
    SendMessageW(view.window(), Win32FormView::kTrayMessage, 0, WM_RBUTTONUP);
    KillTimer(view.window(), reinterpret_cast<UINT_PTR>(&opened));
    ASSERT_EQ(opened.size(), test::menuText(form.trayMenu()).size());
    EXPECT_EQ(opened.front(), u"Show Velnor");

    form.ProcessArguments(u"-minimize");
    EXPECT_FALSE(IsWindowVisible(view.window())) << "hidden to the tray";
    SendMessageW(view.window(), Win32FormView::kTrayMessage, 0, WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(view.window()));
    EXPECT_FALSE(IsIconic(view.window()));

    Menu menu = form.trayMenu();
    window.newLog();
    test::findEntry(menu, {u"Quit"})->chosen({});
    pumpMessages();
    EXPECT_EQ(view.window(), nullptr);
    EXPECT_FALSE(view.inTray());
    EXPECT_EQ(taskbar.calls.back().action, DWORD(NIM_DELETE));
    const auto logged = window.newLog();
    EXPECT_NE(std::ranges::find(logged, u"SetComPort none"), logged.end()) << "unloaded";
}

}  // namespace
}  // namespace velnor
