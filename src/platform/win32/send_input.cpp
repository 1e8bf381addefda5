#include "platform/win32/send_input.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace velnor {
namespace {

// Keys whose scan code carries the E0 prefix: without the extended flag an application reading
// scan codes takes the arrows and the navigation block for the numeric keypad, and the media and
// browser keys for letters (Play/Pause shares its scan code with G).
bool isExtendedKey(int virtualKey) {
    switch (virtualKey) {
        case VK_INSERT:
        case VK_DELETE:
        case VK_HOME:
        case VK_END:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
        case VK_RCONTROL:
        case VK_RMENU:
        case VK_LWIN:
        case VK_RWIN:
        case VK_APPS:
        case VK_DIVIDE:
        case VK_NUMLOCK:
        case VK_SNAPSHOT:
        case VK_BROWSER_BACK:
        case VK_BROWSER_FORWARD:
        case VK_VOLUME_MUTE:
        case VK_VOLUME_DOWN:
        case VK_VOLUME_UP:
        case VK_MEDIA_NEXT_TRACK:
        case VK_MEDIA_PREV_TRACK:
        case VK_MEDIA_STOP:
        case VK_MEDIA_PLAY_PAUSE:
            return true;
        default:
            return false;
    }
}

INPUT keyInput(int virtualKey, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = WORD(virtualKey);
    input.ki.wScan = WORD(MapVirtualKeyW(UINT(virtualKey), MAPVK_VK_TO_VSC));
    input.ki.dwFlags =
        (down ? 0 : KEYEVENTF_KEYUP) | (isExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

INPUT unicodeInput(char16_t unit, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = unit;
    input.ki.dwFlags = KEYEVENTF_UNICODE | (down ? 0 : KEYEVENTF_KEYUP);
    return input;
}

INPUT mouseInput(MouseButton button, bool down) {
    // Down and up flags of the left, right and middle button, in MouseButton's order.
    static constexpr DWORD flags[][2] = {{MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN},
                                         {MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_RIGHTDOWN},
                                         {MOUSEEVENTF_MIDDLEUP, MOUSEEVENTF_MIDDLEDOWN}};
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags[int(button)][down];
    return input;
}

// One SendInput call, so the events of one character are not interleaved with the user's.
bool sendAll(std::vector<INPUT> inputs) {
    return SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

// The layout of the window that receives the keys, not the one of this program's thread.
HKL focusedLayout() {
    return GetKeyboardLayout(GetWindowThreadProcessId(GetForegroundWindow(), nullptr));
}

// How long one turn of the window's thread may spend on SendInput before the rest waits for the
// next turn. A time rather than a number of calls: one call costs from microseconds to a good part
// of a second (another program's low-level keyboard hook runs inside it, Wine asks its server),
// so only the clock bounds how long the window goes unanswered. 5 ms is well under a frame, and
// long beside the cost of one trip through the loop, so a long text still types at nearly full
// speed.
constexpr EventLoop::Duration kTurn{5};

// Input, painting or a timer of this thread waiting: a WM_TIMER comes after them, while work
// posted again and again would keep them (and WM_QUIT) waiting until the text is done.
bool windowWaits() {
    return HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER)) != 0;
}

}  // namespace

SendInputSink::SendInputSink(EventLoop& loop)
    : loop_(loop),
      timer_(loop.createTimer([this] { drain(); })),
      self_(std::make_shared<SendInputSink*>(this)) {}

SendInputSink::~SendInputSink() {
    stop();
}

void SendInputSink::stop() {
    waiting_.clear();
    timer_->stop();
    for (auto held = heldKeys_.rbegin(); held != heldKeys_.rend(); ++held)
        sendAll({keyInput(*held, false)});
    heldKeys_.clear();
    for (int button = 0; button < int(heldButtons_.size()); ++button)
        if (std::exchange(heldButtons_[button], false))
            sendAll({mouseInput(MouseButton(button), false)});
}

void SendInputSink::key(int virtualKey, bool down) {
    submit({.kind = Stroke::Key, .code = virtualKey, .down = down});
}

void SendInputSink::mouseButton(MouseButton button, bool down) {
    submit({.kind = Stroke::Button, .code = int(button), .down = down});
}

void SendInputSink::typeCharacter(char32_t character) {
    submit({.kind = Stroke::Character, .character = character});
}

void SendInputSink::submit(const Stroke& stroke) {
    if (waiting_.empty() && inTurn())
        send(stroke);
    else
        waiting_.push_back(stroke);
}

bool SendInputSink::inTurn() {
    if (!turnOpen_) {
        turnOpen_ = true;
        turnEnd_ = loop_.now() + kTurn;
        // Runs once the loop has handled what was posted before: the turn is over then.
        loop_.post([self = std::weak_ptr(self_)] {
            if (const auto sink = self.lock()) (*sink)->turnEnded();
        });
        return true;
    }
    return loop_.now() < turnEnd_;
}

void SendInputSink::turnEnded() {
    turnOpen_ = false;
    if (waiting_.empty()) return;
    if (windowWaits())
        timer_->start(EventLoop::Duration::zero());
    else
        drain();
}

void SendInputSink::drain() {
    while (!waiting_.empty() && inTurn()) {
        send(waiting_.front());
        waiting_.pop_front();
    }
}

void SendInputSink::send(const Stroke& stroke) {
    switch (stroke.kind) {
        case Stroke::Key:
            sendKey(stroke.code, stroke.down);
            break;
        case Stroke::Button:
            sendButton(MouseButton(stroke.code), stroke.down);
            break;
        case Stroke::Character:
            sendCharacter(stroke.character);
            break;
    }
}

void SendInputSink::sendKey(int virtualKey, bool down) {
    injected(sendAll({keyInput(virtualKey, down)}));
    if (down)
        heldKeys_.insert(virtualKey);
    else
        heldKeys_.erase(virtualKey);
}

void SendInputSink::sendButton(MouseButton button, bool down) {
    injected(sendAll({mouseInput(button, down)}));
    heldButtons_[int(button)] = down;
}

void SendInputSink::sendCharacter(char32_t character) {
    std::vector<INPUT> inputs;
    const SHORT layoutKey =
        character <= 0xFFFF ? VkKeyScanExW(WCHAR(character), focusedLayout()) : SHORT(-1);
    const int shiftState = HIBYTE(layoutKey);
    // -1: not on the layout; states beyond Shift, Ctrl and Alt (Hankaku, the reserved bits) are
    // not ours to press.
    if (layoutKey != -1 && (shiftState & ~7) == 0) {
        static constexpr std::pair<int, int> modifiers[] = {
            {1, VK_SHIFT}, {2, VK_CONTROL}, {4, VK_MENU}};
        std::vector<int> added;
        for (const auto& [bit, modifier] : modifiers)
            if ((shiftState & bit) && !heldKeys_.contains(modifier)) added.push_back(modifier);
        for (int modifier : added) inputs.push_back(keyInput(modifier, true));
        inputs.push_back(keyInput(LOBYTE(layoutKey), true));
        inputs.push_back(keyInput(LOBYTE(layoutKey), false));
        for (auto modifier = added.rbegin(); modifier != added.rend(); ++modifier)
            inputs.push_back(keyInput(*modifier, false));
    } else {
        std::u16string units;
        if (character > 0xFFFF) {
            units = {char16_t(0xD800 + ((character - 0x10000) >> 10)),
                     char16_t(0xDC00 + ((character - 0x10000) & 0x3FF))};
        } else {
            units = {char16_t(character)};
        }
        for (char16_t unit : units) inputs.push_back(unicodeInput(unit, true));
        for (char16_t unit : units) inputs.push_back(unicodeInput(unit, false));
    }
    injected(sendAll(std::move(inputs)));
}

void SendInputSink::injected(bool all) {
    if (all) {
        injectionWorked();
        return;
    }
    // SendInput says nothing more: the usual cause is a focused window of a program running
    // with higher rights (UIPI) or a locked desktop.
    injectionFailed(
        u"SendInput cannot inject input (a program running as administrator may have the focus, or "
        u"the desktop is locked); key and mouse events are lost");
}

}  // namespace velnor
