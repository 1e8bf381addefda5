#pragma once

#include <array>
#include <deque>
#include <memory>
#include <set>

#include "core/event_loop.h"
#include "core/input_sink.h"

namespace velnor {

// Injects keys, mouse buttons and characters with SendInput into the session's input stream, so
// they reach the focused window. Characters go through the focused window's keyboard layout, with
// the Shift, Ctrl and Alt it asks for; characters the layout lacks are sent as Unicode packets.
//
// Events go out at once until one turn of `loop` has spent its share of time on them; every event
// after that waits, in order, and goes out in batches from `loop` (which must outlive the sink), so
// that a long text types in the background while the window, DDE and a second start are answered.
// Destroying the sink, or stop(), drops what still waits and releases every key and button it
// holds.
class SendInputSink final : public InputSink {
  public:
    explicit SendInputSink(EventLoop& loop);
    SendInputSink(const SendInputSink&) = delete;
    SendInputSink& operator=(const SendInputSink&) = delete;
    ~SendInputSink() override;

    void key(int virtualKey, bool down) override;
    void mouseButton(MouseButton button, bool down) override;
    void typeCharacter(char32_t character) override;
    bool sending() const override { return !waiting_.empty(); }

    // Stops the typing: the events still waiting are dropped and what is held is released. For a
    // program that may be ended before it destroys the sink (the session ends).
    void stop();

  private:
    // One event as it was asked for.
    struct Stroke {
        enum Kind { Key, Button, Character } kind = Key;
        int code = 0;  // Key: virtual-key code; Button: MouseButton
        bool down = false;
        char32_t character = 0;
    };

    // Sends at once while nothing waits and the turn's time lasts, else queues behind the rest.
    void submit(const Stroke& stroke);
    // Whether the current turn has time left; opens a turn when none is open.
    bool inTurn();
    // The loop has come round: the waiting events go on, after whatever else the window has to do.
    void turnEnded();
    // Sends waiting events until none is left or the turn's time is spent.
    void drain();
    void send(const Stroke& stroke);
    void sendKey(int virtualKey, bool down);
    void sendButton(MouseButton button, bool down);
    void sendCharacter(char32_t character);
    // Tells the problem reporter whether the last SendInput call injected everything.
    void injected(bool all);

    EventLoop& loop_;
    std::unique_ptr<EventLoop::Timer> timer_;  // goes on once the window's own messages are done
    std::shared_ptr<SendInputSink*> self_;     // what posted work finds, unless the sink is gone
    bool turnOpen_ = false;
    EventLoop::Duration turnEnd_{};
    std::deque<Stroke> waiting_;
    // What has been sent down and not up: what the system holds.
    std::set<int> heldKeys_;
    std::array<bool, 3> heldButtons_{};
};

}  // namespace velnor
