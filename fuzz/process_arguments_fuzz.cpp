// ProcessArguments on a fresh window whose four ports are the loopback port, with input dropped:
// whatever the arguments, each is logged in order, the log stays bounded, and the buttons, the
// port and the indicators agree once the line changes the arguments caused have been handled,
// settle times and polarity taken into account. The core alone: time stands still, so a look that
// a settle time puts off stays pending.
#include <algorithm>
#include <deque>
#include <mutex>
#include <string>

#include "core/input_sink.h"
#include "core/main_form.h"
#include "core/split_text.h"
#include "fuzz_support.h"
#include "platform/loopback/loopback_port.h"

using velnor::fuzz::require;

namespace {

// The window's thread as a queue that the run drains by hand; timers never come due.
class QueuedLoop final : public velnor::EventLoop {
  public:
    void post(std::function<void()> work) override {
        const std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    Duration now() const override { return Duration::zero(); }
    std::unique_ptr<Timer> createTimer(std::function<void()>) override {
        return std::make_unique<StillTimer>();
    }

    // Runs the work posted so far and what that work posts.
    void drain() {
        for (;;) {
            std::function<void()> next;
            {
                const std::lock_guard lock(mutex_);
                if (work_.empty()) return;
                next = std::move(work_.front());
                work_.pop_front();
            }
            next();
        }
    }

  private:
    struct StillTimer final : Timer {
        void start(Duration) override {}
        void stop() override {}
    };
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
};

// Every port is the loopback port.
velnor::PortBackend loopbackPorts() {
    return {
        .deviceOf = [](int) -> std::u16string { return u"loopback"; },
        .open = [](const std::u16string&, velnor::PortListener& listener) -> velnor::OpenResult {
            return std::make_unique<velnor::LoopbackPort>(listener);
        }};
}

// The pieces' "arg" lines stand in the log newest first, each one line with its control characters
// shown; false if one is missing or out of order.
bool argumentsLoggedInOrder(const std::u16string& log, const std::vector<std::u16string>& pieces) {
    size_t at = 0;
    for (size_t i = pieces.size(); i-- > 0;) {
        std::u16string line = u"  arg(";
        for (const char digit : std::to_string(i + 1)) line += static_cast<char16_t>(digit);
        line += u") = " + velnor::visibleControlCharacters(pieces[i]) + u'\n';
        at = log.find(line, at);
        if (at == std::u16string::npos) return false;
        at += line.size();
    }
    return true;
}

// Unless a look at the line is still to come (a settle time has not ended), the flag is the
// line's level after polarity, and nothing is on while no port is open.
void requireLineFollowed(const velnor::SignalHandler& handler, const velnor::LineFilter& filter,
                         bool portOpen, bool level) {
    require(handler.box()->fillColor() ==
                (handler.flag() ? velnor::kIndicatorOn : velnor::kIndicatorOff),
            "an indicator shows its handler's flag");
    if (!portOpen)
        require(!handler.flag(), "no line is on while no port is open");
    else if (!filter.lookPending())
        require(handler.flag() == (level != filter.inverted()),
                "a handled line's flag is its level");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static velnor::NullInputSink input;
    QueuedLoop loop;
    const std::u16string arguments = velnor::fuzz::utf16(data, size);
    velnor::MainForm form({.input = input,
                           .loop = loop,
                           .ports = loopbackPorts(),
                           .timeText = [] { return std::u16string(u"12:00:00"); },
                           .messageBox = {}},
                          u"");
    form.Form_Load();
    form.ProcessArguments(arguments);
    // The line monitor handles the edges that opening a port and switching DTR and RTS made.
    loop.drain();

    const std::u16string& log = form.EventLog.caption();
    require(std::ranges::count(log, u'\n') < 1000, "the log keeps at most 1000 lines");
    const auto pieces = velnor::SplitText(arguments, u" ");
    // Each argument logs its own line and at most three more, so 200 of them fit the log whole.
    if (pieces && pieces->size() <= 200 && arguments.size() <= form.kMaxArgumentsLength)
        require(argumentsLoggedInOrder(log, *pieces), "every argument is logged, in order");

    const auto& port = form.MSComm1;
    require(port.PortOpen() == !form.optComNone.value(), "a port is open iff one is chosen");
    require(form.optDTROn.value() == port.DTREnable(), "the DTR buttons tell the truth");
    require(form.optRTSOn.value() == port.RTSEnable(), "the RTS buttons tell the truth");
    for (const velnor::SignalLine& line : form.lines)
        requireLineFollowed(line.handler(), line.filter(), port.PortOpen(),
                            port.levels().*line.row().level);

    int cancel = 0;
    form.Form_Unload(cancel);
    return 0;
}
