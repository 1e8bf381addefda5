#pragma once

// Texts as values of the argument language, whose arguments are separated by spaces and cannot
// quote: a text holding a space, an equals sign, a control character or one of \ " ' $ ` is written
// in the percent-encoded form of its option ("-dsrSendKeys%=Hello%20World"), every other text as
// it is. So a written command line holds none of the characters that an autostart entry cannot
// carry to every program that reads it (systemd's generator of units among them).

#include <optional>
#include <string>
#include <string_view>

namespace velnor {

// The text with '%', ' ', '=', every control character and each of \ " ' $ ` written as "%" and two
// hexadecimal digits of its code.
std::u16string percentEncoded(std::u16string_view text);

// The text with every "%XX" (two hexadecimal digits, 00 to FF) replaced by the character of that
// code; nothing when a '%' is not followed by two hexadecimal digits.
std::optional<std::u16string> percentDecoded(std::u16string_view text);

// Whether a text must take the percent-encoded form to survive as one argument.
bool needsPercentEncoding(std::u16string_view text);

}  // namespace velnor
