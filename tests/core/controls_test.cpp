// The control model: what each kind of control holds, the events it raises inside its setters,
// and the one notification per changed property that a view hears before any event.

#include "core/controls.h"

#include <gtest/gtest.h>

#include "core/layout.h"
#include "support/recording_observer.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Changes = std::vector<std::u16string>;

// The window's controls with every change and every event written into one journal.
class ControlsTest : public ::testing::Test {
  protected:
    ControlsTest() { controls.setObserver(&observer); }

    // Makes `button`'s Click write "<name> Click" into the journal, then run `then`.
    void journalClicks(OptionButton& button, std::function<void()> then = {}) {
        button.Click = [this, &button, then] {
            observer.changes.push_back(button.name() + u" Click");
            if (then) then();
        };
    }
    Changes journal() { return std::exchange(observer.changes, {}); }

    FormControls controls;
    test::RecordingObserver observer;
};

TEST_F(ControlsTest, SelectingAButtonClearsItsFrameThenClicksBeforeReturning) {
    for (OptionButton* button : controls.Port.optionButtons()) journalClicks(*button);
    journalClicks(controls.optDTROff);
    bool clearedAtClick = false;
    controls.optCom2.Click = [&] {
        observer.changes.push_back(u"optCom2 Click");
        clearedAtClick = controls.optCom2.value() && !controls.optComNone.value();
    };
    controls.optCom2.setValue(true);
    EXPECT_EQ(journal(), (Changes{u"optComNone Value", u"optCom2 Value", u"optCom2 Click"}));
    EXPECT_TRUE(clearedAtClick) << "the click sees the new selection";
    EXPECT_TRUE(controls.optDTROff.value()) << "other frames keep their selection";

    controls.optCom4.setValue(true);
    EXPECT_EQ(journal(), (Changes{u"optCom2 Value", u"optCom4 Value", u"optCom4 Click"}));
    for (const OptionButton* button : controls.Port.optionButtons())
        EXPECT_EQ(button->value(), button == &controls.optCom4)
            << testing::PrintToString(button->name());
}

TEST_F(ControlsTest, SelectingTheSelectedButtonOrClearingOneRaisesNoClick) {
    journalClicks(controls.optComNone);
    journalClicks(controls.optCom1);
    controls.optComNone.setValue(true);
    EXPECT_EQ(journal(), Changes{});
    controls.optComNone.setValue(false);
    EXPECT_EQ(journal(), Changes{u"optComNone Value"});
    EXPECT_FALSE(controls.optComNone.value());
    controls.optCom1.setValue(false);
    EXPECT_EQ(journal(), Changes{}) << "a cleared button stays cleared without a word";
    controls.optComNone.setValue(true);
    EXPECT_EQ(journal(), (Changes{u"optComNone Value", u"optComNone Click"}));
}

// A click may select another button of its frame, as "On" does with no port open: that button's
// click runs inside the first one's, and the frame ends with the second selected.
TEST_F(ControlsTest, AClickThatSelectsASiblingRunsItsClickInside) {
    journalClicks(controls.optDTROff);
    journalClicks(controls.optDTROn, [this] {
        controls.optDTROff.setValue(true);
        observer.changes.push_back(u"optDTROn Click done");
    });
    controls.optDTROn.setValue(true);
    EXPECT_EQ(journal(),
              (Changes{u"optDTROff Value", u"optDTROn Value", u"optDTROn Click", u"optDTROn Value",
                       u"optDTROff Value", u"optDTROff Click", u"optDTROn Click done"}));
    EXPECT_TRUE(controls.optDTROff.value());
    EXPECT_FALSE(controls.optDTROn.value());
}

TEST(OptionButton, WithoutAFrameItStandsAlone) {
    OptionButton a, b;
    int clicks = 0;
    a.Click = [&clicks] { ++clicks; };
    a.setValue(true);
    b.setValue(true);
    EXPECT_TRUE(a.value() && b.value());
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, SettingATextRaisesChangeUnlessItStaysTheSame) {
    TextBox& box = controls.txtDSRSendKeys;
    std::u16string seen;
    box.Change = [&] {
        observer.changes.push_back(u"Change");
        seen = box.text();
    };
    box.setText(u"%{TAB}");
    EXPECT_EQ(journal(), (Changes{u"txtDSRSendKeys Text", u"Change"}));
    EXPECT_EQ(seen, u"%{TAB}");
    box.setText(u"%{TAB}");
    EXPECT_EQ(journal(), Changes{});
    box.setText(u"");
    EXPECT_EQ(journal(), (Changes{u"txtDSRSendKeys Text", u"Change"}));

    box.setProblem(u"why");
    box.setProblem(u"why");
    EXPECT_EQ(box.problem(), u"why");
    box.setProblem(u"");
    EXPECT_EQ(journal(), (Changes{u"txtDSRSendKeys Problem", u"txtDSRSendKeys Problem"}));
}

