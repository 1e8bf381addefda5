#pragma once

// The argument language shared by the command line and the command channel. One table describes
// every option: how an argument is matched to it, how its value is applied, how the present
// configuration writes it back, and its line in the help text.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velnor {

class MainForm;
class SignalLine;

struct ArgumentOption {
    enum class Match {
        // The argument is the option itself: "-dtr".
        Whole,
        // The option followed by its value: "-port=com1"; a line's option after the line's code:
        // "-dsrMode=sendKeys".
        Prefix,
        // A line's option anywhere after the dash, the line named by the three characters after
        // it: "-*SendKeys=*" (CD's code takes in the option's first letter: "cdS"). The value
        // starts just past the option as written for the line named.
        Code,
    };

    // The option as written: "-dtr", "-port="; for a line's option, what follows the line's code:
    // "Mode=".
    std::u16string_view option;
    Match match;
    bool perLine;
    // Applies the value, the text just past the option, to the form; `line` is the line named
    // for a line's option, null for the others.
    void (*apply)(MainForm& form, SignalLine* line, std::u16string_view value);
    // The value that brings a freshly started copy to the present state, "" for an option
    // without a value; nothing where the option is not written. Null for an option never written
    // (its effect is the absence of another).
    std::optional<std::u16string> (*written)(const MainForm& form, const SignalLine* line);
    // For the help text: the value's form where it is short ("none|com1|com2|com3|com4"), and what
    // the option does.
    std::u16string_view valueHelp;
    std::u16string_view help;
};

// Every option in the order in which arguments are matched against them: the window's own first,
// then the additions.
std::span<const ArgumentOption> argumentOptions();

// The help text: usage, one entry per option, the options answered only alone, then
// `environment` (the platform's variables).
std::u16string helpText(std::u16string_view environment);

// What a start is asked for. "--help" and "--version" are answered only as the sole argument: as
// part of a longer command line they are arguments like any other.
enum class StartRequest { Run, Help, Version };
StartRequest startRequest(std::u16string_view commandLine);

}  // namespace velnor
