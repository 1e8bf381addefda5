// The frames' context menus as the program describes them for every view: what each offers as
// things stand, and what choosing an entry does.

#include <gtest/gtest.h>

#include "core/split_text.h"
#include "core/text.h"
#include "support/menu_text.h"
#include "support/recording_observer.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Lines = std::vector<std::u16string>;

Lines joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class MenusTest : public ::testing::Test {
  protected:
    Menu portMenu() { return form.menuOf(form.Port); }
    // Chooses the entry at `path` of a fresh menu of `frame`, answering its question if it asks.
    void choose(const Frame& frame, std::vector<std::u16string_view> path,
                std::u16string_view answer = {}) {
        Menu menu = form.menuOf(frame);
        MenuEntry* entry = test::findEntry(menu, std::move(path));
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->enabled);
        entry->chosen(answer);
    }

    test::TestForm window;
    MainForm& form = window.form;
};

TEST_F(MenusTest, ThePortMenuOffersEachPortsDevicesAndTheConfigurationElsewhere) {
    window.catalog.plugged = {{u"/dev/serial/by-id/usb-FTDI", u"FTDI FT232R (/dev/ttyUSB0)"}};
    window.catalog.assignments[2] = u"/dev/serial/by-id/usb-FTDI";
    window.catalog.assignments[4] = u"loopback";
    const auto port = [](std::u16string_view title, bool ftdi, bool loopback, bool assigned,
                         std::u16string_view standard) {
        return Lines{
            std::u16string(title) + u" >",
            ftdi ? u"  (*) FTDI FT232R (/dev/ttyUSB0)" : u"  ( ) FTDI FT232R (/dev/ttyUSB0)",
            u"  ---",
            loopback ? u"  (*) Loopback plug (no hardware)" : u"  ( ) Loopback plug (no hardware)",
            u"  Other device...",
            u"  Default (" + std::u16string(standard) + u")" + (assigned ? u"" : u" (disabled)")};
    };
    Lines expected;
    for (const Lines& lines :
         {port(u"COM1: /dev/ttyS0", false, false, false, u"/dev/ttyS0"),
          port(u"COM2: FTDI FT232R (/dev/ttyUSB0)", true, false, true, u"/dev/ttyS1"),
          port(u"COM3: /dev/ttyS2", false, false, false, u"/dev/ttyS2"),
          port(u"COM4: loopback", false, true, true, u"/dev/ttyS3")})
        expected.insert(expected.end(), lines.begin(), lines.end());
    expected.insert(expected.end(),
                    {u"---", u"Check wiring (disabled)", u"---", u"Copy command line",
                     u"[ ] Start at login with these settings", u"Keep these settings"});
    EXPECT_EQ(test::menuText(portMenu()), expected);

    window.input.offered = {{.text = u"Ask the desktop for input"},
                            MenuEntry::submenu(u"Keyboard layout", {{.text = u"German"}})};
    expected.insert(expected.end(),
                    {u"---", u"Ask the desktop for input", u"Keyboard layout >", u"  German"});
    EXPECT_EQ(test::menuText(portMenu()), expected);

    window.catalog.plugged.clear();
    Menu none = portMenu();
    EXPECT_EQ(test::menuText(none)[1], u"  No serial adapter found (disabled)");
}

