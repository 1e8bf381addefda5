// The COM port backend against a port with modem lines: Wine's COM port on a pseudo-terminal
// whose modem requests the preloaded fake driver answers (scripts/test-windows sets it up as
// COM9 and names its state file in VELNOR_FAKE_MODEM).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_modem/fake_modem_state.h"
#include "platform/win32/comm_port.h"
#include "win32_form.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
namespace fm = fake_modem;

constexpr char16_t kPort[] = u"\\\\.\\COM9";

// The far end of the line: sets the inputs and reads the outputs through the state file.
class FarEnd {
  public:
    FarEnd() {
        char path[1024];
        const DWORD length = GetEnvironmentVariableA("VELNOR_FAKE_MODEM", path, sizeof(path));
        if (length == 0 || length >= sizeof(path)) return;
        configured_ = true;
        std::string windowsPath = std::string("Z:") + path;
        for (char& c : windowsPath)
            if (c == '/') c = '\\';
        file_ = CreateFileA(windowsPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) state_ = read();
    }
    ~FarEnd() {
        if (file_ != INVALID_HANDLE_VALUE) {
            setInputs(0);
            state_.unplugged = 0;
            writeInputs();
            CloseHandle(file_);
        }
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // VELNOR_FAKE_MODEM names a state file, and it opened.
    bool configured() const { return configured_; }
    bool present() const { return file_ != INVALID_HANDLE_VALUE; }

    // Each line that changes counts one change, as the UART counts them.
    void setInputs(uint32_t inputs) {
        const uint32_t lines[] = {fm::kCts, fm::kDsr, fm::kCd, fm::kRing};
        for (int line = 0; line < 4; ++line)
            if ((state_.inputs ^ inputs) & lines[line]) ++state_.counts[line];
        state_.inputs = inputs;
        writeInputs();
    }
    void unplug() {
        state_.unplugged = 1;
        writeInputs();
    }
    void plugIn() {
        state_.unplugged = 0;
        writeInputs();
    }
    uint32_t outputs() { return read().outputs; }

    // Waits until the levels have been read twice more. Wine's WaitCommEvent reads them as it
    // begins and then polls them; a change before it begins is not reported (the port's settle
    // time covers that), so a test that wants every change reported lets each wait begin first.
    bool awaitWatch() {
        const uint32_t start = read().levelReads;
        for (int tries = 0; tries < 1000; ++tries) {
            if (read().levelReads - start >= 2) return true;
            Sleep(2);
        }
        return false;
    }

  private:
    fm::State read() {
        fm::State state{};
        OVERLAPPED at{};
        DWORD done = 0;
        ReadFile(file_, &state, sizeof(state), &done, &at);
        return state;
    }
    void writeInputs() {
        OVERLAPPED at{};
        at.Offset = fm::kInputOffset;
        DWORD done = 0;
        WriteFile(file_, reinterpret_cast<const char*>(&state_) + fm::kInputOffset, fm::kInputSize,
                  &done, &at);
    }

    bool configured_ = false;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    fm::State state_{};
};

class RecordingListener final : public PortListener {
  public:
    void lineChanged(int16_t code) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
        changed_.notify_all();
    }
    void notice(const std::u16string&) override {}
    void gone(const std::u16string& reason) override {
        std::lock_guard lock(mutex_);
        gone_ = reason;
        changed_.notify_all();
    }

    // The codes reported so far, once there are `count` of them (or after five seconds).
    std::vector<int16_t> codesOnce(size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 5s, [&] { return codes_.size() >= count; });
        return std::exchange(codes_, {});
    }
    std::optional<std::u16string> goneOnce() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 5s, [&] { return gone_.has_value(); });
        return gone_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int16_t> codes_;
    std::optional<std::u16string> gone_;
};

class ModemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!farEnd.configured()) GTEST_SKIP() << "no fake modem line (VELNOR_FAKE_MODEM)";
        ASSERT_TRUE(farEnd.present()) << "the fake modem's state file does not open";
        OpenResult opened = win32::openPort(kPort, listener);
        ASSERT_TRUE(opened) << narrow(opened.error().reason);
        port = std::move(*opened);
    }

    FarEnd farEnd;
    RecordingListener listener;
    std::unique_ptr<SerialPort> port;
};

TEST_F(ModemTest, OutputsFollowTheCallsAndLevelsFollowTheFarEnd) {
    port->setDtr(false);
    port->setRts(false);
    EXPECT_EQ(farEnd.outputs(), 0u);
    port->setDtr(true);
    EXPECT_EQ(farEnd.outputs(), fm::kDtr);
    port->setRts(true);
    port->setDtr(false);
    EXPECT_EQ(farEnd.outputs(), fm::kRts);

    farEnd.setInputs(fm::kDsr | fm::kCd);
    ModemLevels levels = port->levels();
    EXPECT_TRUE(levels.dsr && levels.cd);
    EXPECT_FALSE(levels.cts || levels.ri);
    farEnd.setInputs(fm::kCts | fm::kRing);
    levels = port->levels();
    EXPECT_TRUE(levels.cts && levels.ri);
    EXPECT_FALSE(levels.dsr || levels.cd);
}

