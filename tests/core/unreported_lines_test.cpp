// A line the open port's driver cannot report (cdc-acm's CTS reads on whatever the far end does)
// never acts, shows why, and is logged at each open; once that port closes it is ordinary again.

#include <gtest/gtest.h>

#include "support/test_form.h"

namespace velnor {
namespace {

using Events = std::vector<std::string>;
using Log = std::vector<std::u16string>;
using Step = std::function<void(test::TestForm&)>;

const std::u16string kWhy = u"CTS is not reported by the cdc_acm driver, so it is ignored.";
const std::u16string kNotice =
    u"COM1 (/dev/ttyS0): the cdc_acm driver does not report CTS; CTS is ignored";

// Ports that read CTS as on and cannot tell it, as cdc-acm's do.
void plugCdcAcm(test::TestForm& window) {
    window.ports.levelsAtOpen = {.cts = true};
    window.ports.reportedAtOpen = {.lines = {.cts = false, .dsr = true, .cd = true, .ri = true},
                                   .driver = u"cdc_acm"};
}

TEST(UnreportedLines, ALineTheDriverCannotReportHoldsNothingAndSaysWhyAtEachOpen) {
    test::TestForm window;
    MainForm& form = window.form;
    plugCdcAcm(window);
    window.newLog();
    window.select(&MainForm::optCom1);
    window.loop.runPosted();
    EXPECT_TRUE(window.input.events.empty()) << "Alt, CTS's default key, is not held";
    EXPECT_EQ(form.boxCTS.fillColor(), kIndicatorNotReported);
    EXPECT_EQ(form.boxCTS.toolTip(), kWhy);
    EXPECT_EQ(form.frameCTS.toolTip(),
              kWhy + u" CTS: every edge acts, normal polarity. Right-click to change.");
    EXPECT_EQ(window.newLog(), (Log{u"SetComPort 1", kNotice}));

    // Its hint follows its settings; the other lines act as ever.
    form.ProcessArguments(u"-ctsPolarity=inverted -ctsDebounce=20");
    window.newLog();
    window.ports.open->setLine(&ModemLevels::cts, comEvCTS, false);
    window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, true);
    window.loop.advance(std::chrono::seconds(1));
    EXPECT_EQ(window.input.events, Events{"key 16 down"});
    EXPECT_EQ(form.boxCTS.fillColor(), kIndicatorNotReported);
    EXPECT_EQ(form.frameCTS.toolTip(),
              kWhy + u" CTS: settle time 20 ms, inverted polarity. Right-click to change.");
    EXPECT_EQ(window.newLog(), Log{}) << "told once, at the open";

    window.ports.open->listener.gone(u"unplugged");
    window.loop.runPosted();
    window.ports.comeBack();
    window.loop.runPosted();
    EXPECT_EQ(window.newLog(),
              (Log{u"COM1 (/dev/ttyS0) is gone: unplugged; the port is released",
                   u"COM1 (/dev/ttyS0) is back; the port is opened again", kNotice}));
    EXPECT_EQ(form.boxCTS.fillColor(), kIndicatorNotReported);
}

TEST(UnreportedLines, HoweverItsPortClosesTheLineIsAnOrdinaryOneAgain) {
    const struct {
        const char* how;
        Step close;
        Events input;
        int32_t colour;  // CTS's indicator
    } cases[] = {
        {"None",
         [](test::TestForm& window) { window.select(&MainForm::optComNone); },
         {},
         kIndicatorOff},
        {"another port, which reports CTS on",
         [](test::TestForm& window) {
             window.ports.reportedAtOpen = {};
             window.select(&MainForm::optCom2);
         },
         {"key 18 down"},
         kIndicatorOn},
        {"unplugged",
         [](test::TestForm& window) {
             window.ports.open->listener.gone(u"unplugged");
             window.loop.runPosted();
         },
         {},
         kIndicatorOff},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        test::TestForm window;
        plugCdcAcm(window);
        window.select(&MainForm::optCom1);
        c.close(window);
        EXPECT_EQ(window.input.events, c.input);
        EXPECT_EQ(window.form.boxCTS.fillColor(), c.colour);
        EXPECT_EQ(window.form.boxCTS.toolTip(), u"");
        EXPECT_EQ(window.form.frameCTS.toolTip(),
                  u"CTS: every edge acts, normal polarity. Right-click to change.");
    }
}

}  // namespace
}  // namespace velnor
