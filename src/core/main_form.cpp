#include "core/main_form.h"

#include "core/input_sink.h"
#include "core/key_names.h"
#include "core/text.h"

namespace velnor {

MainForm::MainForm(Platform platform, std::u16string commandLine)
    : MSComm1(platform.loop, platform.ports),
      platform_(std::move(platform)),
      commandLine_(std::move(commandLine)),
      log_(EventLog.caption()) {
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

    for (const InputLine& line : inputLines()) {
        (this->*line.txtGenerateKeys).Change = [this, &line] {
            (this->*line.generateKeysChange)();
        };
        TextBox& sendKeys = this->*line.txtSendKeys;
        sendKeys.Change = [&sendKeys] { showSendKeysProblem(sendKeys); };
        // The handlers are created by Form_Load; the filters reach them only when they act, and a
        // port opened before (by a view, or a test) finds every line off with nobody to act.
        const auto handler = [this, &line] { return (this->*line.handler).get(); };
        const auto act = [this, handler, &line](bool on) {
            SignalHandler* acting = handler();
            if (!acting) return;
            if (on)
                acting->SignalOn();
            else
                acting->SignalOff();
            announceLine(line.name, on);
        };
        this->*line.filter = std::make_unique<LineFilter>(
            LineFilter::Line{.level = [this, &line] { return MSComm1.levels().*line.level; },
                             .portSettleTime = [this] { return MSComm1.settleTime(); },
                             .flag = [handler] { return handler() && handler()->flag(); },
                             .on = [act] { act(true); },
                             .off = [act] { act(false); }},
            platform_.loop);
        showLineSettings(line);
    }

    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    MSComm1.onNotice = [this](const std::u16string& text) {
        LogEvent(u"COM" + toU16(MSComm1.CommPort()) + u" (" + MSComm1.device() + u"): " + text);
    };
    MSComm1.onPortLost = [this](const SerialError& error) { releaseLostPort(error); };
    MSComm1.onPortBack = [this](int16_t port, const std::u16string& device) {
        reopenReturnedPort(port, device);
    };
}

std::unique_ptr<SignalHandler> MainForm::createHandler(const InputLine& line) {
    auto handler = std::make_unique<SignalHandler>(platform_.input, platform_.messageBox);
    handler->setFlag(false);
    handler->setBox(this->*line.box);
    handler->setOptEmulateKey(this->*line.optEmulateKey);
    handler->setCboEmulateKey(this->*line.cboEmulateKey);
    handler->setOptSendKeys(this->*line.optSendKeys);
    handler->setTxtSendKeys(this->*line.txtSendKeys);
    handler->setOptGenerateKeys(this->*line.optGenerateKeys);
    handler->setTxtGenerateKeys(this->*line.txtGenerateKeys);
    handler->setCboKeyLookup(cboKeyLookup);
    return handler;
}

// True when another copy runs: the command line has then gone to it (if there was one).
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
                        .show =
                            [this] {
                                window.setWindowState(WindowState::Normal);
                                window.activate();
                            }});
    switch (claim) {
        case CommandChannel::Claim::Owner:
            serving_ = true;
            return false;
        case CommandChannel::Claim::Unavailable:
            LogEvent(channel->problem());
            return false;
        case CommandChannel::Claim::AnotherCopyRuns:
            // Without a command line the running copy only shows itself, so a second click on
            // the launcher is never silent.
            handOverProblem_ =
                commandLine_.empty() ? channel->show() : channel->execute(commandLine_);
            return true;
    }
    return false;
}

void MainForm::loadLineDefaults(const InputLine& line) {
    this->*line.handler = createHandler(line);
    (this->*line.optEmulateKey).setValue(true);
    DropDownList& keys = this->*line.cboEmulateKey;
    FillKeyList(keys);
    SelectKeyByName(keys, line.defaultKey);
    (this->*line.txtSendKeys).setText(std::u16string(line.defaultSendKeys));
    if (line.defaultGenerateKeys.empty()) return;
    // The lookup list is filled once, before the first Generate Keys text is parsed through it.
    if (cboKeyLookup.listCount() == 0) FillKeyList(cboKeyLookup);
    (this->*line.txtGenerateKeys).setText(std::u16string(line.defaultGenerateKeys));
}

void MainForm::Form_Load() {
    if (claimCommandChannel()) {
        int cancel = 0;
        Form_Unload(cancel);
        handedOver_ = true;
        return;
    }
    optComNone.setValue(true);
    RingOff();
    for (const InputLine& line : inputLines()) loadLineDefaults(line);
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
    for (const InputLine& line : inputLines())
        if (line.name == name) return (this->*line.handler) && (this->*line.handler)->flag();
    return false;
}

void MainForm::LogEvent(std::u16string_view message) {
    std::u16string line = platform_.timeText();
    line += u"  ";
    line += message;
    log_.prepend(line);
    EventLog.setCaption(log_.text());
}

}  // namespace velnor
