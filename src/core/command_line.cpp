#include "core/command_line.h"

#include <algorithm>

#include "core/key_names.h"
#include "core/main_form.h"
#include "core/text.h"

namespace velnor {
namespace {

bool isEncoded(char16_t c) {
    return c == u'%' || c == u' ' || c == u'=' || c < 0x20 || c == 0x7f;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// One text option of a line: the plain form, or the percent-encoded one where it is needed.
std::u16string textArgument(std::u16string_view code, std::u16string_view option,
                            std::u16string_view text) {
    std::u16string argument = u"-";
    argument += code;
    argument += option;
    if (needsPercentEncoding(text)) {
        argument += u"%=";
        argument += percentEncoded(text);
    } else {
        argument += u"=";
        argument += text;
    }
    return argument;
}

}  // namespace

std::u16string percentEncoded(std::u16string_view text) {
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string encoded;
    encoded.reserve(text.size());
    for (const char16_t c : text) {
        if (!isEncoded(c)) {
            encoded += c;
            continue;
        }
        encoded += u'%';
        encoded += kDigits[c >> 4];
        encoded += kDigits[c & 0xf];
    }
    return encoded;
}

std::optional<std::u16string> percentDecoded(std::u16string_view text) {
    std::u16string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        decoded += static_cast<char16_t>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

bool needsPercentEncoding(std::u16string_view text) {
    return std::ranges::any_of(text, [](char16_t c) { return c != u'%' && isEncoded(c); });
}

std::u16string MainForm::commandLine() const {
    std::u16string arguments;
    const auto add = [&arguments](std::u16string_view argument) {
        if (!arguments.empty()) arguments += u' ';
        arguments += argument;
    };
    const std::pair<const OptionButton*, std::u16string_view> ports[] = {{&optCom1, u"-port=com1"},
                                                                         {&optCom2, u"-port=com2"},
                                                                         {&optCom3, u"-port=com3"},
                                                                         {&optCom4, u"-port=com4"}};
    for (const auto& [button, argument] : ports)
        if (button->value()) add(argument);
    // The output lines follow the port: they can be switched on only while one is open.
    if (optDTROn.value()) add(u"-dtr");
    if (optRTSOn.value()) add(u"-rts");
    for (const InputLine& line : inputLines()) {
        const std::u16string code(line.code);
        const std::pair<OptionButton FormControls::*, std::u16string_view> modes[] = {
            {line.optEmulateKey, u"emulateKey"},
            {line.optSendKeys, u"sendKeys"},
            {line.optGenerateKeys, u"generateKeys"}};
        for (const auto& [button, mode] : modes)
            if ((this->*button).value()) add(u"-" + code + u"Mode=" + std::u16string(mode));
        const DropDownList& keys = this->*line.cboEmulateKey;
        if (keys.listIndex() >= 0)
            add(u"-" + code + u"EmulateKey=" +
                std::u16string(
                    keyNameOf(keys.entries()[static_cast<size_t>(keys.listIndex())].text)));
        add(textArgument(code, u"SendKeys", (this->*line.txtSendKeys).text()));
        add(textArgument(code, u"GenerateKeys", (this->*line.txtGenerateKeys).text()));
        const LineFilter& filter = *(this->*line.filter);
        if (filter.settleTime().count() != 0)
            add(u"-" + code + u"Debounce=" + toU16(static_cast<int>(filter.settleTime().count())));
        if (filter.inverted()) add(u"-" + code + u"Polarity=inverted");
    }
    return arguments;
}

}  // namespace velnor
