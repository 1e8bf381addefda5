#pragma once

// The three input lines that drive a handler, DSR, CTS and CD: everything the program does for
// one of them is looked up here, never written out three times.

#include <cstdint>
#include <span>
#include <string_view>

#include "core/layout.h"
#include "core/serial_port.h"

namespace velnor {

struct InputLine {
    std::u16string_view name;  // "DSR": in log lines and hints
    std::u16string_view code;  // "dsr": starts the line's arguments ("-dsrMode=")
    int16_t commEvent;         // the notification of a change of the line
    bool ModemLevels::*level;

    Frame FormControls::*frame;
    Indicator FormControls::*box;
    OptionButton FormControls::*optEmulateKey;
    DropDownList FormControls::*cboEmulateKey;
    OptionButton FormControls::*optSendKeys;
    TextBox FormControls::*txtSendKeys;
    OptionButton FormControls::*optGenerateKeys;
    TextBox FormControls::*txtGenerateKeys;

    // What start-up writes into the controls.
    std::u16string_view defaultKey;
    std::u16string_view defaultSendKeys;
    std::u16string_view defaultGenerateKeys;
};

// DSR, CTS and CD, in that order.
std::span<const InputLine> inputLines();

}  // namespace velnor
