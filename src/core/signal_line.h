#pragma once

// One watched input line (DSR, CTS or CD) as one unit: its controls, the handler that acts on
// them and the filter that follows the port's line for it, tied together once, when the window
// is built.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/layout.h"
#include "core/line_filter.h"
#include "core/lines.h"
#include "core/menu.h"
#include "core/signal_handler.h"

namespace velnor {

class EventLoop;
class InputSink;
class SerialControl;

class SignalLine {
  public:
    // Everything the line needs of the window, given once.
    struct Wiring {
        FormControls& controls;
        SerialControl& port;
        EventLoop& loop;
        InputSink& input;
        std::function<void(const std::u16string&)> messageBox;
        // Tells whoever listens that the line went on or off for its handler.
        std::function<void(std::u16string_view line, bool on)> announce;
        // Adds a line to the event log.
        std::function<void(std::u16string_view message)> log;
    };

    SignalLine(const InputLine& row, Wiring wiring);
    SignalLine(const SignalLine&) = delete;
    SignalLine& operator=(const SignalLine&) = delete;

    const InputLine& row() const { return row_; }
    std::u16string_view name() const { return row_.name; }
    SignalHandler& handler() { return handler_; }
    const SignalHandler& handler() const { return handler_; }
    const LineFilter& filter() const { return filter_; }
    LineFilter& filter() { return filter_; }
    Frame& frame() const { return controls_.*row_.frame; }

    // What start-up writes into the line's controls: the mode "Emulate a key", the key list filled
    // with its default key chosen, and the default texts. The lookup list is filled before the
    // first Generate Keys text is parsed through it.
    void loadDefaults();

    // The settle time of the line's debounce and its polarity, shown in the frame's hint.
    void setSettleTime(LineFilter::Duration settle);
    void setInverted(bool inverted);
    // The same from their words: a whole number of milliseconds up to the longest settle time,
    // "normal" or "inverted". Other words leave the setting as it was and are named in the log.
    void setSettleTime(std::u16string_view milliseconds);
    void setPolarity(std::u16string_view polarity);
    // Logs that `value` is not a `what` of the line: "Unknown DSR mode:  x".
    void complain(std::u16string_view what, std::u16string_view value) const;

    // What the line does beyond its mode, each from its words, as arguments and the menu give
    // them, and back (nothing while it is off). Other words leave it as it was and are named in
    // the log.
    //   repeat: "<delay ms>,<interval ms>", "off" or ""
    //   release: a SendKeys text, "" for none
    //   long press: "<threshold ms>,<SendKeys text>", "off" or ""
    //   latch: "on" or "off"
    //   other key: a brace name ("F17", "MEDIA_PLAY_PAUSE") or "none"
    void setRepeat(std::u16string_view words);
    std::optional<std::u16string> repeat() const;
    void setRelease(std::u16string_view text);
    std::optional<std::u16string> release() const;
    void setLongPress(std::u16string_view words);
    std::optional<std::u16string> longPress() const;
    void setLatch(std::u16string_view words);
    std::optional<std::u16string> latch() const;
    void setOtherKey(std::u16string_view name);
    std::optional<std::u16string> otherKey() const;

    // The menu of the line's frame: its settle time, polarity and what it does beyond its mode.
    Menu menu();

    // The change events of the line's text boxes: the Generate Keys text is parsed at once, and
    // each box shows why its text cannot act as written.
    void txtGenerateKeys_Change();
    void txtSendKeys_Change();

  private:
    void setExtras(LineExtras extras);
    Menu extrasMenu();
    // The key list's selection changed: a chosen entry replaces the other key.
    void keyChosen();
    void showSettings();
    void showReported(bool reported);
    // Why the line is ignored while the open port does not report it.
    std::u16string notReported() const;

    const InputLine& row_;
    FormControls& controls_;
    const SerialControl& port_;
    std::function<void(std::u16string_view line, bool on)> announce_;
    std::function<void(std::u16string_view message)> log_;
    SignalHandler handler_;
    LineFilter filter_;
};

}  // namespace velnor
