#include "platform/win32/send_input.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/send_keys.h"
#include "platform/win32/win32_event_loop.h"

namespace velnor {
namespace {

// How many times longer than here a wait may take: an emulated machine (where scripts/test-windows
// runs the 32-bit tests on a kernel without 32-bit programs) types many times slower.
int timeScale() {
    const char* scale = std::getenv("VELNOR_TEST_TIME_SCALE");
    return scale ? std::max(1, std::atoi(scale)) : 1;
}

// A window of the test's own with a focused edit box at its top; the window records the mouse
// button messages that reach its client area below the edit box.
class FocusedWindow {
  public:
    FocusedWindow() {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &FocusedWindow::procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = L"VelnorInputTarget";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"Input target",
                                  WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, instance,
                                  this);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                0, 0, 400, 30, window_, nullptr, instance, nullptr);
        SetForegroundWindow(window_);
        SetFocus(edit_);
        pumpFor(std::chrono::milliseconds(100));
    }
    // Kept until the process ends: destroying a window that had the focus makes Wine wait two
    // seconds for a window manager, and Xvfb has none.
    FocusedWindow(const FocusedWindow&) = delete;
    FocusedWindow& operator=(const FocusedWindow&) = delete;

    // An empty edit box with the focus, and no mouse message seen.
    void reset() {
        SetWindowTextW(edit_, L"");
        SetFocus(edit_);
        pump();
        mouseMessages.clear();
        keyMessages.clear();
    }

    bool ready() const { return window_ && edit_ && GetFocus() == edit_; }

    std::u16string text() const {
        std::wstring text(GetWindowTextLengthW(edit_) + 1, L'\0');
        text.resize(GetWindowTextW(edit_, text.data(), int(text.size())));
        return {text.begin(), text.end()};
    }

    // Puts the pointer in the client area below the edit box.
    void pointAtClientArea() {
        POINT point{200, 200};
        ClientToScreen(window_, &point);
        SetCursorPos(point.x, point.y);
        pumpFor(std::chrono::milliseconds(50));
    }

    // Handles messages until `done` holds or `timeout` has passed; returns `done`'s last say,
    // asked after each message: typing in the background keeps messages coming.
    template <class Done>
    bool pumpUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout * timeScale();
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            MSG message;
            if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                record(message);
                TranslateMessage(&message);
                DispatchMessageW(&message);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            }
        }
        return true;
    }
    void pumpFor(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        pumpUntil([&] { return std::chrono::steady_clock::now() > end; });
    }

    std::vector<UINT> mouseMessages;
    // The key messages that reached the edit box: "down 179 extended", "up 65".
    std::vector<std::string> keyMessages;

  private:
    void record(const MSG& message) {
        if (message.hwnd != edit_ || (message.message != WM_KEYDOWN && message.message != WM_KEYUP))
            return;
        keyMessages.push_back((message.message == WM_KEYDOWN ? "down " : "up ") +
                              std::to_string(message.wParam) +
                              (message.lParam & (1 << 24) ? " extended" : ""));
    }

    void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            record(message);
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
        auto* self = reinterpret_cast<FocusedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message >= WM_LBUTTONDOWN && message <= WM_MBUTTONUP &&
            message != WM_LBUTTONDBLCLK && message != WM_RBUTTONDBLCLK)
            self->mouseMessages.push_back(message);
        return DefWindowProcW(window, message, w, l);
    }

    HWND window_ = nullptr;
    HWND edit_ = nullptr;
};

// One window for the whole test program, left to the end of the process (see FocusedWindow).
FocusedWindow& sharedWindow() {
    static FocusedWindow* const window = new FocusedWindow;
    return *window;
}

class SendInputSinkTest : public testing::Test {
  protected:
    void SetUp() override {
        window.reset();
        ASSERT_TRUE(window.ready()) << "the edit box has no focus";
    }

    FocusedWindow& window = sharedWindow();
    Win32EventLoop loop;  // served by the window's pumping
};

// Thousands of characters of the layout, with and without Shift, and beyond it: more than one turn
// of the loop types. Slower machines type fewer, still over many turns.
std::u16string longText() {
    static constexpr char16_t kAlphabet[] = u"abcXYZ019 .,-!éÄ€";
    std::u16string text;
    const size_t length = 3000 / timeScale();
    for (size_t i = 0; i < length; ++i) text += kAlphabet[i % (std::size(kAlphabet) - 1)];
    return text;
}

// A failure says how much was typed and where it first went wrong, instead of printing thousands
// of characters twice.
testing::AssertionResult sameText(const std::u16string& typed, const std::u16string& text) {
    if (typed == text) return testing::AssertionSuccess();
    const auto [wrong, _] = std::ranges::mismatch(typed, text);
    return testing::AssertionFailure()
           << typed.size() << " of " << text.size() << " characters typed, the first wrong one at "
           << wrong - typed.begin();
}

// Generous: Wine's edit box takes its time over thousands of characters.
constexpr std::chrono::seconds kLongTextTime{30};

TEST_F(SendInputSinkTest, SendKeysTypesIntoTheFocusedEditBox) {
    SendInputSink sink(loop);
    ASSERT_FALSE(SendKeys(sink, u"Ab{LEFT}c+(d)!"));
    // The caret stays left of "b" once it has moved there.
    window.pumpUntil([&] { return window.text() == u"AcD!b"; });
    EXPECT_EQ(window.text(), u"AcD!b");
}

