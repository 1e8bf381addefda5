#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/command_channel.h"
#include "core/event_log.h"
#include "core/event_loop.h"
#include "core/layout.h"
#include "core/menu.h"
#include "core/port_catalog.h"
#include "core/serial_control.h"
#include "core/signal_handler.h"
#include "core/signal_line.h"
#include "core/start_entry.h"
#include "core/wiring_check.h"

namespace velnor {

class InputSink;

// What the window needs from the platform it runs on.
struct Platform {
    InputSink& input;
    EventLoop& loop;
    PortBackend ports;
    // Without a command channel (null) the window neither serves commands nor looks for a
    // running copy.
    CommandChannel* channel = nullptr;
    // The present time of day as the user's locale writes it.
    std::function<std::u16string()> timeText;
    // Shows a sentence to the user and waits until it is read.
    std::function<void(const std::u16string&)> messageBox;
    // What the port menu offers besides the ports themselves; null where the platform has none.
    PortCatalog* catalog = nullptr;
    StartEntry* loginStart = nullptr;
    // The user's own entry in the desktop's menu, which "Keep these settings" writes.
    StartEntry* keptSettings = nullptr;
    // The program with `arguments`, written for the user's shell, and the clipboard; "Copy
    // command line" is offered where both are given.
    std::function<std::u16string(const std::vector<std::u16string>& arguments)> commandText{};
    std::function<void(const std::u16string& text)> copyText{};
};

// What a second start says when the running copy did not take its command line, for the reason
// it gave.
std::u16string handOverFailure(std::u16string_view reason);

// The program's one window, as its controls and their handlers. Its event handlers carry the
// names of the control and the event. Controls are public, as on a form: handlers, commands and
// tests reach them by name. A view shows the controls and passes the user's input to them.
class MainForm : public FormControls {
  public:
    MainForm(Platform platform, std::u16string commandLine);
    ~MainForm();

    // Start-up and shut-down.
    void Form_Load();
    void Form_Unload(int& cancel);
    void LogEvent(std::u16string_view message);
    // Restores the window and brings it to the front: a second start, the tray icon.
    void showWindow();
    // True once Form_Load has handed the command line to a running copy: show nothing, just end.
    bool handedOver() const { return handedOver_; }
    // The running copy's answer once handed over: why it did not take the command line (or show
    // itself), when it did not.
    const Result<>& handOverResult() const { return handOverResult_; }

    // Commands. Longer argument strings are not applied.
    static constexpr size_t kMaxArgumentsLength = 32766;
    void ProcessArguments(std::u16string_view arguments);
    void Form_LinkExecute(const std::u16string& command, int& cancel);
    void Form_LinkOpen(int& cancel);
    // The arguments that bring a freshly started copy to the present configuration: the port,
    // the output lines, the window's state, and each line's mode, key, texts, settle time and
    // polarity.
    std::u16string commandLine() const;

    // Context menus: the frames that have one, and a frame's menu as things now stand (empty for
    // a frame without one). The "Port" frame's chooses the device of each of COM1 to COM4, checks
    // the open port's wiring, copies the present configuration as a command line and makes it
    // start at login; an input line's sets its settle time and polarity.
    std::vector<const Frame*> menuFrames() const;
    Menu menuOf(const Frame& frame);

    // The tray icon, where the desktop has a tray: the view says whether it has one, shows the
    // input lines' indicators (DSR, CTS, CD, RI) with the hint, and offers the menu. Hiding to
    // the tray on minimising is a setting, off by default, that acts only where a tray exists.
    void setTrayAvailable(bool available);
    void setMinimizeToTray(bool on);
    bool minimizeToTray() const { return minimizeToTray_; }
    bool hidesToTray() const { return minimizeToTray_ && trayAvailable_ == true; }
    std::array<const Indicator*, 4> trayIndicators() const;
    std::u16string trayHint() const;
    Menu trayMenu();

    // Serial line: the port buttons, the output lines and the line monitor.
    void SetComPort(int16_t port);
    void optComNone_Click();
    void optCom1_Click();
    void optCom2_Click();
    void optCom3_Click();
    void optCom4_Click();
    void optDTROn_Click();
    void optDTROff_Click();
    void optRTSOn_Click();
    void optRTSOff_Click();
    void MSComm1_OnComm();
    void RingOn();
    void RingOff();

    SerialControl MSComm1;
    bool ringState = false;
    // DSR, CTS and CD, in the order of inputLines(): each line's controls, handler and filter.
    std::array<SignalLine, 3> lines;
    SignalHandler& dsrHandler = lines[0].handler();
    SignalHandler& ctsHandler = lines[1].handler();
    SignalHandler& cdHandler = lines[2].handler();

  private:
    SignalLine makeLine(const InputLine& row, const Platform& platform);
    void connectHandlers();
    bool claimCommandChannel();
    void announceLine(std::u16string_view line, bool on);
    std::u16string openPortName() const;
    bool lineOn(std::u16string_view name) const;
    bool refuseOverlongArguments(std::u16string_view arguments);
    void applyArgument(std::u16string_view argument);
    void switchOn(std::u16string_view logText, void (SerialControl::*write)(bool),
                  OptionButton& off);
    void switchOff(std::u16string_view logText, void (SerialControl::*write)(bool));
    void closePort();
    void followOpenedPort();
    void releaseLostPort(const std::u16string& device, const Problem& problem);
    Menu portMenu();
    std::vector<MenuEntry> deviceChoices(int port);
    void assignPort(int port, const std::u16string& device);
    void showPortDevices();
    void tellSettingsProblem();
    void startAtLogin(bool on);
    void checkWiring();
    void wiringChecked(const std::u16string& result);
    void stopWiringCheck();
    void reopenReturnedPort(int16_t port, const std::u16string& device);
    void reopenFailed(int16_t port, const std::u16string& device, const Problem& problem);
    void tellNoTray();

    Platform platform_;
    std::u16string commandLine_;
    BoundedLog log_;
    bool handedOver_ = false;
    bool serving_ = false;  // this copy owns the command channel
    Result<> handOverResult_;
    std::optional<Problem> settingsProblem_;  // the catalog's, as last told in the event log
    WiringCheck wiring_;                      // the lines' handlers are held off while it runs
    bool minimizeToTray_ = false;
    std::optional<bool> trayAvailable_;  // unknown until the view says
};

}  // namespace velnor
