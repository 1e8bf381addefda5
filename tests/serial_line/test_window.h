#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

#include "main_window/main_form.h"
#include "platform/serial_control.h"
#include "support/log_lines.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"

namespace velnor {

class ScriptedPorts;

// A port of the test's own: it writes what is done to it into the journal and answers level
// reads from `queued` first and then from `steady`, so a level can change between two reads.
class ScriptedPort final : public SerialPort {
  public:
    ScriptedPort(ScriptedPorts& ports, QString device, PortListener& listener);
    ~ScriptedPort() override;

    void setDtr(bool on) override;
    void setRts(bool on) override;
    ModemLevels levels() override;
    std::chrono::milliseconds settleTime() const override { return {}; }

    PortListener& listener;
    std::deque<ModemLevels> queued;
    ModemLevels steady;
    int reads = 0;

  private:
    ScriptedPorts& ports_;
    QString device_;
};

// Opens a ScriptedPort for every device but those in `refused`, and keeps the journal of all
// of them: "open /dev/ttyS0", "DTR on", "close /dev/ttyS0", ...
class ScriptedPorts {
  public:
    void install(SerialControl& control);

    QStringList journal;
    QStringList refused;
    ModemLevels levelsAtOpen;      // the steady levels of each port opened from now on
    ScriptedPort* open = nullptr;  // the port open now
};

// The window after Form_Load, its ports scripted (COM3 refused as missing), and its input
// recorded. Port n stands for /dev/ttyS<n-1>.
class TestWindow {
  public:
    TestWindow();

    void select(QRadioButton* MainForm::*button) { (form.*button)->setChecked(true); }
    // Delivers a notification of the open port as the backend does: queued, then handled.
    void notify(qint16 code);
    // Log messages written since the last call (or since Form_Load), oldest first.
    QStringList newLog();
    // Which button of a frame is selected, by name.
    static QString selected(const QGroupBox& frame);

    ScopedEnv com1{"VELNOR_COM1", nullptr};
    ScopedEnv com2{"VELNOR_COM2", nullptr};
    ScopedEnv com3{"VELNOR_COM3", nullptr};
    ScopedEnv com4{"VELNOR_COM4", nullptr};
    ScriptedPorts ports;
    RecordingInputSink input;
    MainForm form;

  private:
    int logged_ = 0;
};

// Runs the event loop until `done` holds (false if it does not within seconds).
bool processEventsUntil(const std::function<bool()>& done);

}  // namespace velnor
