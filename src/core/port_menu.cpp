// What the port buttons stand for, and the window's settings carried elsewhere: the "Port" frame's
// menu assigns a device to each of COM1 to COM4 (kept per user), each button's hint names its
// device, and the menu checks the open port's wiring, copies the present configuration as a
// command line, makes it start at login or keeps it in the desktop's menu, and the input backend
// offers its own entries last.

#include <algorithm>
#include <utility>

#include "core/input_sink.h"
#include "core/main_form.h"
#include "core/split_text.h"
#include "core/text.h"

namespace velnor {
namespace {

constexpr int kPorts = 4;

std::u16string comName(int port) {
    return u"COM" + toU16(port);
}

// The words of a command line, as the argument language cuts it.
std::vector<std::u16string> wordsOf(std::u16string_view commandLine) {
    return SplitText(commandLine, u" ").value_or(std::vector<std::u16string>{});
}

// `words`, or nothing when a start would refuse them for their length: then `refusal` goes to the
// event log with the reason, and nothing is written that could not bring the settings back.
std::optional<std::vector<std::u16string>> startableWords(MainForm& form,
                                                          std::vector<std::u16string> words,
                                                          std::u16string_view refusal) {
    size_t length = words.empty() ? 0 : words.size() - 1;
    for (const std::u16string& word : words) length += word.size();
    if (length <= MainForm::kMaxArgumentsLength) return words;
    form.LogEvent(std::u16string(refusal) + u": the arguments of these settings are " +
                  toU16(static_cast<int>(length)) +
                  u" characters long, and a start accepts at most " +
                  toU16(static_cast<int>(MainForm::kMaxArgumentsLength)));
    return std::nullopt;
}

// What the event log says of an entry that starts the program with settings.
struct EntryWords {
    std::u16string_view written;  // followed by the entry's place
    std::u16string_view cannotWrite;
    std::u16string_view removed;
    bool removedNamesPlace;
    std::u16string_view cannotRemove;
};

constexpr EntryWords kLoginWords{
    .written = u"Velnor starts at login with these settings",
    .cannotWrite = u"Start at login cannot be set",
    .removed = u"Velnor no longer starts at login",
    .removedNamesPlace = false,
    .cannotRemove = u"Start at login cannot be removed",
};

constexpr EntryWords kKeptWords{
    .written = u"The desktop's menu starts Velnor with these settings",
    .cannotWrite = u"These settings cannot be kept",
    .removed = u"The desktop's menu starts Velnor with the defaults again",
    .removedNamesPlace = true,
    .cannotRemove = u"Kept settings cannot be forgotten",
};

void writeEntry(MainForm& form, StartEntry& entry, std::vector<std::u16string> arguments,
                const EntryWords& words) {
    const auto startable = startableWords(form, std::move(arguments), words.cannotWrite);
    if (!startable) return;
    if (const auto written = entry.enable(*startable))
        form.LogEvent(std::u16string(words.written) + u" (" + entry.place() + u")");
    else
        form.LogEvent(std::u16string(words.cannotWrite) + u": " + written.error().reason);
}

void removeEntry(MainForm& form, StartEntry& entry, const EntryWords& words) {
    if (const auto removed = entry.disable())
        form.LogEvent(std::u16string(words.removed) +
                      (words.removedNamesPlace ? u" (" + entry.place() + u")" : u""));
    else
        form.LogEvent(std::u16string(words.cannotRemove) + u": " + removed.error().reason);
}

std::u16string trimmed(std::u16string_view text) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

}  // namespace

std::vector<const Frame*> MainForm::menuFrames() const {
    return {&Port, &frameDSR, &frameCTS, &frameCD};
}

Menu MainForm::menuOf(const Frame& frame) {
    if (&frame == &Port) return portMenu();
    for (SignalLine& line : lines)
        if (&line.frame() == &frame) return line.menu();
    return {};
}

Menu MainForm::portMenu() {
    Menu menu;
    if (platform_.catalog) {
        tellSettingsProblem();
        for (int port = 1; port <= kPorts; ++port)
            menu.push_back(MenuEntry::submenu(
                comName(port) + u": " + platform_.catalog->describe(platform_.ports.deviceOf(port)),
                deviceChoices(port)));
    }
    const auto add = [&menu](MenuEntry entry) {
        if (!menu.empty() && menu.back().kind != MenuEntry::Kind::Separator)
            menu.push_back(MenuEntry::separator());
        menu.push_back(std::move(entry));
    };
    add({.text = u"Check wiring",
         .toolTip = u"Raises DTR and RTS in turn and tells which input lines follow each",
         .enabled = MSComm1.PortOpen() && !wiring_.running(),
         .chosen = [this](std::u16string_view) { checkWiring(); }});
    if (platform_.commandText && platform_.copyText)
        add({.text = u"Copy command line", .chosen = [this](std::u16string_view) {
                 if (const auto words = startableWords(*this, wordsOf(commandLine()),
                                                       u"Command line cannot be copied"))
                     platform_.copyText(platform_.commandText(*words));
             }});
    if (platform_.loginStart) {
        const bool on = platform_.loginStart->enabled();
        menu.push_back({.text = u"Start at login with these settings",
                        .mark = MenuEntry::Mark::Check,
                        .checked = on,
                        .chosen = [this, on](std::u16string_view) { startAtLogin(!on); }});
    }
    // The desktop's menu passes the arguments: a start without them still takes the defaults.
    if (StartEntry* const kept = platform_.keptSettings) {
        menu.push_back({.text = u"Keep these settings",
                        .toolTip = u"The desktop's menu starts Velnor with these settings",
                        .chosen = [this, kept](std::u16string_view) {
                            writeEntry(*this, *kept, wordsOf(commandLine()), kKeptWords);
                        }});
        if (kept->enabled())
            menu.push_back({.text = u"Forget kept settings",
                            .toolTip = u"The desktop's menu starts Velnor with the defaults",
                            .chosen = [this, kept](std::u16string_view) {
                                removeEntry(*this, *kept, kKeptWords);
                            }});
    }
    for (bool first = true; MenuEntry & entry : platform_.input.menu()) {
        if (std::exchange(first, false))
            add(std::move(entry));
        else
            menu.push_back(std::move(entry));
    }
    return menu;
}

std::vector<MenuEntry> MainForm::deviceChoices(int port) {
    PortCatalog& catalog = *platform_.catalog;
    const std::u16string current = platform_.ports.deviceOf(port);
    const auto choose = [this, port](std::u16string device) {
        return [this, port, device = std::move(device)](std::u16string_view) {
            assignPort(port, device);
        };
    };
    std::vector<MenuEntry> choices;
    for (PortCatalog::Device& device : catalog.devices()) {
        const bool chosen = device.path == current;
        choices.push_back({.text = std::move(device.description),
                           .toolTip = device.path,
                           .mark = MenuEntry::Mark::Radio,
                           .checked = chosen,
                           .chosen = choose(device.path)});
    }
    if (choices.empty()) choices.push_back({.text = u"No serial adapter found", .enabled = false});
    choices.push_back(MenuEntry::separator());
    choices.push_back({.text = u"Loopback plug (no hardware)",
                       .mark = MenuEntry::Mark::Radio,
                       .checked = current == u"loopback",
                       .chosen = choose(u"loopback")});
    choices.push_back(
        {.text = u"Other device...",
         .question = MenuEntry::Question{.title = comName(port),
                                         .prompt = u"The device " + comName(port) + u" stands for:",
                                         .initial = current},
         .chosen = [this, port](std::u16string_view answer) {
             if (const std::u16string device = trimmed(answer); !device.empty())
                 assignPort(port, device);
         }});
    choices.push_back({.text = u"Default (" + catalog.defaultDevice(port) + u")",
                       .enabled = catalog.assigned(port).has_value(),
                       .chosen = choose(u"")});
    return choices;
}

void MainForm::assignPort(int port, const std::u16string& device) {
    const std::u16string what = device.empty() ? u"its default device" : device;
    if (const auto kept = platform_.catalog->assign(port, device))
        LogEvent(comName(port) + u" now stands for " + what);
    else
        LogEvent(comName(port) + u" cannot be assigned to " + what + u": " + kept.error().reason);
    showPortDevices();
}

// Each button's hint names the device it stands for, as the menu lists it.
void MainForm::showPortDevices() {
    if (platform_.catalog) tellSettingsProblem();
    OptionButton* const buttons[kPorts] = {&optCom1, &optCom2, &optCom3, &optCom4};
    for (int port = 1; port <= kPorts; ++port) {
        const std::u16string device = platform_.ports.deviceOf(port);
        buttons[port - 1]->setToolTip(platform_.catalog ? comName(port) + u": " +
                                                              platform_.catalog->describe(device) +
                                                              u". Right-click to choose its device."
                                                        : comName(port) + u": " + device + u".");
    }
}

// Kept assignments that cannot be read are told once, when they are found so, and again only
// once the reason has changed: every look at the ports would otherwise repeat it.
void MainForm::tellSettingsProblem() {
    std::optional<Problem> problem = platform_.catalog->settingsProblem();
    if (problem == settingsProblem_) return;
    settingsProblem_ = std::move(problem);
    if (settingsProblem_)
        LogEvent(u"COM ports: " + settingsProblem_->reason +
                 u"; COM1 to COM4 stand for their defaults");
}

// The entry starts the window minimised, with the present configuration.
void MainForm::startAtLogin(bool on) {
    StartEntry& login = *platform_.loginStart;
    if (!on) return removeEntry(*this, login, kLoginWords);
    std::vector<std::u16string> arguments = wordsOf(commandLine());
    if (std::ranges::find(arguments, u"-minimize") == arguments.end())
        arguments.insert(arguments.begin(), u"-minimize");
    writeEntry(*this, login, std::move(arguments), kLoginWords);
}

}  // namespace velnor