TEST_F(MenusTest, ChoosingADeviceAssignsItNamesItOnTheButtonAndTheNextOpenUsesIt) {
    window.catalog.plugged = {{u"/dev/ttyACM0", u"Arduino Uno (/dev/ttyACM0)"}};
    EXPECT_EQ(form.optCom2.toolTip(), u"COM2: /dev/ttyS1. Right-click to choose its device.");
    window.newLog();
    choose(form.Port, {u"COM2: /dev/ttyS1", u"Arduino Uno (/dev/ttyACM0)"});
    EXPECT_EQ(window.newLog(), Lines{u"COM2 now stands for /dev/ttyACM0"});
    EXPECT_EQ(form.optCom2.toolTip(),
              u"COM2: Arduino Uno (/dev/ttyACM0). Right-click to choose its device.");
    form.ProcessArguments(u"-port=com2");
    EXPECT_EQ(window.ports.journal.front(), u"open /dev/ttyACM0");

    // Any path, trimmed; a blank answer changes nothing.
    choose(form.Port, {u"COM1: /dev/ttyS0", u"Other device..."}, u"  /dev/ttyUSB7 ");
    choose(form.Port, {u"COM3: /dev/ttyS2", u"Other device..."}, u"   ");
    EXPECT_EQ(window.catalog.assignments,
              (std::map<int, std::u16string>{{1, u"/dev/ttyUSB7"}, {2, u"/dev/ttyACM0"}}));
    choose(form.Port, {u"COM1: /dev/ttyUSB7", u"Default (/dev/ttyS0)"});
    EXPECT_FALSE(window.catalog.assigned(1));

    // An assignment that cannot be kept says why, and holds for this run.
    window.catalog.unwritable = true;
    window.newLog();
    choose(form.Port, {u"COM4: /dev/ttyS3", u"Loopback plug (no hardware)"});
    EXPECT_EQ(window.newLog(),
              Lines{u"COM4 cannot be assigned to loopback: ports.ini cannot be written"});
    EXPECT_EQ(form.optCom4.toolTip(), u"COM4: loopback. Right-click to choose its device.");
}

TEST_F(MenusTest, TheConfigurationIsCopiedAndStartsAtLoginMinimised) {
    form.ProcessArguments(u"-port=com1 -dsrSendKeys%=a%20b -ctsDebounce=30");
    choose(form.Port, {u"Copy command line"});
    ASSERT_EQ(window.clipboard.size(), 1u);
    EXPECT_EQ(window.clipboard[0], u"velnor " + form.commandLine());

    window.newLog();
    choose(form.Port, {u"Start at login with these settings"});
    ASSERT_TRUE(window.login.arguments);
    const auto& arguments = *window.login.arguments;
    EXPECT_EQ(arguments.front(), u"-minimize");
    EXPECT_EQ(std::ranges::count(arguments, u"-minimize"), 1);
    EXPECT_NE(std::ranges::find(arguments, u"-dsrSendKeys%=a%20b"), arguments.end());
    EXPECT_EQ(window.newLog(),
              Lines{u"Velnor starts at login with these settings (autostart/velnor.desktop)"});
    Menu menu = portMenu();
    EXPECT_TRUE(test::findEntry(menu, {u"Start at login with these settings"})->checked);

    choose(form.Port, {u"Start at login with these settings"});
    EXPECT_FALSE(window.login.arguments);
    EXPECT_EQ(window.newLog(), Lines{u"Velnor no longer starts at login"});

    window.login.unwritable = true;
    choose(form.Port, {u"Start at login with these settings"});
    EXPECT_EQ(window.newLog(),
              Lines{u"Start at login cannot be set: autostart/velnor.desktop cannot be written"});
}

