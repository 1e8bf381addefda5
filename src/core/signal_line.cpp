#include "core/signal_line.h"

#include <algorithm>
#include <iterator>

#include "core/key_code_strings.h"
#include "core/key_names.h"
#include "core/send_keys.h"
#include "core/serial_control.h"
#include "core/text.h"

namespace velnor {

SignalLine::SignalLine(const InputLine& row, Wiring wiring)
    : row_(row),
      controls_(wiring.controls),
      port_(wiring.port),
      announce_(std::move(wiring.announce)),
      log_(std::move(wiring.log)),
      handler_({.box = controls_.*row.box,
                .optEmulateKey = controls_.*row.optEmulateKey,
                .cboEmulateKey = controls_.*row.cboEmulateKey,
                .optSendKeys = controls_.*row.optSendKeys,
                .txtSendKeys = controls_.*row.txtSendKeys,
                .optGenerateKeys = controls_.*row.optGenerateKeys,
                .txtGenerateKeys = controls_.*row.txtGenerateKeys,
                .cboKeyLookup = controls_.cboKeyLookup},
               wiring.input, std::move(wiring.messageBox)),
      filter_({.level = [&port = wiring.port, &row] { return port.levels().*row.level; },
               .reported = [&port = wiring.port,
                            &row] { return port.reportedLines().lines.*row.level; },
               .showReported = [this](bool reported) { showReported(reported); },
               .portSettleTime = [&port = wiring.port] { return port.settleTime(); },
               .flag = [this] { return handler_.flag(); },
               .on =
                   [this] {
                       handler_.SignalOn();
                       announce_(row_.name, true);
                   },
               .foundOn =
                   [this] {
                       handler_.SignalFoundOn();
                       announce_(row_.name, true);
                   },
               .off =
                   [this] {
                       handler_.SignalOff();
                       announce_(row_.name, false);
                   }},
              wiring.loop) {
    (controls_.*row_.txtGenerateKeys).Change = [this] { txtGenerateKeys_Change(); };
    (controls_.*row_.txtSendKeys).Change = [this] { txtSendKeys_Change(); };
    showSettings();
}

void SignalLine::loadDefaults() {
    (controls_.*row_.optEmulateKey).setValue(true);
    DropDownList& keys = controls_.*row_.cboEmulateKey;
    FillKeyList(keys);
    SelectKeyByName(keys, row_.defaultKey);
    (controls_.*row_.txtSendKeys).setText(std::u16string(row_.defaultSendKeys));
    if (row_.defaultGenerateKeys.empty()) return;
    if (controls_.cboKeyLookup.listCount() == 0) FillKeyList(controls_.cboKeyLookup);
    (controls_.*row_.txtGenerateKeys).setText(std::u16string(row_.defaultGenerateKeys));
}

void SignalLine::setSettleTime(LineFilter::Duration settle) {
    filter_.setSettleTime(settle);
    showSettings();
}

void SignalLine::setInverted(bool inverted) {
    filter_.setInverted(inverted);
    showSettings();
}

void SignalLine::setSettleTime(std::u16string_view milliseconds) {
    const bool digits =
        !milliseconds.empty() && milliseconds.size() <= 4 &&
        std::ranges::all_of(milliseconds, [](char16_t c) { return c >= u'0' && c <= u'9'; });
    int value = 0;
    if (digits)
        for (const char16_t digit : milliseconds) value = value * 10 + (digit - u'0');
    if (digits && LineFilter::Duration(value) <= LineFilter::kMaxSettleTime)
        setSettleTime(LineFilter::Duration(value));
    else
        complain(u"debounce", milliseconds);
}

void SignalLine::setPolarity(std::u16string_view polarity) {
    if (polarity == u"normal" || polarity == u"inverted")
        setInverted(polarity == u"inverted");
    else
        complain(u"polarity", polarity);
}

void SignalLine::complain(std::u16string_view what, std::u16string_view value) const {
    std::u16string message = u"Unknown ";
    message += row_.name;
    message += u' ';
    message += what;
    message += u":  ";
    message += value;
    log_(message);
}

Menu SignalLine::menu() {
    const auto radio = [](std::u16string text, bool checked, auto chosen) {
        return MenuEntry{.text = std::move(text),
                         .mark = MenuEntry::Mark::Radio,
                         .checked = checked,
                         .chosen = std::move(chosen)};
    };
    const int current = static_cast<int>(filter_.settleTime().count());
    const std::u16string name(row_.name);
    std::vector<MenuEntry> settle;
    for (const int preset : kSettleTimePresets)
        settle.push_back(radio(
            preset == 0 ? u"None: every edge acts" : toU16(preset) + u" ms", current == preset,
            [this, preset](std::u16string_view) { setSettleTime(LineFilter::Duration(preset)); }));
    const bool preset =
        std::ranges::find(kSettleTimePresets, current) != std::end(kSettleTimePresets);
    MenuEntry other = radio(preset ? u"Other..." : u"Other (" + toU16(current) + u" ms)...",
                            !preset, [this](std::u16string_view answer) { setSettleTime(answer); });
    const auto longest = static_cast<int>(LineFilter::kMaxSettleTime.count());
    other.question =
        MenuEntry::Question{.title = name + u" settle time",
                            .prompt = u"Milliseconds in which further edges of " + name +
                                      u" are ignored (0 to " + toU16(longest) + u"):",
                            .initial = toU16(current),
                            .range = std::pair(0, longest)};
    settle.push_back(std::move(other));

    std::vector<MenuEntry> polarity;
    for (const bool inverted : {false, true})
        polarity.push_back(radio(inverted ? u"Inverted (normally closed switch)" : u"Normal",
                                 filter_.inverted() == inverted,
                                 [this, inverted](std::u16string_view) { setInverted(inverted); }));
    return {MenuEntry::submenu(u"Settle time", std::move(settle)),
            MenuEntry::submenu(u"Polarity", std::move(polarity))};
}

void SignalLine::showSettings() {
    const auto settle = static_cast<int>(filter_.settleTime().count());
    std::u16string hint = filter_.reported() ? u"" : notReported() + u" ";
    hint += row_.name;
    hint += settle == 0 ? u": every edge acts" : u": settle time " + toU16(settle) + u" ms";
    hint += filter_.inverted() ? u", inverted polarity." : u", normal polarity.";
    hint += u" Right-click to change.";
    frame().setToolTip(std::move(hint));
}

// Neither the on nor the off colour: the line's level means nothing on this port.
void SignalLine::showReported(bool reported) {
    Indicator& box = controls_.*row_.box;
    box.setFillColor(reported ? kIndicatorOff : kIndicatorNotReported);
    box.setToolTip(reported ? std::u16string() : notReported());
    showSettings();
}

std::u16string SignalLine::notReported() const {
    return std::u16string(row_.name) + u" is not reported by " +
           port_.reportedLines().driverWords() + u", so it is ignored.";
}

void SignalLine::txtGenerateKeys_Change() {
    handler_.ParseGenerateKeys();
    TextBox& text = controls_.*row_.txtGenerateKeys;
    text.setProblem(keyCodeStringProblem(text.text(), handler_.generateKeys()));
}

void SignalLine::txtSendKeys_Change() {
    TextBox& text = controls_.*row_.txtSendKeys;
    const auto error = checkSendKeys(text.text());
    text.setProblem(error ? u"Cannot be typed: " + error->message + u" (at character " +
                                toU16(static_cast<int>(error->position) + 1) + u")"
                          : std::u16string());
}

}  // namespace velnor
