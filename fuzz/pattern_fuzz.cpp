// The key-name pattern matcher on any pattern and text.
#include <algorithm>

#include "core/pattern.h"
#include "fuzz_support.h"

using velnor::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string input = velnor::fuzz::utf16(data, size);
    const size_t cut = input.find(u'\n');
    if (cut == input.npos) return 0;
    const std::u16string pattern = input.substr(0, cut);
    const std::u16string text = input.substr(cut + 1);
    const bool matches = velnor::matchesPattern(text, pattern);
    constexpr std::u16string_view special = u"*?#[";
    const bool plain = std::ranges::none_of(
        pattern, [special](char16_t c) { return special.find(c) != special.npos; });
    if (plain) require(matches == (text == pattern), "a plain pattern matches only itself");
    require(velnor::matchesPattern(text, u"*"), "* matches everything");
    if (matches)
        require(velnor::matchesPattern(text, pattern + u'*'), "a trailing * keeps a match");
    return 0;
}
