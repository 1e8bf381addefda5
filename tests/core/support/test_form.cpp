#include "support/test_form.h"

#include <algorithm>
#include <ranges>

namespace velnor::test {

std::vector<std::u16string> messagesOfLog(std::u16string_view logText) {
    std::vector<std::u16string> messages;
    for (const auto piece : std::views::split(logText, u'\n')) {
        const std::u16string_view line(piece.begin(), piece.end());
        if (line == u"EventLog") continue;
        const size_t separator = line.find(u"  ");
        messages.emplace_back(separator == line.npos ? line : line.substr(separator + 2));
    }
    std::ranges::reverse(messages);
    return messages;
}

TestForm::TestForm(Options options)
    : form({.input = input,
            .loop = loop,
            .ports = ports.backend(),
            .channel = options.channel,
            .timeText = [] { return std::u16string(kTimeText); },
            .messageBox = [this](const std::u16string& text) { messageBoxes.push_back(text); },
            .catalog = &catalog,
            .loginStart = &login,
            .keptSettings = &kept,
            .commandText =
                [](const std::vector<std::u16string>& arguments) {
                    std::u16string text = u"velnor";
                    for (const std::u16string& argument : arguments) text += u" " + argument;
                    return text;
                },
            .copyText = [this](const std::u16string& text) { clipboard.push_back(text); }},
           std::move(options.commandLine)) {
    ports.refused = {u"/dev/ttyS2"};
    ports.deviceOf = [this](int port) { return catalog.deviceOf(port); };
    if (options.load) form.Form_Load();
}

void TestForm::notify(int16_t code) {
    ports.open->listener.lineChanged(code);
    loop.runPosted();
}

std::vector<std::u16string> TestForm::newLog() {
    std::vector<std::u16string> all = messagesOfLog(form.EventLog.caption());
    std::vector<std::u16string> added(all.begin() + static_cast<std::ptrdiff_t>(logged_),
                                      all.end());
    logged_ = all.size();
    return added;
}

std::u16string TestForm::selected(const Frame& frame) {
    for (const OptionButton* button : frame.optionButtons())
        if (button->value()) return button->name();
    return {};
}

}  // namespace velnor::test
