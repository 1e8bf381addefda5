#pragma once

// The window's static content: every control with its name, kind, container, caption or initial
// text, geometry and visibility, in the window's stored order. layoutTable() is the only place
// these are written; the form's controls and every view are built from it.

#include <span>
#include <string_view>
#include <variant>

#include "core/controls.h"

namespace velnor {

// The controls of the window, by the names the program uses for them.
struct FormControls {
    FormControls();
    FormControls(const FormControls&) = delete;
    FormControls& operator=(const FormControls&) = delete;

    // Every control hears its changes through `observer` (null: nobody listens).
    void setObserver(ControlObserver* observer);

    Form window;
    Frame Frame1;
    TextBox txtGenerateKeyCodes;
    TextBox txtCommandLine;
    Label EventLog;
    Frame frameCD;
    TextBox txtCDGenerateKeys;
    OptionButton optCDGenerateKeys;
    TextBox txtCDSendKeys;
    OptionButton optCDSendKeys;
    OptionButton optCDEmulateKey;
    DropDownList cboCDEmulateKey;
    Indicator boxCD;
    Frame frameCTS;
    OptionButton optCTSGenerateKeys;
    TextBox txtCTSGenerateKeys;
    DropDownList cboCTSEmulateKey;
    OptionButton optCTSEmulateKey;
    OptionButton optCTSSendKeys;
    TextBox txtCTSSendKeys;
    Indicator boxCTS;
    Frame frameDSR;
    DropDownList cboKeyLookup;
    TextBox txtDSRGenerateKeys;
    OptionButton optDSRGenerateKeys;
    TextBox txtDSRSendKeys;
    OptionButton optDSRSendKeys;
    OptionButton optDSREmulateKey;
    DropDownList cboDSREmulateKey;
    Indicator boxDSR;
    Frame frameRI;
    Label RITimeStamp;
    Indicator boxRI;
    Frame RTS;
    OptionButton optRTSOn;
    OptionButton optRTSOff;
    Frame Port;
    OptionButton optComNone;
    OptionButton optCom4;
    OptionButton optCom3;
    OptionButton optCom2;
    OptionButton optCom1;
    Frame DTR;
    OptionButton optDTROff;
    OptionButton optDTROn;
};

using ControlMember =
    std::variant<Form FormControls::*, Frame FormControls::*, OptionButton FormControls::*,
                 TextBox FormControls::*, DropDownList FormControls::*, Label FormControls::*,
                 Indicator FormControls::*>;

struct LayoutEntry {
    ControlMember member;
    std::u16string_view name;
    Frame FormControls::*container;  // null: the form itself, or a control placed on it
    std::u16string_view caption;     // caption, or initial text
    Geometry geometry;
    bool visible = true;
    bool selected = false;  // an option button selected from the start
};

// The form first, then its controls in the window's stored order.
std::span<const LayoutEntry> layoutTable();

// The control a table entry stands for.
Control& controlOf(FormControls& controls, const LayoutEntry& entry);

// Calls `visit(control)` with each control of `controls` as its own type, in table order.
template <class Visitor>
void forEachControl(FormControls& controls, Visitor&& visit) {
    for (const LayoutEntry& entry : layoutTable())
        std::visit([&](auto member) { visit(controls.*member); }, entry.member);
}

inline constexpr int kTwipsPerPixelAt96Dpi = 15;

}  // namespace velnor
