#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/win32/win32_event_loop.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;

TEST(Win32EventLoop, RunsWorkPostedFromOtherThreadsOnItsOwnThreadInOrder) {
    Win32EventLoop loop;
    const DWORD loopThread = GetCurrentThreadId();
    std::vector<int> ran;
    bool allOnLoopThread = true;
    constexpr int kPerThread = 500;
    // Two threads post in turns; each thread's work must run in the order it was posted.
    std::thread first([&] {
        for (int i = 0; i < kPerThread; ++i)
            loop.post([&, i] {
                allOnLoopThread = allOnLoopThread && GetCurrentThreadId() == loopThread;
                ran.push_back(i);
            });
    });
    std::thread second([&] {
        for (int i = 0; i < kPerThread; ++i) loop.post([&, i] { ran.push_back(kPerThread + i); });
    });
    first.join();
    second.join();
    EXPECT_TRUE(ran.empty()) << "work ran before the loop handled its messages";
    ASSERT_TRUE(loop.runUntil([&] { return ran.size() == 2 * kPerThread; }, 5s));
    EXPECT_TRUE(allOnLoopThread);
    std::vector<int> firstOrder, secondOrder;
    for (int value : ran) (value < kPerThread ? firstOrder : secondOrder).push_back(value);
    EXPECT_TRUE(std::is_sorted(firstOrder.begin(), firstOrder.end()));
    EXPECT_TRUE(std::is_sorted(secondOrder.begin(), secondOrder.end()));
}

TEST(Win32EventLoop, WorkPostedByWorkRunsAfterIt) {
    Win32EventLoop loop;
    std::vector<int> ran;
    loop.post([&] {
        loop.post([&] { ran.push_back(3); });
        ran.push_back(1);
    });
    loop.post([&] { ran.push_back(2); });
    ASSERT_TRUE(loop.runUntil([&] { return ran.size() == 3; }, 5s));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(Win32EventLoop, TimerFiresOnceAfterItsDelay) {
    Win32EventLoop loop;
    int fired = 0;
    EventLoop::Duration firedAt{};
    auto timer = loop.createTimer([&] {
        ++fired;
        firedAt = loop.now();
    });
    const EventLoop::Duration started = loop.now();
    timer->start(50ms);
    ASSERT_TRUE(loop.runUntil([&] { return fired > 0; }, 5s));
    EXPECT_GE(firedAt - started, 50ms);
    loop.runUntil([] { return false; }, 150ms);
    EXPECT_EQ(fired, 1) << "a one-shot timer fired again";
}

TEST(Win32EventLoop, StoppedRestartedAndDestroyedTimers) {
    Win32EventLoop loop;
    std::vector<char> fired;
    auto stopped = loop.createTimer([&] { fired.push_back('s'); });
    auto restarted = loop.createTimer([&] { fired.push_back('r'); });
    auto destroyed = loop.createTimer([&] { fired.push_back('d'); });
    auto late = loop.createTimer([&] { fired.push_back('l'); });
    stopped->start(20ms);
    restarted->start(20ms);
    destroyed->start(20ms);
    late->start(40ms);
    stopped->stop();
    destroyed.reset();
    // Past the first deadline, so a tick of the first start may already be queued.
    Sleep(30);
    restarted->start(120ms);
    const EventLoop::Duration restartedAt = loop.now();
    ASSERT_TRUE(loop.runUntil([&] { return fired.size() == 2; }, 5s));
    EXPECT_EQ(fired, (std::vector<char>{'l', 'r'}));
    EXPECT_GE(loop.now() - restartedAt, 120ms);
    loop.runUntil([] { return false; }, 100ms);
    EXPECT_EQ(fired.size(), 2u);
}

}  // namespace
}  // namespace velnor
