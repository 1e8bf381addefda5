// Arguments act only through the window's controls, so each one takes effect exactly as the
// user's input would.

#include "core/arguments.h"

#include <array>

#include "core/command_line.h"
#include "core/key_names.h"
#include "core/main_form.h"
#include "core/pattern.h"
#include "core/split_text.h"
#include "core/text.h"

namespace velnor {
namespace {

using Optional = std::optional<std::u16string>;
using Match = ArgumentOption::Match;

OptionButton FormControls::*const kPortButtons[] = {&FormControls::optComNone,
                                                    &FormControls::optCom1, &FormControls::optCom2,
                                                    &FormControls::optCom3, &FormControls::optCom4};
constexpr std::u16string_view kPortWords[] = {u"none", u"com1", u"com2", u"com3", u"com4"};

struct Mode {
    std::u16string_view word;
    OptionButton FormControls::*InputLine::*button;
};
constexpr Mode kModes[] = {{u"emulateKey", &InputLine::optEmulateKey},
                           {u"sendKeys", &InputLine::optSendKeys},
                           {u"generateKeys", &InputLine::optGenerateKeys}};

// The line's control of a role (optSendKeys, txtGenerateKeys, ...), const on a const form.
template <class Form, class Control>
auto& controlOf(Form& form, const SignalLine& line, Control FormControls::*InputLine::*role) {
    return form.*(line.row().*role);
}

void applyPort(MainForm& form, SignalLine*, std::u16string_view value) {
    for (size_t i = 0; i < std::size(kPortWords); ++i)
        if (value == kPortWords[i]) (form.*kPortButtons[i]).setValue(true);
}

Optional writtenPort(const MainForm& form, const SignalLine*) {
    for (size_t i = 1; i < std::size(kPortWords); ++i)
        if ((form.*kPortButtons[i]).value()) return std::u16string(kPortWords[i]);
    return std::nullopt;
}

// An option without a value that selects a button, and is written while the button is selected.
template <OptionButton FormControls::*button>
void select(MainForm& form, SignalLine*, std::u16string_view) {
    (form.*button).setValue(true);
}

template <OptionButton FormControls::*button>
Optional writtenWhileSelected(const MainForm& form, const SignalLine*) {
    return (form.*button).value() ? Optional(u"") : std::nullopt;
}

void applyMinimize(MainForm& form, SignalLine*, std::u16string_view) {
    form.window.setWindowState(WindowState::Minimized);
}

Optional writtenMinimize(const MainForm& form, const SignalLine*) {
    return form.window.windowState() == WindowState::Minimized ? Optional(u"") : std::nullopt;
}

void applyMode(MainForm& form, SignalLine* line, std::u16string_view value) {
    for (const Mode& mode : kModes) {
        if (value != mode.word) continue;
        controlOf(form, *line, mode.button).setValue(true);
        return;
    }
    line->complain(u"mode", value);
}

Optional writtenMode(const MainForm& form, const SignalLine* line) {
    for (const Mode& mode : kModes)
        if (controlOf(form, *line, mode.button).value()) return std::u16string(mode.word);
    return std::nullopt;
}

void applyEmulateKey(MainForm& form, SignalLine* line, std::u16string_view value) {
    SelectKeyByName(controlOf(form, *line, &InputLine::cboEmulateKey), value);
}

Optional writtenEmulateKey(const MainForm& form, const SignalLine* line) {
    const DropDownList& keys = controlOf(form, *line, &InputLine::cboEmulateKey);
    if (keys.listIndex() < 0) return std::nullopt;
    return std::u16string(keyNameOf(keys.entries()[static_cast<size_t>(keys.listIndex())].text));
}

// A line's value in words, as the line keeps it; nothing where it is not written.
template <TextBox FormControls::*InputLine::*text>
struct BoxText {
    static constexpr std::u16string_view what =
        text == &InputLine::txtSendKeys ? u"SendKeys text" : u"GenerateKeys text";
    static void set(MainForm& form, SignalLine& line, std::u16string_view value) {
        controlOf(form, line, text).setText(std::u16string(value));
    }
    static Optional get(const MainForm& form, const SignalLine& line) {
        return controlOf(form, line, text).text();
    }
};

template <void (SignalLine::*setter)(std::u16string_view), Optional (SignalLine::*getter)() const>
struct Extra {
    static void set(MainForm&, SignalLine& line, std::u16string_view value) {
        (line.*setter)(value);
    }
    static Optional get(const MainForm&, const SignalLine& line) { return (line.*getter)(); }
};

struct ReleaseText : Extra<&SignalLine::setRelease, &SignalLine::release> {
    static constexpr std::u16string_view what = u"release text";
};
struct LongPressWords : Extra<&SignalLine::setLongPress, &SignalLine::longPress> {
    static constexpr std::u16string_view what = u"long press";
};

// A value as it stands or percent-encoded; each form is written where it carries the value whole.
template <class Value>
void applyPlain(MainForm& form, SignalLine* line, std::u16string_view value) {
    Value::set(form, *line, value);
}

template <class Value>
Optional writtenPlain(const MainForm& form, const SignalLine* line) {
    Optional written = Value::get(form, *line);
    if (written && needsPercentEncoding(*written)) return std::nullopt;
    return written;
}

template <class Value>
void applyEncoded(MainForm& form, SignalLine* line, std::u16string_view value) {
    if (auto decoded = percentDecoded(value))
        Value::set(form, *line, *decoded);
    else
        line->complain(Value::what, value);
}

template <class Value>
Optional writtenEncoded(const MainForm& form, const SignalLine* line) {
    const Optional written = Value::get(form, *line);
    if (!written || !needsPercentEncoding(*written)) return std::nullopt;
    return percentEncoded(*written);
}

using SendKeysText = BoxText<&InputLine::txtSendKeys>;
using GenerateKeysText = BoxText<&InputLine::txtGenerateKeys>;
using RepeatWords = Extra<&SignalLine::setRepeat, &SignalLine::repeat>;
using LatchWords = Extra<&SignalLine::setLatch, &SignalLine::latch>;
using OtherKeyName = Extra<&SignalLine::setOtherKey, &SignalLine::otherKey>;

void applyDebounce(MainForm&, SignalLine* line, std::u16string_view value) {
    line->setSettleTime(value);
}

Optional writtenDebounce(const MainForm&, const SignalLine* line) {
    const auto settle = static_cast<int>(line->filter().settleTime().count());
    return settle == 0 ? std::nullopt : Optional(toU16(settle));
}

void applyPolarity(MainForm&, SignalLine* line, std::u16string_view value) {
    line->setPolarity(value);
}

Optional writtenPolarity(const MainForm&, const SignalLine* line) {
    return line->filter().inverted() ? Optional(u"inverted") : std::nullopt;
}

void applyMinimizeToTray(MainForm& form, SignalLine*, std::u16string_view) {
    form.setMinimizeToTray(true);
}

Optional writtenMinimizeToTray(const MainForm& form, const SignalLine*) {
    return form.minimizeToTray() ? Optional(u"") : std::nullopt;
}

constexpr std::array kOptions = {
    ArgumentOption{u"-port=", Match::Prefix, false, applyPort, writtenPort,
                   u"none|com1|com2|com3|com4", u"release the port, or open COM1 to COM4"},
    ArgumentOption{u"-dtr", Match::Whole, false, select<&FormControls::optDTROn>,
                   writtenWhileSelected<&FormControls::optDTROn>, u"",
                   u"switch DTR on (needs an open port)"},
    ArgumentOption{u"-rts", Match::Whole, false, select<&FormControls::optRTSOn>,
                   writtenWhileSelected<&FormControls::optRTSOn>, u"",
                   u"switch RTS on (needs an open port)"},
    ArgumentOption{u"Mode=", Match::Prefix, true, applyMode, writtenMode, u"MODE",
                   u"emulateKey, sendKeys or generateKeys"},
    ArgumentOption{u"EmulateKey=", Match::Code, true, applyEmulateKey, writtenEmulateKey, u"NAME",
                   u"the key held while on, e.g. vbKeyShift"},
    ArgumentOption{u"SendKeys=", Match::Code, true, applyPlain<SendKeysText>,
                   writtenPlain<SendKeysText>, u"TEXT",
                   u"typed when the line comes on, e.g. %{TAB}"},
    ArgumentOption{u"GenerateKeys=", Match::Code, true, applyPlain<GenerateKeysText>,
                   writtenPlain<GenerateKeysText>, u"KEYS",
                   u"played when it comes on: vbKeyMenu+vbKeyTab"},
    ArgumentOption{u"-minimize", Match::Whole, false, applyMinimize, writtenMinimize, u"",
                   u"start minimised"},
    ArgumentOption{u"-dtrOff", Match::Whole, false, select<&FormControls::optDTROff>, nullptr, u"",
                   u"switch DTR off"},
    ArgumentOption{u"-rtsOff", Match::Whole, false, select<&FormControls::optRTSOff>, nullptr, u"",
                   u"switch RTS off"},
    ArgumentOption{u"Debounce=", Match::Prefix, true, applyDebounce, writtenDebounce, u"MS",
                   u"settle time, 0 to 1000 ms (default 0)"},
    ArgumentOption{u"Polarity=", Match::Prefix, true, applyPolarity, writtenPolarity,
                   u"normal|inverted", u"inverted for a normally closed switch"},
    ArgumentOption{u"SendKeys%=", Match::Prefix, true, applyEncoded<SendKeysText>,
                   writtenEncoded<SendKeysText>, u"TEXT",
                   u"the same, spaces %20, '%' %25, '=' %3D"},
    ArgumentOption{u"GenerateKeys%=", Match::Prefix, true, applyEncoded<GenerateKeysText>,
                   writtenEncoded<GenerateKeysText>, u"KEYS", u"the same, percent-encoded"},
    ArgumentOption{u"Repeat=", Match::Prefix, true, applyPlain<RepeatWords>,
                   writtenPlain<RepeatWords>, u"MS,MS|off",
                   u"play the text again after a delay, then at an interval, while on"},
    ArgumentOption{u"Release=", Match::Prefix, true, applyPlain<ReleaseText>,
                   writtenPlain<ReleaseText>, u"TEXT", u"typed when the line goes off"},
    ArgumentOption{u"Release%=", Match::Prefix, true, applyEncoded<ReleaseText>,
                   writtenEncoded<ReleaseText>, u"TEXT", u"the same, percent-encoded"},
    ArgumentOption{u"LongPress=", Match::Prefix, true, applyPlain<LongPressWords>,
                   writtenPlain<LongPressWords>, u"MS,TEXT|off",
                   u"a press of MS or more types TEXT instead of the line's action"},
    ArgumentOption{u"LongPress%=", Match::Prefix, true, applyEncoded<LongPressWords>,
                   writtenEncoded<LongPressWords>, u"MS,TEXT", u"the same, percent-encoded"},
    ArgumentOption{u"Latch=", Match::Prefix, true, applyPlain<LatchWords>, writtenPlain<LatchWords>,
                   u"on|off", u"each press holds or releases the emulated key"},
    ArgumentOption{u"OtherKey=", Match::Prefix, true, applyPlain<OtherKeyName>,
                   writtenPlain<OtherKeyName>, u"NAME",
                   u"hold a key beyond the list: F17-F24, MEDIA_PLAY_PAUSE, ..."},
    ArgumentOption{u"-minimizeToTray", Match::Whole, false, applyMinimizeToTray,
                   writtenMinimizeToTray, u"", u"hide to the tray when minimised"},
};

// "-" + code + option: a line's option as written before its value.
std::u16string lineOption(const SignalLine& line, std::u16string_view option) {
    std::u16string written = u"-";
    written += line.row().code;
    written += option;
    return written;
}

// Applies `argument` when it is of `option`; false when it is not.
bool applyIfOf(MainForm& form, const ArgumentOption& option, std::u16string_view argument) {
    if (!option.perLine) {
        if (option.match == Match::Whole ? argument != option.option
                                         : !argument.starts_with(option.option))
            return false;
        option.apply(form, nullptr, argument.substr(option.option.size()));
        return true;
    }
    if (option.match == Match::Prefix) {
        for (SignalLine& line : form.lines) {
            const std::u16string written = lineOption(line, option.option);
            if (!argument.starts_with(written)) continue;
            option.apply(form, &line, argument.substr(written.size()));
            return true;
        }
        return false;
    }
    if (!matchesPattern(argument, u"-*" + std::u16string(option.option) + u"*")) return false;
    const std::u16string_view code = argument.substr(1, 3);
    for (SignalLine& line : form.lines) {
        const std::u16string written = lineOption(line, option.option);
        if (code != std::u16string_view(written).substr(1, 3)) continue;
        option.apply(form, &line, argument.substr(written.size()));
        return true;
    }
    form.LogEvent(u"Unknown signal name:  " + std::u16string(code));
    return true;
}

}  // namespace

std::span<const ArgumentOption> argumentOptions() {
    return kOptions;
}

void MainForm::applyArgument(std::u16string_view argument) {
    for (const ArgumentOption& option : kOptions)
        if (applyIfOf(*this, option, argument)) return;
    LogEvent(u"Unknown argument:  " + std::u16string(argument));
}

// The window's options first, then each line's in the order of the table.
std::u16string MainForm::commandLine() const {
    std::u16string arguments;
    const auto add = [&arguments](std::u16string_view option, const Optional& value) {
        if (!value) return;
        if (!arguments.empty()) arguments += u' ';
        arguments += option;
        arguments += *value;
    };
    for (const ArgumentOption& option : kOptions)
        if (!option.perLine && option.written) add(option.option, option.written(*this, nullptr));
    for (const SignalLine& line : lines)
        for (const ArgumentOption& option : kOptions)
            if (option.perLine && option.written)
                add(lineOption(line, option.option), option.written(*this, &line));
    return arguments;
}

bool MainForm::refuseOverlongArguments(std::u16string_view arguments) {
    if (arguments.size() <= kMaxArgumentsLength) return false;
    LogEvent(u"Arguments of " + toU16(static_cast<int>(arguments.size())) +
             u" characters not applied: at most " + toU16(static_cast<int>(kMaxArgumentsLength)) +
             u" are accepted");
    return true;
}

void MainForm::ProcessArguments(std::u16string_view arguments) {
    if (arguments.empty() || refuseOverlongArguments(arguments)) return;
    const auto pieces = SplitText(arguments, u" ");
    if (!pieces) return;
    for (size_t i = 0; i < pieces->size(); ++i) {
        const std::u16string& piece = pieces->at(i);
        LogEvent(u"arg(" + toU16(static_cast<int>(i + 1)) + u") = " + piece);
        applyArgument(piece);
    }
}

void MainForm::Form_LinkOpen(int& cancel) {
    cancel = 0;
}

void MainForm::Form_LinkExecute(const std::u16string& command, int& cancel) {
    // An over-long command is refused before it reaches the log, and the client hears so.
    if (refuseOverlongArguments(command)) {
        cancel = 1;
        return;
    }
    cancel = 0;
    LogEvent(u"DDE LinkExecute:  " + command);
    ProcessArguments(command);
}

std::u16string helpText(std::u16string_view environment) {
    constexpr size_t kDescriptionColumn = 34;
    std::u16string text =
        u"Usage: velnor [ARGUMENT...]\n"
        u"Turns the modem-status lines of a serial port (DSR, CTS, CD, RI) into keys and\n"
        u"mouse buttons.\n\n"
        u"Arguments, applied in order after the defaults (a running copy takes them over):\n";
    for (const ArgumentOption& option : kOptions) {
        std::u16string spelled = u"  ";
        if (option.perLine) {
            for (const InputLine& line : inputLines()) {
                if (line.code != inputLines().front().code) spelled += u", ";
                spelled += u"-";
                spelled += line.code;
                spelled += option.option;
            }
        } else {
            spelled += option.option;
        }
        spelled += option.valueHelp;
        text += spelled;
        if (spelled.size() + 2 > kDescriptionColumn) {
            text += u'\n';
            spelled.clear();
        }
        text += std::u16string(kDescriptionColumn - spelled.size(), u' ');
        text += option.help;
        text += u'\n';
    }
    text += u"\nWhen given alone:\n";
    text += u"  --help" + std::u16string(kDescriptionColumn - 8, u' ') + u"print this text\n";
    text +=
        u"  --version" + std::u16string(kDescriptionColumn - 11, u' ') + u"print the version\n\n";
    text += environment;
    return text;
}

StartRequest startRequest(std::u16string_view commandLine) {
    const auto pieces = SplitText(commandLine, u" ");
    if (!pieces || pieces->size() != 1) return StartRequest::Run;
    if (pieces->front() == u"--help") return StartRequest::Help;
    if (pieces->front() == u"--version") return StartRequest::Version;
    return StartRequest::Run;
}

}  // namespace velnor
