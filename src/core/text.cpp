#include "core/text.h"

namespace velnor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isSurrogate(char32_t code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

void appendUtf16(std::u16string& text, char32_t code) {
    if (code < 0x10000) {
        text += char16_t(code);
    } else {
        text += char16_t(0xD800 + ((code - 0x10000) >> 10));
        text += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
}

void appendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += char(code);
        return;
    }
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    text += char(kLead[length] | (code >> (6 * (length - 1))));
    for (int shift = 6 * (length - 2); shift >= 0; shift -= 6)
        text += char(0x80 | ((code >> shift) & 0x3F));
}

}  // namespace

std::u16string toU16(int value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

std::u16string toUtf16(std::u32string_view text) {
    std::u16string encoded;
    for (const char32_t code : text) appendUtf16(encoded, code);
    return encoded;
}

std::u16string fromUtf8(std::string_view text) {
    // The least code point of each length: a smaller one written longer (overlong) is refused,
    // as it could hide a character from whoever checks the bytes.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u16string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80   ? 1
                              : lead < 0xC0 ? 0
                              : lead < 0xE0 ? 2
                              : lead < 0xF0 ? 3
                              : lead < 0xF8 ? 4
                                            : 0;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        size_t taken = 1;
        while (taken < length && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80)
            code = (code << 6) | (static_cast<unsigned char>(text[i + taken++]) & 0x3F);
        if (length != 0 && taken == length && code >= kLeast[length] && !isSurrogate(code) &&
            code <= 0x10FFFF) {
            appendUtf16(decoded, code);
            i += length;
        } else {
            decoded += char16_t(kReplacement);
            // A sequence cut short is one mistake; otherwise each byte is looked at again.
            i += taken < length ? taken : 1;
        }
    }
    return decoded;
}

std::string toUtf8(std::u16string_view text) {
    std::string encoded;
    encoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (isSurrogate(code))
            code = kReplacement;
        appendUtf8(encoded, code);
    }
    return encoded;
}

}  // namespace velnor
