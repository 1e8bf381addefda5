// The layout table and the line table: the window's controls as both build them, and how they fit
// together.

#include "core/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "core/lines.h"
#include "support/test_form.h"

namespace velnor {
namespace {

std::u16string nameOf(const Control* control) {
    return control ? control->name() : u"(form)";
}

TEST(LayoutTable, StartsWithTheFormAndNamesEveryControlOnce) {
    const auto table = layoutTable();
    ASSERT_EQ(table.size(), 45u);
    FormControls controls;
    EXPECT_EQ(&controlOf(controls, table[0]), &controls.window);
    EXPECT_EQ(table[0].name, u"MainForm");
    EXPECT_EQ(controls.window.initialCaption(), u"Velnor Control");
    EXPECT_EQ(table[0].container, nullptr);

    std::set<std::u16string_view> names;
    std::set<const Control*> built;
    for (const LayoutEntry& entry : table) {
        const Control& control = controlOf(controls, entry);
        EXPECT_TRUE(names.insert(entry.name).second) << testing::PrintToString(entry.name);
        EXPECT_TRUE(built.insert(&control).second) << testing::PrintToString(entry.name);
        EXPECT_EQ(control.name(), entry.name);
        EXPECT_EQ(control.initialCaption(), entry.caption);
        EXPECT_EQ(control.visible(), entry.visible);
        EXPECT_EQ(control.geometry().left, entry.geometry.left);
        EXPECT_EQ(control.geometry().height, entry.geometry.height);
        EXPECT_EQ(control.kind() == ControlKind::Form, &control == &controls.window);
    }

    std::map<ControlKind, int> kinds;
    forEachControl(controls, [&kinds](const Control& control) { ++kinds[control.kind()]; });
    EXPECT_EQ(kinds, (std::map<ControlKind, int>{{ControlKind::Form, 1},
                                                 {ControlKind::Frame, 8},
                                                 {ControlKind::OptionButton, 18},
                                                 {ControlKind::TextBox, 8},
                                                 {ControlKind::DropDownList, 4},
                                                 {ControlKind::Label, 2},
                                                 {ControlKind::Indicator, 4}}));
}

// Frames sit on the form and come before the controls they hold; every control lies inside its
// container.
TEST(LayoutTable, ContainersAreFramesOnTheFormListedBeforeTheirControls) {
    FormControls controls;
    std::set<const Control*> seen;
    for (const LayoutEntry& entry : layoutTable()) {
        const Control& control = controlOf(controls, entry);
        SCOPED_TRACE(testing::PrintToString(control.name()));
        const Frame* frame = control.container();
        EXPECT_EQ(frame, entry.container ? &(controls.*entry.container) : nullptr);
        if (frame) {
            EXPECT_TRUE(seen.contains(frame)) << "container listed after its control";
            EXPECT_EQ(frame->container(), nullptr) << "frames are not nested";
        }
        const Geometry& outer = frame ? frame->geometry() : controls.window.geometry();
        if (&control != &controls.window) {
            const Geometry& g = control.geometry();
            EXPECT_GE(g.left, 0);
            EXPECT_GE(g.top, 0);
            EXPECT_LE(g.left + g.width, outer.width)
                << "inside " << testing::PrintToString(nameOf(frame));
            EXPECT_LE(g.top + g.height, outer.height)
                << "inside " << testing::PrintToString(nameOf(frame));
        }
        seen.insert(&control);
    }
}

TEST(LayoutTable, OptionButtonsFormOneGroupPerFrame) {
    FormControls controls;
    std::map<const Frame*, std::vector<const OptionButton*>> groups;
    forEachControl(controls, [&groups](const auto& control) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(control)>, OptionButton>) {
            EXPECT_NE(control.container(), nullptr) << testing::PrintToString(control.name());
            groups[control.container()].push_back(&control);
        }
    });
    const std::map<const Frame*, size_t> sizes = {{&controls.Port, 5},     {&controls.DTR, 2},
                                                  {&controls.RTS, 2},      {&controls.frameDSR, 3},
                                                  {&controls.frameCTS, 3}, {&controls.frameCD, 3}};
    ASSERT_EQ(groups.size(), sizes.size());
    for (const auto& [frame, buttons] : groups) {
        SCOPED_TRACE(testing::PrintToString(frame->name()));
        EXPECT_EQ(buttons.size(), sizes.at(frame));
        EXPECT_EQ(std::vector<const OptionButton*>(frame->optionButtons().begin(),
                                                   frame->optionButtons().end()),
                  buttons);
    }
    EXPECT_TRUE(controls.Frame1.optionButtons().empty());
}

TEST(LayoutTable, StartsWithNoPortAndBothOutputsOffSelected) {
    FormControls controls;
    std::vector<std::u16string> selected;
    forEachControl(controls, [&selected](const auto& control) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(control)>, OptionButton>)
            if (control.value()) selected.push_back(control.name());
    });
    std::ranges::sort(selected);
    EXPECT_EQ(selected, (std::vector<std::u16string>{u"optComNone", u"optDTROff", u"optRTSOff"}));
}

