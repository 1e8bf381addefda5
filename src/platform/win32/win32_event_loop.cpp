#include "platform/win32/win32_event_loop.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace velnor {
namespace {

constexpr UINT kRunPosted = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VelnorEventLoop";
// How often runUntil asks again when no message comes: `done` may change without one.
constexpr EventLoop::Duration kLookAgain{10};

void registerWindowClass(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) throw std::runtime_error("the event loop's window class cannot be registered");
}

}  // namespace

// One-shot on a timer of the loop's window. A WM_TIMER already queued when the timer is stopped
// or started again is recognised by the deadline and ignored.
class Win32EventLoop::WindowTimer final : public EventLoop::Timer {
  public:
    WindowTimer(Win32EventLoop& loop, UINT_PTR id, std::function<void()> action)
        : loop_(loop), id_(id), action_(std::move(action)) {
        loop_.timers_[id_] = this;
    }
    ~WindowTimer() override {
        stop();
        loop_.timers_.erase(id_);
    }

    void start(Duration delay) override {
        deadline_ = loop_.now() + delay;
        arm(delay);
    }
    void stop() override {
        if (!deadline_) return;
        deadline_.reset();
        KillTimer(loop_.window_, id_);
    }

    void elapsed() {
        if (!deadline_) return;
        const Duration left = *deadline_ - loop_.now();
        if (left > Duration::zero()) return arm(left);  // a tick of an earlier start
        stop();
        action_();
    }

  private:
    void arm(Duration delay) {
        SetTimer(loop_.window_, id_, UINT(std::max<Duration::rep>(delay.count(), 0)), nullptr);
    }

    Win32EventLoop& loop_;
    const UINT_PTR id_;
    std::function<void()> action_;
    std::optional<Duration> deadline_;
};

Win32EventLoop::Win32EventLoop() {
    registerWindowClass(&Win32EventLoop::procedure);
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!window_) throw std::runtime_error("the event loop's window cannot be created");
    SetWindowLongPtrW(window_, GWLP_USERDATA, LONG_PTR(this));
}

Win32EventLoop::~Win32EventLoop() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void Win32EventLoop::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
    // One wake-up message at a time, however much is queued: the thread's message queue is
    // bounded. Should it be full, the work waits here for the next post's wake-up.
    if (!std::exchange(wakePending_, true) && !PostMessageW(window_, kRunPosted, 0, 0))
        wakePending_ = false;
}

EventLoop::Duration Win32EventLoop::now() const {
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

std::unique_ptr<EventLoop::Timer> Win32EventLoop::createTimer(std::function<void()> action) {
    return std::make_unique<WindowTimer>(*this, nextTimerId_++, std::move(action));
}

bool Win32EventLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    const Duration end = now() + timeout;
    while (!done()) {
        const Duration left = end - now();
        if (left <= Duration::zero()) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min(left, kLookAgain).count()),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

// Runs what was queued when the wake-up came; work posted meanwhile brings its own wake-up.
void Win32EventLoop::runPosted() {
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(mutex_);
        work.swap(posted_);
        wakePending_ = false;
    }
    for (auto& item : work) item();
}

void Win32EventLoop::timerElapsed(UINT_PTR id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        KillTimer(window_, id);  // its timer is gone
        return;
    }
    found->second->elapsed();
}

LRESULT CALLBACK Win32EventLoop::procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (loop && message == kRunPosted) {
        loop->runPosted();
        return 0;
    }
    if (loop && message == WM_TIMER) {
        loop->timerElapsed(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velnor