// The media and browser keys are extended keys, as the arrows are; the function keys are not.
TEST_F(SendInputSinkTest, KeysArriveAsTheirVirtualKeysExtendedWhereTheKeyboardsAre) {
    SendInputSink sink(loop);
    const std::pair<int, const char*> keys[] = {
        {VK_F17, "128"},
        {VK_F24, "135"},
        {VK_BROWSER_BACK, "166 extended"},
        {VK_VOLUME_MUTE, "173 extended"},
        {VK_MEDIA_PLAY_PAUSE, "179 extended"},
        {VK_LEFT, "37 extended"},
        {VK_HOME, "36 extended"},
        {'A', "65"},
    };
    std::vector<std::string> expected;
    for (const auto& [key, message] : keys) {
        sink.key(key, true);
        sink.key(key, false);
        expected.push_back(std::string("down ") + message);
        expected.push_back(std::string("up ") + message);
    }
    window.pumpUntil([&] { return window.keyMessages.size() >= expected.size(); });
    EXPECT_EQ(window.keyMessages, expected);
}

TEST_F(SendInputSinkTest, CharactersOffTheLayoutArriveAsUnicode) {
    SendInputSink sink(loop);
    for (char32_t character : {U'é', U'€', U'\U0001F600'}) sink.typeCharacter(character);
    window.pumpUntil([&] { return window.text() == u"é€\U0001F600"; });
    EXPECT_EQ(window.text(), u"é€\U0001F600");
}

TEST_F(SendInputSinkTest, MouseButtonsArriveAtThePointer) {
    window.pointAtClientArea();
    SendInputSink sink(loop);
    for (MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
        sink.mouseButton(button, true);
        sink.mouseButton(button, false);
    }
    const std::vector<UINT> expected = {WM_LBUTTONDOWN, WM_LBUTTONUP,   WM_RBUTTONDOWN,
                                        WM_RBUTTONUP,   WM_MBUTTONDOWN, WM_MBUTTONUP};
    window.pumpUntil([&] { return window.mouseMessages.size() >= expected.size(); });
    EXPECT_EQ(window.mouseMessages, expected);
}

TEST_F(SendInputSinkTest, ReleasesWhatItHoldsWhenDestroyed) {
    window.pointAtClientArea();
    {
        SendInputSink sink(loop);
        sink.key(VK_SHIFT, true);
        sink.mouseButton(MouseButton::Left, true);
        // Both down before the end: on a slow machine the button may still wait for the loop's
        // next turn, and a sink ended then drops it unsent, holding nothing.
        ASSERT_TRUE(window.pumpUntil([&] {
            return GetKeyState(VK_SHIFT) < 0 && !window.mouseMessages.empty() &&
                   window.mouseMessages.back() == WM_LBUTTONDOWN;
        }));
    }
    EXPECT_TRUE(window.pumpUntil([] { return GetKeyState(VK_SHIFT) >= 0; }));
    EXPECT_TRUE(window.pumpUntil([&] {
        return !window.mouseMessages.empty() && window.mouseMessages.back() == WM_LBUTTONUP;
    }));
}

// Shift goes down behind the text: the text's capitals still get a Shift of their own, and none
// of its letters comes shifted.
TEST_F(SendInputSinkTest, ALongTextArrivesCompleteAndInOrder) {
    SendInputSink sink(loop);
    const std::u16string text = longText();
    ASSERT_FALSE(SendKeys(sink, text));
    sink.key(VK_SHIFT, true);
    window.pumpUntil([&] { return window.text().size() >= text.size(); }, kLongTextTime);
    EXPECT_TRUE(sameText(window.text(), text));
    EXPECT_TRUE(window.pumpUntil([] { return GetKeyState(VK_SHIFT) < 0; }));
    sink.key(VK_SHIFT, false);
    EXPECT_TRUE(window.pumpUntil([] { return GetKeyState(VK_SHIFT) >= 0; }));
}

// A timer's message is the last the loop hands out: it comes while the text types only if the
// typing leaves the loop to everything else between its turns.
TEST_F(SendInputSinkTest, TheLoopsTimersRunWhileALongTextTypes) {
    size_t typedAtTimer = 0;
    bool timerRan = false;
    const auto timer = loop.createTimer([&] {
        typedAtTimer = window.text().size();
        timerRan = true;
    });
    timer->start(EventLoop::Duration::zero());
    SendInputSink sink(loop);
    const std::u16string text = longText();
    ASSERT_FALSE(SendKeys(sink, text));
    window.pumpUntil([&] { return window.text().size() >= text.size(); }, kLongTextTime);
    ASSERT_TRUE(timerRan);
    EXPECT_LT(typedAtTimer, text.size());
    EXPECT_TRUE(sameText(window.text(), text));
}

TEST_F(SendInputSinkTest, DestroyedMidTextItStopsTypingAndReleasesTheTextsShift) {
    const std::u16string text = longText();
    {
        SendInputSink sink(loop);
        ASSERT_FALSE(SendKeys(sink, u"+(" + text + u")"));
        ASSERT_TRUE(window.pumpUntil([&] { return !window.text().empty(); }));
    }
    // What was sent before still arrives; nothing after it.
    size_t typed = 0;
    while (window.pumpUntil([&] { return window.text().size() > typed; }, std::chrono::seconds(1)))
        typed = window.text().size();
    EXPECT_LT(typed, text.size());
    EXPECT_TRUE(window.pumpUntil([] { return GetKeyState(VK_SHIFT) >= 0; }));
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
}

}  // namespace
}  // namespace velnor
