// "Check wiring": what followed DTR and RTS told in a dialog and the log, nothing typed, and the
// outputs and the lines' handlers as they were afterwards.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/loopback/loopback_port.h"
#include "support/menu_text.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// The loopback plug, as a driver that cannot report CTS would show it.
class LoopbackWithoutCts final : public SerialPort {
  public:
    explicit LoopbackWithoutCts(PortListener& listener) : plug_(listener) {}
    void setDtr(bool on) override { plug_.setDtr(on); }
    void setRts(bool on) override { plug_.setRts(on); }
    ModemLevels levels() override { return plug_.levels(); }
    std::chrono::milliseconds settleTime() const override { return plug_.settleTime(); }
    ReportedLines reportedLines() const override {
        return {.lines = {.cts = false, .dsr = true, .cd = true, .ri = true}, .driver = u"cdc_acm"};
    }

  private:
    LoopbackPort plug_;
};

template <class Port>
PortBackend loopbackBackend() {
    return {.deviceOf = [](int) { return std::u16string(u"loopback"); },
            .open = [](const std::u16string&, PortListener& listener) -> OpenResult {
                return std::make_unique<Port>(listener);
            }};
}

void chooseCheckWiring(MainForm& form) {
    Menu menu = form.menuOf(form.Port);
    MenuEntry* entry = test::findEntry(menu, {u"Check wiring"});
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->enabled);
    entry->chosen({});
}

TEST(WiringCheck, TellsWhatFollowedEachOutputTypesNothingAndLeavesEverythingAsItWas) {
    const std::u16string kLoopback = u"COM1 (loopback) wiring: DTR → DSR, CD; RTS → CTS, RI";
    const struct {
        const char* name;
        bool dtr, rts;
        std::u16string_view arguments;  // settle times
        PortBackend backend;
        std::u16string told;
    } rows[] = {
        {"loopback, both off", false, false, u"", loopbackBackend<LoopbackPort>(), kLoopback},
        {"loopback, DTR on", true, false, u"", loopbackBackend<LoopbackPort>(), kLoopback},
        {"loopback, both on", true, true, u"", loopbackBackend<LoopbackPort>(), kLoopback},
        // A settle time still running from the click before the check must not act on what the
        // check drives.
        {"loopback, both on, debounced", true, true, u"-dsrDebounce=50 -cdDebounce=50",
         loopbackBackend<LoopbackPort>(), kLoopback},
        {"loopback, DTR on, debounced", true, false, u"-dsrDebounce=100 -cdDebounce=20",
         loopbackBackend<LoopbackPort>(), kLoopback},
        {"CTS not reported", false, true, u"", loopbackBackend<LoopbackWithoutCts>(),
         u"COM1 (loopback) wiring: DTR → DSR, CD; RTS → RI; CTS not reported by the cdc_acm "
         u"driver"},
        {"nothing wired",
         true,
         false,
         u"",
         {},
         u"COM1 (/dev/ttyS0) wiring: no input line followed DTR or RTS; the adapter may not wire "
         u"them"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::TestForm window;
        MainForm& form = window.form;
        if (row.backend.open) form.MSComm1.setBackend(row.backend);
        form.ProcessArguments(u"-port=com1");
        form.ProcessArguments(row.arguments);
        window.select(row.dtr ? &MainForm::optDTROn : &MainForm::optDTROff);
        window.select(row.rts ? &MainForm::optRTSOn : &MainForm::optRTSOff);
        window.loop.runPosted();
        const ModemLevels before = form.MSComm1.levels();
        const bool ringBefore = form.ringState;
        window.input.events.clear();
        window.newLog();

        ASSERT_NO_FATAL_FAILURE(chooseCheckWiring(form));
        Menu during = form.menuOf(form.Port);
        EXPECT_FALSE(test::findEntry(during, {u"Check wiring"})->enabled) << "one at a time";
        window.loop.advance(3s);

        EXPECT_EQ(window.messageBoxes, std::vector<std::u16string>{row.told});
        EXPECT_EQ(window.newLog(), std::vector<std::u16string>{row.told});
        EXPECT_EQ(window.input.events, Events{});
        EXPECT_EQ(form.MSComm1.DTREnable(), row.dtr);
        EXPECT_EQ(form.MSComm1.RTSEnable(), row.rts);
        const ModemLevels after = form.MSComm1.levels();
        EXPECT_TRUE(after.dsr == before.dsr && after.cts == before.cts && after.cd == before.cd &&
                    after.ri == before.ri);
        EXPECT_EQ(form.ringState, ringBefore);

        // The handlers are in step with the port: DTR's next change acts on DSR and CD.
        if (!row.backend.open) continue;
        window.select(row.dtr ? &MainForm::optDTROff : &MainForm::optDTROn);
        window.loop.advance(1s);
        EXPECT_EQ(window.input.events, row.dtr ? (Events{"key 16 up", "key 17 up"})
                                               : (Events{"key 16 down", "key 17 down"}));
    }
}

// Choosing another port, or an output line, ends a check under way: the outputs are put back
// first, no dialog comes, and a key held for a line is released once, by the close.
TEST(WiringCheck, TheUsersOwnChoiceStopsTheCheck) {
    test::TestForm window;
    MainForm& form = window.form;
    form.MSComm1.setBackend(loopbackBackend<LoopbackPort>());
    form.ProcessArguments(u"-port=com1 -dtr");
    window.loop.runPosted();
    window.input.events.clear();
    window.newLog();

    ASSERT_NO_FATAL_FAILURE(chooseCheckWiring(form));
    window.loop.advance(350ms);
    window.select(&MainForm::optComNone);
    window.loop.advance(3s);

    EXPECT_EQ(window.messageBoxes, std::vector<std::u16string>{});
    EXPECT_EQ(window.newLog(), (std::vector<std::u16string>{u"SetComPort none",
                                                            u"COM1 (loopback) wiring check stopped",
                                                            u"optDTROff_Click"}));
    EXPECT_EQ(window.input.events, (Events{"key 16 up", "key 17 up"}));
    EXPECT_FALSE(form.MSComm1.PortOpen());
}

}  // namespace
}  // namespace velnor