TEST_F(ControlsTest, AListHoldsEntriesAndASelectionThatItsTextFollows) {
    DropDownList& list = controls.cboDSREmulateKey;
    ASSERT_EQ(list.text(), u"DSREmulateKey");
    list.addItem(u"vbKeyA", 65);
    list.addItem(u"vbKeyMenu (alt)", 18);
    list.addItem(u"vbKeyA", 97);
    EXPECT_EQ(journal(), Changes(3, u"cboDSREmulateKey Entries"));
    EXPECT_EQ(list.listIndex(), -1) << "adding selects nothing";
    EXPECT_EQ(list.text(), u"DSREmulateKey");
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.itemData(1), 18);

    const struct {
        const char* step;
        std::function<void()> act;
        int listIndex;
        std::u16string text;
        Changes changes;
    } steps[] = {
        {"select an entry",
         [&] { list.setListIndex(1); },
         1,
         u"vbKeyMenu (alt)",
         {u"cboDSREmulateKey Selection", u"cboDSREmulateKey Text"}},
        {"select it again", [&] { list.setListIndex(1); }, 1, u"vbKeyMenu (alt)", {}},
        {"type its text", [&] { list.setText(u"vbKeyMenu (alt)"); }, 1, u"vbKeyMenu (alt)", {}},
        {"edit the text away",
         [&] { list.setText(u"vbKeyMenu"); },
         -1,
         u"vbKeyMenu",
         {u"cboDSREmulateKey Text", u"cboDSREmulateKey Selection"}},
        {"select none", [&] { list.setListIndex(-1); }, -1, u"vbKeyMenu", {}},
        {"type an entry's text",
         [&] { list.setText(u"vbKeyA"); },
         -1,
         u"vbKeyA",
         {u"cboDSREmulateKey Text"}},
        {"select the entry shown",
         [&] { list.setListIndex(2); },
         2,
         u"vbKeyA",
         {u"cboDSREmulateKey Selection"}},
        {"select an entry of the same text",
         [&] { list.setListIndex(0); },
         0,
         u"vbKeyA",
         {u"cboDSREmulateKey Selection"}},
        {"select past the end",
         [&] { list.setListIndex(3); },
         -1,
         u"vbKeyA",
         {u"cboDSREmulateKey Selection"}},
        {"select below none", [&] { list.setListIndex(-2); }, -1, u"vbKeyA", {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        EXPECT_EQ(list.listIndex(), step.listIndex);
        EXPECT_EQ(list.text(), step.text);
        EXPECT_EQ(journal(), step.changes);
    }
}

TEST_F(ControlsTest, EachStateChangeIsOneNotificationAndNoChangeNone) {
    const struct {
        const char* change;
        std::function<void()> act;
        Changes changes;
    } cases[] = {
        {"caption",
         [&] { controls.RITimeStamp.setCaption(u"A 10:00:00"); },
         {u"RITimeStamp Caption"}},
        {"same caption", [&] { controls.RITimeStamp.setCaption(u"A 10:00:00"); }, {}},
        {"fill colour", [&] { controls.boxRI.setFillColor(kIndicatorOn); }, {u"boxRI FillColor"}},
        {"same fill colour", [&] { controls.boxRI.setFillColor(kIndicatorOn); }, {}},
        {"window state",
         [&] { controls.window.setWindowState(WindowState::Minimized); },
         {u"MainForm WindowState"}},
        {"same window state", [&] { controls.window.setWindowState(WindowState::Minimized); }, {}},
        {"tooltip", [&] { controls.frameCD.setToolTip(u"CD: hint"); }, {u"frameCD ToolTip"}},
        {"same tooltip", [&] { controls.frameCD.setToolTip(u"CD: hint"); }, {}},
    };
    for (const auto& c : cases) {
        c.act();
        EXPECT_EQ(journal(), c.changes) << c.change;
    }
    EXPECT_EQ(controls.RITimeStamp.caption(), u"A 10:00:00");
    EXPECT_EQ(controls.boxRI.fillColor(), kIndicatorOn);
    EXPECT_EQ(controls.window.windowState(), WindowState::Minimized);
    EXPECT_EQ(controls.frameCD.toolTip(), u"CD: hint");

    controls.setObserver(nullptr);
    controls.boxRI.setFillColor(kIndicatorOff);
    EXPECT_EQ(journal(), Changes{}) << "nobody listens any more";
    EXPECT_EQ(controls.boxRI.fillColor(), kIndicatorOff);
}

// A view that selects a button for the user hears the selection first, then what the handler did
// through the controls, in order.
TEST(ControlsOfTheWindow, AViewHearsItsOwnChangeThenWhatTheHandlerDid) {
    test::TestForm window;
    test::RecordingObserver observer;
    window.form.setObserver(&observer);
    window.ports.levelsAtOpen.dsr = true;
    window.select(&MainForm::optCom1);
    EXPECT_EQ(observer.changes, (Changes{u"optComNone Value", u"optCom1 Value", u"EventLog Caption",
                                         u"boxDSR FillColor"}));
    observer.changes.clear();
    window.select(&MainForm::optCom3);  // missing: the selection goes back to None
    EXPECT_EQ(observer.changes, (Changes{u"optCom1 Value", u"optCom3 Value", u"EventLog Caption",
                                         u"boxDSR FillColor", u"EventLog Caption", u"optCom3 Value",
                                         u"optComNone Value", u"EventLog Caption"}));
    EXPECT_TRUE(window.form.optComNone.value());
}

}  // namespace
}  // namespace velnor
