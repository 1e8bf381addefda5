#include "core/main_form.h"

#include "core/input_sink.h"
#include "core/key_names.h"
#include "core/text.h"

namespace velnor {

MainForm::MainForm(Platform platform, std::u16string commandLine)
    : MSComm1(platform.loop, platform.ports),
      lines{{makeLine(inputLines()[0], platform), makeLine(inputLines()[1], platform),
             makeLine(inputLines()[2], platform)}},
      platform_(std::move(platform)),
      commandLine_(std::move(commandLine)),
      log_(EventLog.caption()),
      wiring_(MSComm1, platform_.loop,
              [this](const std::u16string& result) { wiringChecked(result); }) {
    connectHandlers();
    // The input backend failing mid-run is a word in the log, like its failing at start-up.
    platform_.input.setProblemReporter(
        [this](const std::u16string& problem) { LogEvent(problem); });
}

MainForm::~MainForm() {
    platform_.input.setProblemReporter({});
}

void MainForm::connectHandlers() {
    const std::pair<OptionButton*, void (MainForm::*)()> clicks[] = {
        {&optComNone, &MainForm::optComNone_Click}, {&optCom1, &MainForm::optCom1_Click},
        {&optCom2, &MainForm::optCom2_Click},       {&optCom3, &MainForm::optCom3_Click},
        {&optCom4, &MainForm::optCom4_Click},       {&optDTROn, &MainForm::optDTROn_Click},
        {&optDTROff, &MainForm::optDTROff_Click},   {&optRTSOn, &MainForm::optRTSOn_Click},
        {&optRTSOff, &MainForm::optRTSOff_Click}};
    for (const auto& [button, click] : clicks) button->Click = [this, click] { (this->*click)(); };

    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    MSComm1.onNotice = [this](const std::u16string& text) {
        LogEvent(u"COM" + toU16(MSComm1.CommPort()) + u" (" + MSComm1.device() + u"): " + text);
    };
    MSComm1.onPortLost = [this](const std::u16string& device, const Problem& problem) {
        releaseLostPort(device, problem);
    };
    MSComm1.onPortBack = [this](int16_t port, const std::u16string& device) {
        reopenReturnedPort(port, device);
    };
    MSComm1.onReopenFailed = [this](int16_t port, const std::u16string& device,
                                    const Problem& problem) {
        reopenFailed(port, device, problem);
    };
}

SignalLine MainForm::makeLine(const InputLine& row, const Platform& platform) {
    return SignalLine(
        row, {.controls = *this,
              .port = MSComm1,
              .loop = platform.loop,
              .input = platform.input,
              .messageBox = platform.messageBox,
              .announce = [this](std::u16string_view line, bool on) { announceLine(line, on); },
              .log = [this](std::u16string_view message) { LogEvent(message); }});
}

// True when another copy runs: the command line has then gone to it (if there was one).
std::u16string handOverFailure(std::u16string_view reason) {
    return u"Velnor is already running but did not take the command line: " +
           std::u16string(reason);
}

bool MainForm::claimCommandChannel() {
    CommandChannel* channel = platform_.channel;
    if (!channel) return false;
    const auto claim =
        channel->claim({.linkOpen = [this](int& cancel) { Form_LinkOpen(cancel); },
                        .linkExecute = [this](const std::u16string& command,
                                              int& cancel) { Form_LinkExecute(command, cancel); },
                        .eventLog = [this] { return EventLog.caption(); },
                        .port = [this] { return openPortName(); },
                        .lineOn = [this](std::u16string_view name) { return lineOn(name); },
                        .show = [this] { showWindow(); },
                        .log = [this](std::u16string_view message) { LogEvent(message); }});
    switch (claim) {
        case CommandChannel::Claim::Owner:
            serving_ = true;
            return false;
        case CommandChannel::Claim::Unavailable:
            LogEvent(channel->problem().reason);
            return false;
        case CommandChannel::Claim::AnotherCopyRuns:
            // Without a command line the running copy only shows itself, so a second click on
            // the launcher is never silent.
            handOverResult_ =
                commandLine_.empty() ? channel->show() : channel->execute(commandLine_);
            return true;
    }
    return false;
}

void MainForm::Form_Load() {
    if (claimCommandChannel()) {
        int cancel = 0;
        Form_Unload(cancel);
        handedOver_ = true;
        return;
    }
    showPortDevices();
    optComNone.setValue(true);
    RingOff();
    for (SignalLine& line : lines) line.loadDefaults();
    ProcessArguments(commandLine_);
}

void MainForm::Form_Unload(int& cancel) {
    optDTROff_Click();
    optRTSOff_Click();
    optComNone_Click();
    cancel = 0;
}

void MainForm::announceLine(std::u16string_view line, bool on) {
    if (serving_) platform_.channel->announceLine(line, on);
}

std::u16string MainForm::openPortName() const {
    if (!MSComm1.PortOpen()) return {};
    return u"COM" + toU16(MSComm1.CommPort()) + u" (" + MSComm1.device() + u")";
}

bool MainForm::lineOn(std::u16string_view name) const {
    if (name == u"RI") return ringState;
    for (const SignalLine& line : lines)
        if (line.name() == name) return line.handler().flag();
    return false;
}

void MainForm::showWindow() {
    window.setWindowState(WindowState::Normal);
    window.activate();
}

void MainForm::LogEvent(std::u16string_view message) {
    std::u16string line = platform_.timeText();
    line += u"  ";
    line += message;
    log_.prepend(line);
    EventLog.setCaption(log_.text());
}

}  // namespace velnor
