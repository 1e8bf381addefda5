// A bouncing switch on the POSIX backend, over the fake modem driver of the tests (waiting,
// cdc-acm-like and polled): 30 presses of DSR, each bouncing on the way down and on the way up,
// DSR in mode "SendKeys" typing one character. Counts the presses that typed (should be 30), the
// presses after which the line stayed on in the program once released and quiet (should be 0),
// and the time from a press's first edge to its character.
//
// Arguments: driver mode (0 waiting, 1 cdc-acm-like, 2 polled), bounce (0: 2 to 5 ms, else that
// many ms), settle time of DSR in ms (passed as -dsrDebounce=).
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "platform/linux/synthetic_input.h"
#include "samples.h"
#include "support/fake_modem_driver.h"
#include "support/linux_form.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPresses = 30;
constexpr auto kHold = 80ms;    // the switch held down, after its bounce
constexpr auto kQuiet = 200ms;  // released and still, before the program is looked at

// Counts typed characters and stamps the first after each mark.
class CountingSink final : public velnor::InputSink {
  public:
    void key(int, bool) override {}
    void mouseButton(velnor::MouseButton, bool) override {}
    void typeCharacter(char32_t) override {
        ++typed;
        Clock::rep none = 0;
        firstTyped.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
    }

    std::atomic<int> typed{0};
    std::atomic<Clock::rep> firstTyped{0};
};

// Sets the line to `on` through a bounce of `length`: contacts that open and close at random
// moments a fraction of a millisecond to a millisecond and a half apart, ending at `on`.
void bounce(velnor::FakeModemDriver& modem, bool on, Clock::duration length, std::mt19937& random) {
    std::uniform_int_distribution<int> gap(200, 1500);  // us
    const Clock::time_point end = Clock::now() + length;
    bool level = on;
    modem.setInputs(on ? TIOCM_DSR : 0);
    while (Clock::now() + 200us < end) {
        std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
        level = !level;
        modem.setInputs(level ? TIOCM_DSR : 0);
    }
    std::this_thread::sleep_until(end);
    modem.setInputs(on ? TIOCM_DSR : 0);
}

template <class Action>
void onWindowThread(QObject* window, Action action) {
    QMetaObject::invokeMethod(window, action, Qt::BlockingQueuedConnection);
}

void BM_BouncingSwitch(benchmark::State& state) {
    const auto mode = static_cast<velnor::FakeModemDriver::Waiting>(state.range(0));
    const auto bounceLength = state.range(1);
    const int settle = static_cast<int>(state.range(2));
    velnor::PseudoTerminal terminal;
    velnor::FakeModemDriver modem(terminal.path(), mode);
    qputenv("VELNOR_COM1", terminal.path().toLocal8Bit());
    CountingSink sink;
    velnor::LinuxForm form(sink, QStringLiteral("-port=com1 -dsrMode=sendKeys -dsrSendKeys=x "
                                                "-dsrDebounce=%1")
                                     .arg(settle));
    form.Form_Load();
    QElapsedTimer started;
    started.start();
    while (started.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    int typed = 0;
    int stuck = 0;
    velnor::bench::Samples firstEdge;  // to the press's character
    std::mt19937 random(1);
    std::uniform_int_distribution<int> shortBounce(2000, 5000);  // us
    for (auto _ : state) {
        QEventLoop loop;
        std::thread presser([&] {
            for (int press = 0; press < kPresses; ++press) {
                const Clock::duration length =
                    bounceLength == 0
                        ? Clock::duration(std::chrono::microseconds(shortBounce(random)))
                        : Clock::duration(std::chrono::milliseconds(bounceLength));
                const int typedBefore = sink.typed;
                sink.firstTyped = 0;
                const Clock::time_point pressed = Clock::now();
                bounce(modem, true, length, random);
                std::this_thread::sleep_for(kHold);
                bounce(modem, false, length, random);
                std::this_thread::sleep_for(kQuiet);
                if (const Clock::rep first = sink.firstTyped; first != 0)
                    firstEdge.add(std::chrono::duration<double, std::micro>(
                                      Clock::duration(first) - pressed.time_since_epoch())
                                      .count());
                typed += sink.typed > typedBefore ? 1 : 0;
                onWindowThread(&loop, [&] {
                    if (!form.dsrHandler.flag()) return;
                    ++stuck;
                    form.dsrHandler.SignalOff();  // the next press starts from a line seen off
                });
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        presser.join();
    }
    state.counters["typed_per_30"] = typed;
    state.counters["characters"] = sink.typed.load();
    state.counters["stuck_per_30"] = stuck;
    firstEdge.report(state, "first_edge_");
}
BENCHMARK(BM_BouncingSwitch)
    ->ArgNames({"mode", "bounce", "settle"})
    ->ArgsProduct({{0, 1, 2}, {0, 12, 20}, {0, 30}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Apply(velnor::bench::withSpread);

}  // namespace
