#include "core/signal_line.h"

#include <algorithm>
#include <iterator>

#include "core/key_code_strings.h"
#include "core/key_names.h"
#include "core/send_keys.h"
#include "core/serial_control.h"
#include "core/text.h"
#include "core/virtual_keys.h"

namespace velnor {
namespace {

using Duration = EventLoop::Duration;

// A whole number of milliseconds from 0 to `longest`, written in digits only.
std::optional<Duration> wholeMilliseconds(std::u16string_view digits, Duration longest) {
    if (digits.empty() || digits.size() > 6 ||
        !std::ranges::all_of(digits, [](char16_t c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    int value = 0;
    for (const char16_t digit : digits) value = value * 10 + (digit - u'0');
    if (Duration(value) > longest) return std::nullopt;
    return Duration(value);
}

// "<ms>,<rest>": the milliseconds before the first comma, up to the longest an addition takes,
// and what follows the comma; nothing without a comma or a number before it.
std::optional<std::pair<Duration, std::u16string_view>> leadingMilliseconds(
    std::u16string_view words) {
    const size_t comma = words.find(u',');
    if (comma == std::u16string_view::npos) return std::nullopt;
    const auto value = wholeMilliseconds(words.substr(0, comma), LineExtras::kLongest);
    if (!value) return std::nullopt;
    return std::pair(*value, words.substr(comma + 1));
}

// The words that switch an addition off.
bool isOff(std::u16string_view words) {
    return words.empty() || words == u"off";
}

std::u16string ms(Duration duration) {
    return toU16(static_cast<int>(duration.count()));
}

}  // namespace

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
               wiring.input, std::move(wiring.messageBox), wiring.loop),
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
                   },
               .lost =
                   [this] {
                       const bool wasOn = handler_.flag();
                       handler_.SignalLost();
                       if (wasOn) announce_(row_.name, false);
                   }},
              wiring.loop) {
    (controls_.*row_.txtGenerateKeys).Change = [this] { txtGenerateKeys_Change(); };
    (controls_.*row_.txtSendKeys).Change = [this] { txtSendKeys_Change(); };
    for (const auto mode : {row.optEmulateKey, row.optSendKeys, row.optGenerateKeys})
        (controls_.*mode).Click = [this] { handler_.releaseLatched(); };
    (controls_.*row_.cboEmulateKey).Click = [this] { keyChosen(); };
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
    if (const auto value = wholeMilliseconds(milliseconds, LineFilter::kMaxSettleTime))
        setSettleTime(*value);
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

void SignalLine::setExtras(LineExtras extras) {
    handler_.setExtras(std::move(extras));
    showSettings();
}

void SignalLine::setRepeat(std::u16string_view words) {
    LineExtras extras = handler_.extras();
    const auto delay = leadingMilliseconds(words);
    const auto interval =
        delay ? wholeMilliseconds(delay->second, LineExtras::kLongest) : std::nullopt;
    if (isOff(words))
        extras.repeat.reset();
    else if (interval && *interval > Duration::zero())
        extras.repeat = LineExtras::Repeat{.delay = delay->first, .interval = *interval};
    else
        return complain(u"repeat", words);
    setExtras(std::move(extras));
}

std::optional<std::u16string> SignalLine::repeat() const {
    const auto& repeat = handler_.extras().repeat;
    if (!repeat) return std::nullopt;
    return ms(repeat->delay) + u"," + ms(repeat->interval);
}

void SignalLine::setRelease(std::u16string_view text) {
    if (checkSendKeys(text)) return complain(u"release text", text);
    LineExtras extras = handler_.extras();
    extras.release = text;
    setExtras(std::move(extras));
}

std::optional<std::u16string> SignalLine::release() const {
    const std::u16string& text = handler_.extras().release;
    if (text.empty()) return std::nullopt;
    return text;
}

void SignalLine::setLongPress(std::u16string_view words) {
    LineExtras extras = handler_.extras();
    const auto threshold = leadingMilliseconds(words);
    if (isOff(words))
        extras.longPress.reset();
    else if (threshold && threshold->first > Duration::zero() && !checkSendKeys(threshold->second))
        extras.longPress = LineExtras::LongPress{.threshold = threshold->first,
                                                 .text = std::u16string(threshold->second)};
    else
        return complain(u"long press", words);
    setExtras(std::move(extras));
}

std::optional<std::u16string> SignalLine::longPress() const {
    const auto& longPress = handler_.extras().longPress;
    if (!longPress) return std::nullopt;
    return ms(longPress->threshold) + u"," + longPress->text;
}

void SignalLine::setLatch(std::u16string_view words) {
    if (words != u"on" && words != u"off") return complain(u"latch", words);
    LineExtras extras = handler_.extras();
    extras.latch = words == u"on";
    setExtras(std::move(extras));
}

std::optional<std::u16string> SignalLine::latch() const {
    if (!handler_.extras().latch) return std::nullopt;
    return u"on";
}

void SignalLine::setOtherKey(std::u16string_view name) {
    const OtherKey* key = otherKeyByName(name);
    if (!key && name != u"none") return complain(u"other key", name);
    LineExtras extras = handler_.extras();
    DropDownList& keys = controls_.*row_.cboEmulateKey;
    if (key) {
        // The list shows the key it no longer holds as none of its entries.
        keys.setListIndex(-1);
        keys.setText(std::u16string(key->caption));
    } else if (extras.otherKey) {
        SelectKeyByName(keys, row_.defaultKey);
    }
    extras.otherKey = key ? key->code : 0;
    setExtras(std::move(extras));
}

std::optional<std::u16string> SignalLine::otherKey() const {
    const OtherKey* key = otherKeyOf(handler_.extras().otherKey);
    if (!key) return std::nullopt;
    return std::u16string(key->braceName);
}

void SignalLine::keyChosen() {
    handler_.releaseLatched();
    if ((controls_.*row_.cboEmulateKey).listIndex() < 0 || !handler_.extras().otherKey) return;
    LineExtras extras = handler_.extras();
    extras.otherKey = 0;
    setExtras(std::move(extras));
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
    Menu menu{MenuEntry::submenu(u"Settle time", std::move(settle)),
              MenuEntry::submenu(u"Polarity", std::move(polarity)), MenuEntry::separator()};
    std::ranges::move(extrasMenu(), std::back_inserter(menu));
    return menu;
}

Menu SignalLine::extrasMenu() {
    const std::u16string name(row_.name);
    const LineExtras& extras = handler_.extras();
    const auto question = [&name](std::u16string title, std::u16string prompt,
                                  std::optional<std::u16string> initial) {
        return MenuEntry::Question{.title = name + u" " + std::move(title),
                                   .prompt = std::move(prompt),
                                   .initial = initial.value_or(u"")};
    };

    std::vector<MenuEntry> repeats;
    constexpr std::pair<int, int> kRepeats[] = {{500, 100}, {250, 30}};
    bool preset = !extras.repeat;
    repeats.push_back({.text = u"Off",
                       .mark = MenuEntry::Mark::Radio,
                       .checked = !extras.repeat,
                       .chosen = [this](std::u16string_view) { setRepeat(u"off"); }});
    for (const auto& [delay, interval] : kRepeats) {
        const LineExtras::Repeat repeat{.delay = Duration(delay), .interval = Duration(interval)};
        const bool chosen = extras.repeat == repeat;
        preset = preset || chosen;
        const std::u16string words = toU16(delay) + u"," + toU16(interval);
        repeats.push_back(
            {.text = u"After " + toU16(delay) + u" ms, every " + toU16(interval) + u" ms",
             .mark = MenuEntry::Mark::Radio,
             .checked = chosen,
             .chosen = [this, words](std::u16string_view) { setRepeat(words); }});
    }
    repeats.push_back(
        {.text = u"Other...",
         .mark = MenuEntry::Mark::Radio,
         .checked = !preset,
         .question = question(u"repeat",
                              u"Milliseconds before the first repeat and between repeats, as "
                              u"500,100 (SendKeys and Generate Keys):",
                              repeat()),
         .chosen = [this](std::u16string_view answer) { setRepeat(answer); }});

    std::vector<MenuEntry> others{
        {.text = u"None: the key list's",
         .mark = MenuEntry::Mark::Radio,
         .checked = extras.otherKey == 0,
         .chosen = [this](std::u16string_view) { setOtherKey(u"none"); }}};
    for (const OtherKey& key : otherKeys())
        others.push_back(
            {.text = std::u16string(key.caption),
             .mark = MenuEntry::Mark::Radio,
             .checked = extras.otherKey == key.code,
             .chosen = [this, name = key.braceName](std::u16string_view) { setOtherKey(name); }});

    return {
        MenuEntry::submenu(u"Repeat while on", std::move(repeats)),
        {.text = u"On release...",
         .mark = MenuEntry::Mark::Check,
         .checked = !extras.release.empty(),
         .question = question(u"on release",
                              u"SendKeys text typed as " + name + u" goes off (empty for none):",
                              release()),
         .chosen = [this](std::u16string_view answer) { setRelease(answer); }},
        {.text = u"Long press...",
         .mark = MenuEntry::Mark::Check,
         .checked = extras.longPress.has_value(),
         .question = question(u"long press",
                              u"Milliseconds a long press lasts and the SendKeys text it types, "
                              u"as 600,{ESC} (empty for none):",
                              longPress()),
         .chosen = [this](std::u16string_view answer) { setLongPress(answer); }},
        {.text = u"Latch: each press holds or releases the key",
         .mark = MenuEntry::Mark::Check,
         .checked = extras.latch,
         .chosen = [this,
                    on = extras.latch](std::u16string_view) { setLatch(on ? u"off" : u"on"); }},
        MenuEntry::submenu(u"Other key", std::move(others)),
    };
}

void SignalLine::showSettings() {
    const auto settle = static_cast<int>(filter_.settleTime().count());
    std::u16string hint = filter_.reported() ? u"" : notReported() + u" ";
    hint += row_.name;
    hint += settle == 0 ? u": every edge acts" : u": settle time " + toU16(settle) + u" ms";
    hint += filter_.inverted() ? u", inverted polarity." : u", normal polarity.";
    const LineExtras& extras = handler_.extras();
    if (const OtherKey* key = otherKeyOf(extras.otherKey))
        hint += u" Holds " + std::u16string(key->caption) + u".";
    if (extras.latch) hint += u" Each press holds or releases the key.";
    if (extras.repeat)
        hint += u" Repeats after " + ms(extras.repeat->delay) + u" ms, every " +
                ms(extras.repeat->interval) + u" ms.";
    if (extras.longPress)
        hint += u" A press of " + ms(extras.longPress->threshold) + u" ms or more types \"" +
                extras.longPress->text + u"\".";
    if (!extras.release.empty()) hint += u" On release types \"" + extras.release + u"\".";
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