TEST_F(ModemTest, EachLineChangeIsReportedWithItsCode) {
    const struct {
        uint32_t inputs;
        int16_t code;
    } steps[] = {{fm::kCts, comEvCTS}, {0, comEvCTS}, {fm::kDsr, comEvDSR},   {0, comEvDSR},
                 {fm::kCd, comEvCD},   {0, comEvCD},  {fm::kRing, comEvRing}, {0, comEvRing}};
    for (const auto& step : steps) {
        ASSERT_TRUE(farEnd.awaitWatch());
        farEnd.setInputs(step.inputs);
        EXPECT_EQ(listener.codesOnce(1), std::vector<int16_t>{step.code})
            << "inputs " << step.inputs;
    }
}

TEST_F(ModemTest, ClosingEndsTheWatchAtOnceAndReportsNothingMore) {
    ASSERT_TRUE(farEnd.awaitWatch());
    farEnd.setInputs(fm::kDsr);
    ASSERT_EQ(listener.codesOnce(1), std::vector<int16_t>{comEvDSR});
    const auto start = std::chrono::steady_clock::now();
    port.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the watcher did not end";
    farEnd.setInputs(0);
    Sleep(100);
    EXPECT_TRUE(listener.codesOnce(0).empty());
}

TEST_F(ModemTest, UnpluggedDeviceIsReportedGone) {
    farEnd.unplug();
    const std::optional<std::u16string> reason = listener.goneOnce();
    ASSERT_TRUE(reason.has_value());
    EXPECT_FALSE(reason->empty());
    EXPECT_EQ(port->levels().dsr, false);
}

// Knows which keys are down.
class KeySink final : public InputSink {
  public:
    void key(int virtualKey, bool down) override {
        if (down)
            held.insert(virtualKey);
        else
            held.erase(virtualKey);
    }
    void mouseButton(MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}
    std::set<int> held;
};

// The whole road on Windows: the port's watcher thread, the event loop, SerialControl, the
// line's filter and handler, the input sink.
TEST(MainFormOnAModemLine, DsrHoldsItsKeyWhileOnAndDtrReachesTheLine) {
    FarEnd farEnd;
    if (!farEnd.configured()) GTEST_SKIP() << "no fake modem line (VELNOR_FAKE_MODEM)";
    ASSERT_TRUE(farEnd.present());
    SetEnvironmentVariableW(L"VELNOR_COM1", L"\\\\.\\COM9");
    KeySink input;
    Win32Form window(input);
    MainForm& form = window.form;
    form.ProcessArguments(u"-port=com1 -dtr");
    ASSERT_TRUE(form.MSComm1.PortOpen()) << window.log();
    EXPECT_EQ(farEnd.outputs(), fm::kDtr);

    ASSERT_TRUE(farEnd.awaitWatch());
    farEnd.setInputs(fm::kDsr);
    EXPECT_TRUE(window.loop.runUntil([&] { return input.held.contains(VK_SHIFT); }, 5s));
    ASSERT_TRUE(farEnd.awaitWatch());
    farEnd.setInputs(0);
    EXPECT_TRUE(window.loop.runUntil([&] { return input.held.empty(); }, 5s));

    int cancel = 0;
    form.Form_Unload(cancel);
    EXPECT_EQ(farEnd.outputs(), 0u);
    SetEnvironmentVariableW(L"VELNOR_COM1", nullptr);
}

// The unplugged fake still opens, as a port whose driver has not yet let go of it does: the wait
// tries it at once and after each delay, until its modem answers again.
TEST(MainFormOnAModemLine, UnpluggedPortReleasesTheKeyItsLineHoldsAndIsOpenedAgainWhenBack) {
    FarEnd farEnd;
    if (!farEnd.configured()) GTEST_SKIP() << "no fake modem line (VELNOR_FAKE_MODEM)";
    ASSERT_TRUE(farEnd.present());
    farEnd.setInputs(fm::kDsr);
    KeySink input;
    Win32Form window(input);
    MainForm& form = window.form;
    form.SetComPort(9);
    ASSERT_TRUE(input.held.contains(VK_SHIFT)) << "the line on at the open holds its key";

    farEnd.unplug();
    EXPECT_TRUE(window.loop.runUntil([&] { return !form.MSComm1.PortOpen(); }, 5s));
    EXPECT_TRUE(input.held.empty());
    EXPECT_TRUE(form.MSComm1.waitsForLostPort());
    EXPECT_NE(window.log().find("COM9 (\\\\.\\COM9) is gone: "), std::string::npos) << window.log();

    farEnd.plugIn();
    EXPECT_TRUE(window.loop.runUntil([&] { return form.MSComm1.PortOpen(); }, 10s));
    EXPECT_NE(window.log().find("COM9 (\\\\.\\COM9) is back; the port is opened again"),
              std::string::npos)
        << window.log();
    EXPECT_TRUE(input.held.contains(VK_SHIFT)) << "DSR is on again";
    int cancel = 0;
    form.Form_Unload(cancel);
}

}  // namespace
}  // namespace velnor
