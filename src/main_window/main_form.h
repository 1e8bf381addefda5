#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>
#include <array>
#include <memory>

#include "main_window/event_log.h"
#include "main_window/indicator.h"
#include "platform/serial_control.h"

class QMenu;

namespace velnor {

class DdeServer;
class InputSink;
class LineFilter;
class SignalHandler;
class TimeSource;

// The program's one window. Its event handlers carry the names of the control and the event;
// they are defined in the folder of the subsystem they belong to (serial_line/, commands/, ...).
// Controls are public, as on a form: handlers, commands and tests reach them by name.
class MainForm : public QWidget {
    Q_OBJECT
  public:
    // Without a command channel (`dde` null) the window neither serves commands nor looks for
    // a running copy.
    MainForm(InputSink& input, QString commandLine, DdeServer* dde = nullptr,
             QWidget* parent = nullptr);
    ~MainForm() override;

    // Start-up and shut-down (main_window/).
    void Form_Load();
    void Form_Unload(int& cancel);
    void LogEvent(const QString& message);
    // True once Form_Load has handed the command line to a running copy: show nothing, just end.
    bool handedOver() const { return handedOver_; }

    // Commands (commands/). Longer argument strings are not applied.
    static constexpr qsizetype kMaxArgumentsLength = 32766;
    void ProcessArguments(const QString& arguments);
    void Form_LinkExecute(const QString& command, int& cancel);
    void Form_LinkOpen(int& cancel);

    // Serial line (serial_line/): the port buttons, the output lines and the line monitor.
    void SetComPort(qint16 port);
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

  private:
    std::unique_ptr<TimeSource> time_;  // outlives the line filters, which take their timers here

  public:
    // How each input line is followed for its handler: the edge rule, the settle time of its
    // debounce and its polarity (serial_line/). The settings come from the arguments and from a
    // context menu on the line's frame, which lineMenu() builds.
    std::unique_ptr<LineFilter> dsrFilter;
    std::unique_ptr<LineFilter> ctsFilter;
    std::unique_ptr<LineFilter> cdFilter;
    // The menu of frameDSR, frameCTS or frameCD (null for another frame); the caller shows it.
    std::unique_ptr<QMenu> lineMenu(const QGroupBox& frame);

    // Signal actions (signal_actions/).
    void txtDSRGenerateKeys_Change();
    void txtCTSGenerateKeys_Change();
    void txtCDGenerateKeys_Change();

    bool ringState = false;
    std::unique_ptr<SignalHandler> dsrHandler;
    std::unique_ptr<SignalHandler> ctsHandler;
    std::unique_ptr<SignalHandler> cdHandler;

    // Controls, in the window's stored order.
    QGroupBox* Frame1;
    QLineEdit* txtGenerateKeyCodes;
    QLineEdit* txtCommandLine;
    QLabel* EventLog;
    QGroupBox* frameCD;
    QLineEdit* txtCDGenerateKeys;
    QRadioButton* optCDGenerateKeys;
    QLineEdit* txtCDSendKeys;
    QRadioButton* optCDSendKeys;
    QRadioButton* optCDEmulateKey;
    QComboBox* cboCDEmulateKey;
    Indicator* boxCD;
    QGroupBox* frameCTS;
    QRadioButton* optCTSGenerateKeys;
    QLineEdit* txtCTSGenerateKeys;
    QComboBox* cboCTSEmulateKey;
    QRadioButton* optCTSEmulateKey;
    QRadioButton* optCTSSendKeys;
    QLineEdit* txtCTSSendKeys;
    Indicator* boxCTS;
    QGroupBox* frameDSR;
    QComboBox* cboKeyLookup;
    QLineEdit* txtDSRGenerateKeys;
    QRadioButton* optDSRGenerateKeys;
    QLineEdit* txtDSRSendKeys;
    QRadioButton* optDSRSendKeys;
    QRadioButton* optDSREmulateKey;
    QComboBox* cboDSREmulateKey;
    Indicator* boxDSR;
    QGroupBox* frameRI;
    QLabel* RITimeStamp;
    Indicator* boxRI;
    QGroupBox* RTS;
    QRadioButton* optRTSOn;
    QRadioButton* optRTSOff;
    QGroupBox* Port;
    QRadioButton* optComNone;
    QRadioButton* optCom4;
    QRadioButton* optCom3;
    QRadioButton* optCom2;
    QRadioButton* optCom1;
    QGroupBox* DTR;
    QRadioButton* optDTROff;
    QRadioButton* optDTROn;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void connectHandlers();
    bool claimCommandChannel();
    bool refuseOverlongArguments(const QString& arguments);
    void applyArgument(const QString& argument);
    bool applyModeArgument(const QString& argument);
    bool applyLineArgument(const QString& argument);
    bool applyLineSettingArgument(const QString& argument);
    void connectSignalActions();
    std::unique_ptr<SignalHandler> createHandler(Indicator& box, QRadioButton& optEmulateKey,
                                                 QComboBox& cboEmulateKey,
                                                 QRadioButton& optSendKeys, QLineEdit& txtSendKeys,
                                                 QRadioButton& optGenerateKeys,
                                                 QLineEdit& txtGenerateKeys);
    void connectSerialLine();
    void createLineFilters();
    void connectLineMenus();
    void showLineSettings();
    std::array<LineFilter*, 3> lineFilters() const;
    void closePort();
    void releaseLostPort(const SerialError& error);

    InputSink& input_;
    QString commandLine_;
    DdeServer* dde_;
    BoundedLog log_;
    bool handedOver_ = false;
};

}  // namespace velnor
