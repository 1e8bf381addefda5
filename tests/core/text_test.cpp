#include "core/text.h"

#include <gtest/gtest.h>

namespace velnor {
namespace {

// A second start reads its arguments as UTF-8 and hands them to D-Bus, which takes valid UTF-8
// only (libdbus aborts on anything else): each text survives as it was written, and a broken one
// reaches the running copy with its damage marked rather than ending the start.
TEST(Utf8Test, ReadsEachSequenceAndMarksEachBrokenOne) {
    const struct {
        std::string_view bytes;
        std::u16string_view text;
    } cases[] = {
        {"-dsrSendKeys=Hello", u"-dsrSendKeys=Hello"},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", u"\u00e9\u20ac\U0001F600"},
        {"a\xffz", u"a\uFFFDz"},                            // a byte that starts nothing
        {"\xe2\x82z", u"\uFFFDz"},                          // a sequence cut short
        {"\xc0\xaf", u"\uFFFD\uFFFD"},                      // "/" written overlong
        {"\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(fromUtf8(bytes), text) << bytes;
}

TEST(Utf8Test, WritesValidUtf8ForEveryText) {
    EXPECT_EQ(toUtf8(u"\u00e9\u20ac\U0001F600 x"), "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 x");
    EXPECT_EQ(toUtf8(u"a\xd800z\xdc00"), "a\xef\xbf\xbdz\xef\xbf\xbd");  // unpaired surrogates
    const std::u16string all = [] {
        std::u16string text;
        for (char32_t c = 1; c < 0x10000; ++c) text += {char16_t(c), u' '};  // none paired
        return text;
    }();
    // Each unpaired surrogate, and nothing else, comes back as U+FFFD.
    const std::u16string back = fromUtf8(toUtf8(all));
    ASSERT_EQ(back.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const bool surrogate = all[i] >= 0xD800 && all[i] <= 0xDFFF;
        EXPECT_EQ(back[i], surrogate ? u'\uFFFD' : all[i]) << i;
    }
}

}  // namespace
}  // namespace velnor
