#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "core/event_loop.h"

namespace velnor {

// The window's thread as an EventLoop: work posted from any thread and the timers run from the
// message loop of the thread that created this object, through a message-only window of its own.
// Any message loop on that thread (GetMessage and DispatchMessage) serves it.
class Win32EventLoop final : public EventLoop {
  public:
    Win32EventLoop();
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;
    // Work still queued is dropped; timers must be destroyed first.
    ~Win32EventLoop() override;

    void post(std::function<void()> work) override;
    Duration now() const override;
    std::unique_ptr<Timer> createTimer(std::function<void()> action) override;

    // Handles the thread's messages until `done` holds or `timeout` has passed; returns `done`'s
    // last answer, asked after each batch of messages and at least every 10 ms. For a thread
    // that has no message loop of its own yet.
    bool runUntil(const std::function<bool()>& done, Duration timeout);

  private:
    class WindowTimer;
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void runPosted();
    void timerElapsed(UINT_PTR id);

    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    HWND window_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;  // guarded by mutex_
    bool wakePending_ = false;                  // guarded by mutex_
    // Timers by their id; only the loop's thread touches these.
    std::map<UINT_PTR, WindowTimer*> timers_;
    UINT_PTR nextTimerId_ = 1;
};

}  // namespace velnor
