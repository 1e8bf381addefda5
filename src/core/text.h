#pragma once

#include <string>
#include <string_view>

namespace velnor {

// The decimal digits of `value`, with a leading "-" when it is negative.
std::u16string toU16(int value);

// `text` read as UTF-8; each byte that starts no well-formed sequence becomes U+FFFD, and so does
// a sequence cut short.
std::u16string fromUtf8(std::string_view text);

// `text` written as UTF-16, characters beyond the first plane as surrogate pairs.
std::u16string toUtf16(std::u32string_view text);

// `text` written as UTF-8; an unpaired surrogate becomes U+FFFD, so the result is always valid.
std::string toUtf8(std::u16string_view text);

}  // namespace velnor
