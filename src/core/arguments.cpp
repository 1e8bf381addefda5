// The argument language shared by the command line and the command channel. Arguments act only
// through the window's controls, so each one takes effect exactly as the user's input would.

#include <array>
#include <optional>

#include "core/command_line.h"
#include "core/key_names.h"
#include "core/main_form.h"
#include "core/pattern.h"
#include "core/split_text.h"
#include "core/text.h"

namespace velnor {
namespace {

enum class LineField { EmulateKey, SendKeys, GenerateKeys };

struct LineOption {
    std::u16string_view name;  // what follows the line's code: "EmulateKey="
    LineField field;
};

constexpr std::array<LineOption, 3> kLineOptions = {{
    {u"EmulateKey=", LineField::EmulateKey},
    {u"SendKeys=", LineField::SendKeys},
    {u"GenerateKeys=", LineField::GenerateKeys},
}};

// "-" + code + option: the part of an argument before its value.
std::u16string optionOf(std::u16string_view code, std::u16string_view option) {
    std::u16string written = u"-";
    written += code;
    written += option;
    return written;
}

// Whether `argument` is `option` followed by any value (possibly empty).
bool hasOption(std::u16string_view argument, std::u16string_view option) {
    return argument.starts_with(option);
}

// A settle time: a whole number of milliseconds, written in decimal digits only.
std::optional<LineFilter::Duration> settleTimeFrom(std::u16string_view value) {
    if (value.empty() || value.size() > 4) return std::nullopt;
    int milliseconds = 0;
    for (const char16_t digit : value) {
        if (digit < u'0' || digit > u'9') return std::nullopt;
        milliseconds = milliseconds * 10 + (digit - u'0');
    }
    const LineFilter::Duration settle(milliseconds);
    if (settle > LineFilter::kMaxSettleTime) return std::nullopt;
    return settle;
}

}  // namespace

bool MainForm::applyModeArgument(std::u16string_view argument) {
    for (const InputLine& line : inputLines()) {
        const std::u16string option = optionOf(line.code, u"Mode=");
        if (!hasOption(argument, option)) continue;
        const std::u16string_view value = argument.substr(option.size());
        if (value == u"emulateKey")
            (this->*line.optEmulateKey).setValue(true);
        else if (value == u"sendKeys")
            (this->*line.optSendKeys).setValue(true);
        else if (value == u"generateKeys")
            (this->*line.optGenerateKeys).setValue(true);
        else
            LogEvent(u"Unknown " + std::u16string(line.name) + u" mode:  " + std::u16string(value));
        return true;
    }
    return false;
}

bool MainForm::applyLineArgument(std::u16string_view argument) {
    for (const LineOption& option : kLineOptions) {
        if (!matchesPattern(argument, u"-*" + std::u16string(option.name) + u"*")) continue;
        // The signal code is the three characters after the dash; a code of two letters (CD)
        // takes in the first letter of the option's own name.
        const std::u16string_view code = argument.substr(1, 3);
        const InputLine* found = nullptr;
        for (const InputLine& line : inputLines())
            if (code == optionOf(line.code, option.name).substr(1, 3)) found = &line;
        if (!found) {
            LogEvent(u"Unknown signal name:  " + std::u16string(code));
            return true;
        }
        const InputLine& line = *found;
        std::u16string value(argument.substr(optionOf(line.code, option.name).size()));
        switch (option.field) {
            case LineField::EmulateKey:
                SelectKeyByName(this->*line.cboEmulateKey, value);
                break;
            case LineField::SendKeys:
                (this->*line.txtSendKeys).setText(std::move(value));
                break;
            case LineField::GenerateKeys:
                (this->*line.txtGenerateKeys).setText(std::move(value));
                break;
        }
        return true;
    }
    return false;
}

// Settings beyond the window's controls; tested after every option of the controls.
bool MainForm::applyLineSettingArgument(std::u16string_view argument) {
    for (const InputLine& line : inputLines()) {
        const std::u16string debounce = optionOf(line.code, u"Debounce=");
        const std::u16string polarity = optionOf(line.code, u"Polarity=");
        const bool isDebounce = hasOption(argument, debounce);
        if (!isDebounce && !hasOption(argument, polarity)) continue;
        const std::u16string_view value = argument.substr(debounce.size());
        const std::u16string name(line.name);
        if (!isDebounce) {
            if (value == u"normal" || value == u"inverted")
                setInverted(line, value == u"inverted");
            else
                LogEvent(u"Unknown " + name + u" polarity:  " + std::u16string(value));
        } else if (const auto settle = settleTimeFrom(value)) {
            setSettleTime(line, *settle);
        } else {
            LogEvent(u"Unknown " + name + u" debounce:  " + std::u16string(value));
        }
        return true;
    }
    return false;
}

// A text with spaces in the percent-encoded form of its option: "-dsrSendKeys%=Hello%20World".
bool MainForm::applyEncodedTextArgument(std::u16string_view argument) {
    for (const InputLine& line : inputLines()) {
        const std::pair<std::u16string_view, TextBox FormControls::*> options[] = {
            {u"SendKeys", line.txtSendKeys}, {u"GenerateKeys", line.txtGenerateKeys}};
        for (const auto& [name, text] : options) {
            const std::u16string option = optionOf(line.code, std::u16string(name) + u"%=");
            if (!hasOption(argument, option)) continue;
            const std::u16string_view value = argument.substr(option.size());
            if (auto decoded = percentDecoded(value))
                (this->*text).setText(std::move(*decoded));
            else
                LogEvent(u"Unknown " + std::u16string(line.name) + u" " + std::u16string(name) +
                         u" text:  " + std::u16string(value));
            return true;
        }
    }
    return false;
}

void MainForm::applyArgument(std::u16string_view argument) {
    if (hasOption(argument, u"-port=")) {
        const std::u16string_view value = argument.substr(6);
        const std::pair<std::u16string_view, OptionButton*> ports[] = {{u"none", &optComNone},
                                                                       {u"com1", &optCom1},
                                                                       {u"com2", &optCom2},
                                                                       {u"com3", &optCom3},
                                                                       {u"com4", &optCom4}};
        for (const auto& [word, button] : ports)
            if (value == word) button->setValue(true);
        return;
    }
    // An option without a value that selects a button.
    const auto selects = [argument](std::u16string_view option, OptionButton& button) {
        if (argument != option) return false;
        button.setValue(true);
        return true;
    };
    if (selects(u"-dtr", optDTROn) || selects(u"-rts", optRTSOn)) return;
    if (applyModeArgument(argument) || applyLineArgument(argument)) return;
    if (argument == u"-minimize") {
        window.setWindowState(WindowState::Minimized);
        return;
    }
    if (selects(u"-dtrOff", optDTROff) || selects(u"-rtsOff", optRTSOff) ||
        applyLineSettingArgument(argument) || applyEncodedTextArgument(argument))
        return;
    LogEvent(u"Unknown argument:  " + std::u16string(argument));
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

}  // namespace velnor