// The desktop's menu entry takes the settings as they are (no -minimize), and is offered to be
// forgotten only while it is there.
TEST_F(MenusTest, SettingsAreKeptInTheMenuEntryAndForgotten) {
    form.ProcessArguments(u"-port=com1 -dsrSendKeys%=a%20b");
    const auto keepOffers = [this] {
        Lines entries;
        for (const std::u16string& line : test::menuText(portMenu()))
            if (line.ends_with(u"settings")) entries.push_back(line);
        return entries;
    };
    const Lines keep{u"[ ] Start at login with these settings", u"Keep these settings"};
    const Lines keepOrForget = joined({keep, {u"Forget kept settings"}});
    const auto kept = [this](std::u16string_view line) {
        return std::u16string(line) + u" (applications/velnor.desktop)";
    };
    const struct {
        std::u16string_view choice;
        bool unwritable;
        Lines logged;
        Lines offered;
    } steps[] = {
        {u"Keep these settings",
         false,
         {kept(u"The desktop's menu starts Velnor with these settings")},
         keepOrForget},
        {u"Forget kept settings",
         true,
         {u"Kept settings cannot be forgotten: applications/velnor.desktop cannot be removed"},
         keepOrForget},
        {u"Forget kept settings",
         false,
         {kept(u"The desktop's menu starts Velnor with the defaults again")},
         keep},
        {u"Keep these settings",
         true,
         {u"These settings cannot be kept: applications/velnor.desktop cannot be written"},
         keep},
    };
    EXPECT_EQ(keepOffers(), keep);
    window.newLog();
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(step.choice)));
        window.kept.unwritable = step.unwritable;
        choose(form.Port, {step.choice});
        EXPECT_EQ(window.newLog(), step.logged);
        EXPECT_EQ(keepOffers(), step.offered);
        if (step.offered == keepOrForget) {
            EXPECT_EQ(window.kept.arguments, SplitText(form.commandLine(), u" ").value_or(Lines{}));
        }
    }
    EXPECT_FALSE(window.login.arguments) << "the login entry is another";
}