TEST(LayoutTable, OnlyTheHelpersAreHiddenAndEveryControlShowsItsInitialText) {
    FormControls controls;
    std::vector<std::u16string> hidden;
    forEachControl(controls, [&hidden](const Control& control) {
        if (!control.visible()) hidden.push_back(control.name());
    });
    EXPECT_EQ(hidden, (std::vector<std::u16string>{u"txtGenerateKeyCodes", u"txtCommandLine",
                                                   u"cboKeyLookup"}));

    EXPECT_EQ(controls.txtCommandLine.text(), u"Text1");
    EXPECT_EQ(controls.txtDSRSendKeys.text(), u"");
    EXPECT_EQ(controls.cboKeyLookup.text(), u"Combo1");
    EXPECT_EQ(controls.cboKeyLookup.listCount(), 0);
    EXPECT_EQ(controls.cboCTSEmulateKey.text(), u"CTSEmulateKey");
    EXPECT_EQ(controls.EventLog.caption(), u"EventLog");
    EXPECT_EQ(controls.RITimeStamp.caption(), u"RI Mode Indicator Field");
    EXPECT_EQ(controls.boxDSR.fillColor(), kIndicatorOff);
    EXPECT_EQ(controls.window.windowState(), WindowState::Normal);
    EXPECT_EQ(controls.Port.initialCaption(), u"Port");
    EXPECT_EQ(controls.optCDEmulateKey.initialCaption(), u"Emulate a key");
}

TEST(LayoutTable, GeometryInTwips) {
    const struct {
        std::u16string_view name;
        Geometry geometry;
    } rows[] = {
        {u"MainForm", {60, 345, 10230, 8805}},    {u"Frame1", {5400, 120, 4695, 7215}},
        {u"EventLog", {240, 360, 4215, 5775}},    {u"optCDEmulateKey", {960, 360, 1335, 255}},
        {u"cboKeyLookup", {120, 1560, 735, 315}}, {u"boxRI", {240, 360, 375, 375}},
        {u"optCom1", {1080, 360, 855, 255}},      {u"optRTSOff", {240, 240, 615, 375}},
    };
    FormControls controls;
    for (const auto& row : rows) {
        const auto entry = std::ranges::find(layoutTable(), row.name, &LayoutEntry::name);
        ASSERT_NE(entry, layoutTable().end()) << testing::PrintToString(row.name);
        const Geometry& g = controlOf(controls, *entry).geometry();
        EXPECT_EQ((std::array{g.left, g.top, g.width, g.height}),
                  (std::array{row.geometry.left, row.geometry.top, row.geometry.width,
                              row.geometry.height}))
            << testing::PrintToString(row.name);
    }
}

// Each line's row names the controls of that line's frame, and no two rows share anything.
TEST(InputLines, EachRowHoldsTheControlsOfItsOwnFrame) {
    const auto lines = inputLines();
    ASSERT_EQ(lines.size(), 3u);
    const std::u16string_view names[] = {u"DSR", u"CTS", u"CD"};
    const int16_t events[] = {comEvDSR, comEvCTS, comEvCD};
    FormControls controls;
    std::set<const Control*> used;
    for (size_t i = 0; i < lines.size(); ++i) {
        const InputLine& line = lines[i];
        const std::u16string name(line.name);
        SCOPED_TRACE(testing::PrintToString(name));
        EXPECT_EQ(line.name, names[i]);
        EXPECT_EQ(line.commEvent, events[i]);
        std::u16string code = name;
        for (char16_t& c : code) c = char16_t(c - u'A' + u'a');
        EXPECT_EQ(line.code, code);
        ModemLevels levels;
        levels.*line.level = true;
        EXPECT_EQ(levels.dsr + levels.cts + levels.cd + levels.ri, 1);
        EXPECT_EQ(levels.dsr, i == 0);
        EXPECT_EQ(levels.cd, i == 2);

        const Frame& frame = controls.*line.frame;
        EXPECT_EQ(frame.name(), u"frame" + name);
        const std::pair<const Control*, std::u16string> parts[] = {
            {&(controls.*line.box), u"box" + name},
            {&(controls.*line.optEmulateKey), u"opt" + name + u"EmulateKey"},
            {&(controls.*line.cboEmulateKey), u"cbo" + name + u"EmulateKey"},
            {&(controls.*line.optSendKeys), u"opt" + name + u"SendKeys"},
            {&(controls.*line.txtSendKeys), u"txt" + name + u"SendKeys"},
            {&(controls.*line.optGenerateKeys), u"opt" + name + u"GenerateKeys"},
            {&(controls.*line.txtGenerateKeys), u"txt" + name + u"GenerateKeys"},
        };
        for (const auto& [control, expected] : parts) {
            EXPECT_EQ(control->name(), expected);
            EXPECT_EQ(control->container(), &frame) << testing::PrintToString(expected);
            EXPECT_TRUE(used.insert(control).second) << testing::PrintToString(expected);
        }
        const std::set<const OptionButton*> modes = {&(controls.*line.optEmulateKey),
                                                     &(controls.*line.optSendKeys),
                                                     &(controls.*line.optGenerateKeys)};
        EXPECT_EQ(std::set<const OptionButton*>(frame.optionButtons().begin(),
                                                frame.optionButtons().end()),
                  modes);
    }
}

// The settings a view changes through its line menu act on that line's filter alone, and its
// frame's hint follows.
TEST(InputLines, SettingsOfALineShowInItsFramesHint) {
    test::TestForm window;
    MainForm& form = window.form;
    form.lines[1].setSettleTime(LineFilter::Duration(250));
    form.lines[1].setInverted(true);
    EXPECT_EQ(form.lines[1].filter().settleTime().count(), 250);
    EXPECT_TRUE(form.lines[1].filter().inverted());
    EXPECT_EQ(form.frameCTS.toolTip(),
              u"CTS: settle time 250 ms, inverted polarity. Right-click to change.");
    EXPECT_EQ(form.lines[0].filter().settleTime().count(), 0);
    EXPECT_FALSE(form.lines[2].filter().inverted());
    EXPECT_EQ(form.frameDSR.toolTip(),
              u"DSR: every edge acts, normal polarity. Right-click to change.");
    EXPECT_EQ(window.newLog(), std::vector<std::u16string>{}) << "settings are not log lines";
}

}  // namespace
}  // namespace velnor
