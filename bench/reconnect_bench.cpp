// A device that comes and goes many times a second while COM1 waits for it: what the program's
// threads spend, per second of flapping, and how soon the port is open once the device stays.
//
// The program's Linux backends with the window's core on this thread's Qt event loop: the POSIX
// port over the fake modem driver of the tests, COM1 a link in a folder of the bench's own to a
// pseudo-terminal (as /dev/serial/by-id/... links to an adapter), and the wait for the device
// (inotify). Each going makes the driver fail every request with EIO, then removes the link, as a
// real unplug hangs the tty up before udev removes its node; each coming links a fresh
// pseudo-terminal. A thread of the bench's own plays the device; its own time (making the
// pseudo-terminals and links) is left out of the program's.
//
// Arguments: comings and goings per second; seconds of flapping.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "core/input_sink.h"
#include "samples.h"
#include "support/fake_modem_driver.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class DroppingSink final : public velnor::InputSink {
  public:
    void key(int, bool) override {}
    void mouseButton(velnor::MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}
};

double cpuMillis(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Runs the event loop, waiting for events, for `time`.
void runFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds, looking every millisecond; false if it does not within
// 20 s.
bool runUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    look.start(1);
    QTimer::singleShot(20s, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// One plugging in. The last few are kept: the program may still hold one it has not yet heard
// is gone.
struct Adapter {
    velnor::PseudoTerminal terminal;
    velnor::FakeModemDriver modem{terminal.path()};
};

class Device {
  public:
    explicit Device(fs::path link) : link_(std::move(link)) {}

    void plugIn() {
        adapters_.push_back(std::make_unique<Adapter>());
        adapters_.back()->modem.setInputs(TIOCM_DSR);
        if (adapters_.size() > 16) adapters_.pop_front();
        const fs::path staged = link_.string() + ".new";
        fs::create_symlink(adapters_.back()->terminal.path().toStdString(), staged);
        fs::rename(staged, link_);
    }
    void unplug() {
        adapters_.back()->modem.unplug();
        fs::remove(link_);
    }

  private:
    fs::path link_;
    std::deque<std::unique_ptr<Adapter>> adapters_;
};

void BM_FlappingDevice(benchmark::State& state) {
    const auto rate = state.range(0);
    const auto seconds = state.range(1);
    const auto half = std::chrono::microseconds(500'000 / rate);
    const velnor::test::TempDir temp;
    const fs::path link = temp.path() / "usb-pedal";
    qputenv("VELNOR_COM1", link.c_str());
    Device device(link);
    device.plugIn();
    DroppingSink sink;
    velnor::LinuxForm form(sink, "-port=com1");
    form.Form_Load();
    if (!form.MSComm1.PortOpen()) return state.SkipWithError("COM1 does not open");

    double programMsPerS = 0;
    double deviceMsPerS = 0;
    double idleMsPerS = 0;
    double openAfterMs = -1;
    for (auto _ : state) {
        // The same process with the device present and still, as the reference.
        const double idleStart = cpuMillis(CLOCK_PROCESS_CPUTIME_ID);
        runFor(1s);
        idleMsPerS = cpuMillis(CLOCK_PROCESS_CPUTIME_ID) - idleStart;

        double deviceMs = 0;
        const double start = cpuMillis(CLOCK_PROCESS_CPUTIME_ID);
        std::thread flapper([&] {
            const double own = cpuMillis(CLOCK_THREAD_CPUTIME_ID);
            const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
            Clock::time_point next = Clock::now();
            while (Clock::now() < end) {
                device.unplug();
                std::this_thread::sleep_until(next += half);
                device.plugIn();
                std::this_thread::sleep_until(next += half);
            }
            deviceMs = cpuMillis(CLOCK_THREAD_CPUTIME_ID) - own;
        });
        runFor(std::chrono::seconds(seconds));
        flapper.join();
        const double total = cpuMillis(CLOCK_PROCESS_CPUTIME_ID) - start;
        programMsPerS = (total - deviceMs) / static_cast<double>(seconds);
        deviceMsPerS = deviceMs / static_cast<double>(seconds);

        // The device stays: the port is open on it within the wait's longest delay.
        QElapsedTimer staying;
        staying.start();
        const bool opened =
            runUntil([&] { return form.MSComm1.PortOpen() && form.dsrHandler.flag(); });
        openAfterMs = opened ? static_cast<double>(staying.elapsed()) : -1;
    }
    const QStringList log = velnor::logMessages(form);
    state.counters["program_cpu_ms_per_s"] = programMsPerS;
    state.counters["idle_cpu_ms_per_s"] = idleMsPerS;
    state.counters["device_thread_cpu_ms_per_s"] = deviceMsPerS;
    state.counters["losses"] = static_cast<double>(log.filter(" is gone: ").size());
    state.counters["reopens"] = static_cast<double>(log.filter(" is back; ").size());
    state.counters["failures_told"] =
        static_cast<double>(log.filter(" cannot be opened yet: ").size());
    state.counters["open_after_ms"] = openAfterMs;
    qunsetenv("VELNOR_COM1");
}
BENCHMARK(BM_FlappingDevice)
    ->ArgNames({"per_s", "seconds"})
    ->ArgsProduct({{10, 100}, {10}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Apply(velnor::bench::withSpread);

}  // namespace
