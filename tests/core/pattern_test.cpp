#include "core/pattern.h"

#include <gtest/gtest.h>

namespace velnor {
namespace {

struct Case {
    const char16_t* text;
    const char16_t* pattern;
    bool matches;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << ::testing::PrintToString(std::u16string(c.text)) << " like "
         << ::testing::PrintToString(std::u16string(c.pattern));
}

class PatternTest : public ::testing::TestWithParam<Case> {};

TEST_P(PatternTest, Matches) {
    const Case& c = GetParam();
    EXPECT_EQ(matchesPattern(c.text, c.pattern), c.matches);
}

INSTANTIATE_TEST_SUITE_P(Literal, PatternTest,
                         ::testing::Values(Case{u"vbKeyShift", u"vbKeyShift", true},
                                           Case{u"vbKeyShift", u"vbkeyshift", false},
                                           Case{u"vbKeyShift", u"vbKeyShif", false},
                                           Case{u"vbKeyShift", u"vbKeyShiftX", false},
                                           Case{u"", u"", true}, Case{u"a", u"", false}));

INSTANTIATE_TEST_SUITE_P(
    Wildcards, PatternTest,
    ::testing::Values(Case{u"vbKeyF10", u"vbKeyF1?", true}, Case{u"vbKeyF1", u"vbKeyF1?", false},
                      Case{u"vbKey7", u"vbKey#", true}, Case{u"vbKeyA", u"vbKey#", false},
                      Case{u"", u"*", true}, Case{u"abc", u"*", true}, Case{u"abc", u"a*c", true},
                      Case{u"ac", u"a*c", true}, Case{u"abcb", u"a*b", true},
                      Case{u"abca", u"a*b", false}, Case{u"aaa", u"**a", true},
                      Case{u"mississippi", u"*sip*", true}, Case{u"mississippi", u"m*s*s*i", true},
                      Case{u"mississippi", u"m*x*", false}));

INSTANTIATE_TEST_SUITE_P(Lists, PatternTest,
                         ::testing::Values(Case{u"b", u"[abc]", true}, Case{u"d", u"[abc]", false},
                                           Case{u"m", u"[a-z]", true}, Case{u"M", u"[a-z]", false},
                                           Case{u"M", u"[!a-z]", true},
                                           Case{u"m", u"[!a-z]", false}, Case{u"-", u"[a-]", true},
                                           Case{u"*", u"[*]", true}, Case{u"x", u"[*]", false},
                                           Case{u"?", u"[?]", true}, Case{u"#", u"[#]", true},
                                           Case{u"[", u"[[]", true}, Case{u"ab", u"a[]b", true},
                                           Case{u"k", u"[a-ck-m]", true},
                                           Case{u"e", u"[a-ck-m]", false}));

// A character is one UTF-16 code unit: a character beyond the BMP takes two.
INSTANTIATE_TEST_SUITE_P(CodeUnits, PatternTest,
                         ::testing::Values(Case{u"\u00e9", u"?", true},
                                           Case{u"\U0001F600", u"?", false},
                                           Case{u"\U0001F600", u"??", true},
                                           Case{u"\u0663", u"#", false},
                                           Case{u"\u00e9", u"[\u00e0-\u00ff]", true}));

INSTANTIATE_TEST_SUITE_P(Malformed, PatternTest,
                         ::testing::Values(Case{u"vbKeyA", u"vbKey[A", false},
                                           Case{u"[", u"[", false},
                                           Case{u"vbKeyA", u"vbKey[!", false},
                                           Case{u"m", u"[z-a]", false},
                                           Case{u"anything", u"*[", false}));

TEST(Pattern, ManyStarsAgainstALongTextStayFast) {
    const std::u16string text(20000, u'a');
    std::u16string pattern;
    for (int i = 0; i < 50; ++i) pattern += u"*a";
    pattern += u'b';
    EXPECT_FALSE(matchesPattern(text, pattern));
}

}  // namespace
}  // namespace velnor