// Start at login adds "-minimize " unless the settings minimise already.
TEST(PortMenuLimitTest, SettingsLongerThanAStartAcceptsAreNeitherCopiedNorStartedAtLogin) {
    constexpr size_t kLimit = MainForm::kMaxArgumentsLength;
    const auto refused = [](std::u16string_view what, size_t length) {
        return std::u16string(what) + u": the arguments of these settings are " +
               toU16(static_cast<int>(length)) + u" characters long, and a start accepts at most " +
               toU16(static_cast<int>(kLimit));
    };
    const struct {
        size_t length;  // of the settings' command line
        std::u16string_view window;
        bool copied;
        bool atLogin;
    } rows[] = {
        {kLimit - 10, u"", true, true},     {kLimit - 9, u"", true, false},
        {kLimit, u"-minimize", true, true}, {kLimit + 1, u"-minimize", false, false},
        {40000, u"", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        test::TestForm window({.commandLine = std::u16string(row.window)});
        MainForm& form = window.form;
        form.txtDSRSendKeys.setText(u"");
        const size_t plain = form.commandLine().size();
        form.txtDSRSendKeys.setText(std::u16string(row.length - plain, u'x'));
        const std::u16string settings = form.commandLine();
        ASSERT_EQ(settings.size(), row.length);
        window.newLog();

        Menu menu = form.menuOf(form.Port);
        test::findEntry(menu, {u"Copy command line"})->chosen({});
        EXPECT_EQ(window.clipboard.size(), row.copied ? 1u : 0u);
        menu = form.menuOf(form.Port);
        test::findEntry(menu, {u"Start at login with these settings"})->chosen({});
        EXPECT_EQ(window.login.arguments.has_value(), row.atLogin);
        // Kept as they are: the same length as copied.
        menu = form.menuOf(form.Port);
        test::findEntry(menu, {u"Keep these settings"})->chosen({});
        EXPECT_EQ(window.kept.arguments.has_value(), row.copied);
        const size_t atLogin = row.length + (row.window.empty() ? 10 : 0);
        EXPECT_EQ(
            window.newLog(),
            joined({row.copied ? Lines{}
                               : Lines{refused(u"Command line cannot be copied", row.length)},
                    row.atLogin ? Lines{u"Velnor starts at login with these settings "
                                        u"(autostart/velnor.desktop)"}
                                : Lines{refused(u"Start at login cannot be set", atLogin)},
                    row.copied ? Lines{u"The desktop's menu starts Velnor with these "
                                       u"settings (applications/velnor.desktop)"}
                               : Lines{refused(u"These settings cannot be kept", row.length)}}));
        if (!row.atLogin) continue;
        std::u16string started;
        for (const std::u16string& word : *window.login.arguments)
            started += (started.empty() ? u"" : u" ") + word;
        test::TestForm again({.commandLine = started});
        EXPECT_EQ(again.form.commandLine(), started) << "the entry brings back these settings";
    }
}

// Told at start, then again only when the reason changes or they could be read in between.
TEST(PortSettingsTest, AnUnreadableSettingsFileIsToldOnceAndAgainOnlyWhenItChanges) {
    test::TestForm window({.commandLine = {}, .load = false});
    MainForm& form = window.form;
    const Problem fifo{ProblemKind::Other,
                       u"ports.ini cannot be read: it is a FIFO, not a regular file"};
    const Problem device{ProblemKind::Other,
                         u"ports.ini cannot be read: it is a device, not a regular file"};
    const auto told = [](const Problem& problem) {
        return Lines{u"COM ports: " + problem.reason + u"; COM1 to COM4 stand for their defaults"};
    };
    window.catalog.unreadable = fifo;
    form.Form_Load();
    EXPECT_EQ(window.newLog(), told(fifo));
    const struct {
        std::optional<Problem> problem;
        Lines logged;
    } steps[] = {
        {fifo, {}},
        {device, told(device)},
        {std::nullopt, {}},
        {fifo, told(fifo)},
    };
    for (const auto& step : steps) {
        window.catalog.unreadable = step.problem;
        Menu menu = form.menuOf(form.Port);
        test::findEntry(menu, {u"COM3: /dev/ttyS2", u"Loopback plug (no hardware)"})->chosen({});
        window.catalog.assignments.clear();
        EXPECT_EQ(window.newLog(), joined({step.logged, {u"COM3 now stands for loopback"}}));
    }
}

TEST_F(MenusTest, ALinesMenuSetsItsSettleTimeAndPolarity) {
    Lines menuText = test::menuText(form.menuOf(form.frameCTS));
    menuText.resize(11);
    EXPECT_EQ(menuText, (Lines{u"Settle time >", u"  (*) None: every edge acts", u"  ( ) 10 ms",
                               u"  ( ) 20 ms", u"  ( ) 30 ms", u"  ( ) 50 ms", u"  ( ) 100 ms",
                               u"  ( ) Other...", u"Polarity >", u"  (*) Normal",
                               u"  ( ) Inverted (normally closed switch)"}));
    choose(form.frameCTS, {u"Settle time", u"30 ms"});
    choose(form.frameCTS, {u"Polarity", u"Inverted (normally closed switch)"});
    EXPECT_EQ(form.lines[1].filter().settleTime().count(), 30);
    EXPECT_TRUE(form.lines[1].filter().inverted());
    EXPECT_FALSE(form.lines[0].filter().inverted()) << "the other lines keep theirs";

    Menu menu = form.menuOf(form.frameCTS);
    const MenuEntry* other = test::findEntry(menu, {u"Settle time", u"Other..."});
    ASSERT_TRUE(other && other->question);
    EXPECT_EQ(other->question->initial, u"30");
    EXPECT_EQ(other->question->range, std::pair(0, 1000));
    choose(form.frameCTS, {u"Settle time", u"Other..."}, u"250");
    EXPECT_EQ(test::menuText(form.menuOf(form.frameCTS))[7], u"  (*) Other (250 ms)...");
    window.newLog();
    choose(form.frameCTS, {u"Settle time", u"Other (250 ms)..."}, u"5000");
    EXPECT_EQ(window.newLog(), Lines{u"Unknown CTS debounce:  5000"});
    EXPECT_EQ(form.lines[1].filter().settleTime().count(), 250);
}

// The menu sets what the arguments set, shows it as the arguments write it, and an entry's
// question starts from the present value.
TEST_F(MenusTest, ALinesMenuSetsWhatItDoesBeyondItsMode) {
    const std::u16string before = form.commandLine();
    choose(form.frameCD, {u"Repeat while on", u"After 250 ms, every 30 ms"});
    choose(form.frameCD, {u"On release..."}, u"{ENTER}");
    choose(form.frameCD, {u"Long press..."}, u"700,%{F4}");
    choose(form.frameCD, {u"Latch: each press holds or releases the key"});
    choose(form.frameCD, {u"Other key", u"Play/Pause"});
    std::u16string expected = before;
    expected.erase(expected.find(u" -cdEmulateKey=vbKeyControl"), 27);
    EXPECT_EQ(form.commandLine(),
              expected +
                  u" -cdRepeat=250,30 -cdRelease={ENTER} -cdLongPress=700,%{F4} "
                  u"-cdLatch=on -cdOtherKey=MEDIA_PLAY_PAUSE");
    EXPECT_EQ(form.cboCDEmulateKey.listIndex(), -1);
    EXPECT_EQ(form.cboCDEmulateKey.text(), u"Play/Pause");

    Lines shown = test::menuText(form.menuOf(form.frameCD));
    shown.erase(shown.begin(), shown.begin() + 12);
    shown.resize(9);
    EXPECT_EQ(shown, (Lines{u"Repeat while on >", u"  ( ) Off", u"  ( ) After 500 ms, every 100 ms",
                            u"  (*) After 250 ms, every 30 ms", u"  ( ) Other...",
                            u"[x] On release...", u"[x] Long press...",
                            u"[x] Latch: each press holds or releases the key", u"Other key >"}));
    Menu menu = form.menuOf(form.frameCD);
    EXPECT_EQ(test::findEntry(menu, {u"Long press..."})->question->initial, u"700,%{F4}");

    // Empty answers and "None" undo them; the key list's default comes back.
    choose(form.frameCD, {u"Repeat while on", u"Other..."}, u"");
    choose(form.frameCD, {u"On release..."}, u"");
    choose(form.frameCD, {u"Long press..."}, u"");
    choose(form.frameCD, {u"Latch: each press holds or releases the key"});
    choose(form.frameCD, {u"Other key", u"None: the key list's"});
    EXPECT_EQ(form.commandLine(), before);
}

// Each entry acts as the control it stands for does; the output lines need a port, as their
// buttons do.
TEST_F(MenusTest, TheTrayMenuShowsTheWindowSwitchesTheOutputLinesAndQuits) {
    const auto trayMenu = [&] { return test::menuText(form.trayMenu()); };
    const auto chooseInTray = [&](std::u16string_view text) {
        Menu menu = form.trayMenu();
        MenuEntry* entry = test::findEntry(menu, {text});
        ASSERT_NE(entry, nullptr);
        entry->chosen({});
    };
    EXPECT_EQ(trayMenu(), (Lines{u"Show Velnor", u"---", u"[ ] DTR on", u"[ ] RTS on", u"---",
                                 u"[ ] Hide to the tray when minimised", u"---", u"Quit"}));
    window.newLog();
    chooseInTray(u"DTR on");
    EXPECT_EQ(window.newLog(), (Lines{u"optDTROn_Click", u"optDTROff_Click"}));
    EXPECT_FALSE(form.optDTROn.value());

    form.ProcessArguments(u"-port=com1");
    const struct {
        std::u16string_view chosen;
        Lines logged;
        bool dtr;
        bool rts;
    } steps[] = {
        {u"RTS on", {u"optRTSOn_Click"}, false, true},
        {u"DTR on", {u"optDTROn_Click"}, true, true},
        {u"RTS on", {u"optRTSOff_Click"}, true, false},
    };
    for (const auto& step : steps) {
        window.newLog();
        chooseInTray(step.chosen);
        EXPECT_EQ(window.newLog(), step.logged);
        EXPECT_EQ(form.MSComm1.DTREnable(), step.dtr);
        EXPECT_EQ(form.MSComm1.RTSEnable(), step.rts);
        EXPECT_EQ(trayMenu()[2], step.dtr ? u"[x] DTR on" : u"[ ] DTR on");
        EXPECT_EQ(trayMenu()[3], step.rts ? u"[x] RTS on" : u"[ ] RTS on");
    }

    chooseInTray(u"Hide to the tray when minimised");
    EXPECT_TRUE(form.minimizeToTray());
    EXPECT_EQ(trayMenu()[5], u"[x] Hide to the tray when minimised");
    EXPECT_NE(form.commandLine().find(u" -minimizeToTray"), std::u16string::npos);

    test::RecordingObserver view;
    form.ProcessArguments(u"-minimize");
    form.setObserver(&view);
    chooseInTray(u"Show Velnor");
    EXPECT_EQ(form.window.windowState(), WindowState::Normal);
    chooseInTray(u"Quit");
    EXPECT_EQ(view.changes,
              (Lines{u"MainForm WindowState", u"MainForm Activation", u"MainForm Closing"}));
    form.setObserver(nullptr);
}

// The hint names the lines whose indicators are lit, as the icon shows them.
TEST_F(MenusTest, TheTrayHintNamesThePortAndTheLinesOn) {
    const struct {
        std::u16string_view port;
        int32_t dsr, cts, cd, ri;
        std::u16string_view hint;
    } rows[] = {
        {u"none", kIndicatorOff, kIndicatorOff, kIndicatorOff, kIndicatorOff,
         u"Velnor: no line on"},
        {u"com1", kIndicatorOn, kIndicatorOff, kIndicatorOff, kIndicatorOn,
         u"Velnor on COM1 (/dev/ttyS0): DSR, RI on"},
        {u"com2", kIndicatorOff, kIndicatorNotReported, kIndicatorOn, kIndicatorOff,
         u"Velnor on COM2 (/dev/ttyS1): CD on"},
    };
    for (const auto& row : rows) {
        form.ProcessArguments(u"-port=" + std::u16string(row.port));
        form.boxDSR.setFillColor(row.dsr);
        form.boxCTS.setFillColor(row.cts);
        form.boxCD.setFillColor(row.cd);
        form.boxRI.setFillColor(row.ri);
        EXPECT_EQ(form.trayHint(), row.hint);
    }
}

// Hiding to the tray acts only where the view has one, and says so once where it has none,
// whichever of the setting and the view comes first.
TEST(TraySettingTest, HidingToTheTrayNeedsATrayAndSaysSoWhereThereIsNone) {
    const Lines none{
        u"Hide to the tray when minimised does nothing: the desktop has no system tray"};
    test::TestForm window({.commandLine = u"-minimizeToTray"});
    MainForm& form = window.form;
    window.newLog();
    EXPECT_FALSE(form.hidesToTray()) << "before the view says";
    form.setTrayAvailable(false);
    form.setTrayAvailable(false);
    EXPECT_EQ(window.newLog(), none);
    EXPECT_FALSE(form.hidesToTray());
    form.ProcessArguments(u"-minimizeToTray");
    EXPECT_EQ(window.newLog(), joined({{u"arg(1) = -minimizeToTray"}, none}));
    form.setTrayAvailable(true);
    EXPECT_TRUE(form.hidesToTray());
    form.setMinimizeToTray(false);
    EXPECT_FALSE(form.hidesToTray());
    EXPECT_EQ(window.newLog(), Lines{});

    test::TestForm plain;
    plain.form.setTrayAvailable(false);
    EXPECT_EQ(plain.newLog(), Lines{}) << "nothing to say while the setting is off";
}

TEST_F(MenusTest, OnlyThePortAndLineFramesHaveMenus) {
    EXPECT_EQ(form.menuFrames(), (std::vector<const Frame*>{&form.Port, &form.frameDSR,
                                                            &form.frameCTS, &form.frameCD}));
    for (const Frame* frame : {&form.DTR, &form.RTS, &form.frameRI, &form.Frame1})
        EXPECT_TRUE(form.menuOf(*frame).empty());
}

}  // namespace
}  // namespace velnor
