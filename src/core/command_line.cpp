#include "core/command_line.h"

#include <algorithm>

namespace velnor {
namespace {

// Besides what would split or be misread: what shells and desktop entries quote or expand, which
// systemd's reading of an autostart entry does not give back as written.
bool isEncoded(char16_t c) {
    return c == u'%' || c == u' ' || c == u'=' || c < 0x20 || c == 0x7f ||
           std::u16string_view(u"\\\"'$`").find(c) != std::u16string_view::npos;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
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

}  // namespace velnor
