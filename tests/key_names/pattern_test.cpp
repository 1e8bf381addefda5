#include "key_names/pattern.h"

#include <gtest/gtest.h>

namespace velnor {
namespace {

struct Case {
    const char16_t* text;
    const char16_t* pattern;
    bool matches;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << QStringView(c.text).toString().toStdString() << " like "
         << QStringView(c.pattern).toString().toStdString();
}

class PatternTest : public ::testing::TestWithParam<Case> {};

TEST_P(PatternTest, Matches) {
    const Case& c = GetParam();
    EXPECT_EQ(matchesPattern(QStringView(c.text), QStringView(c.pattern)), c.matches);
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

INSTANTIATE_TEST_SUITE_P(Malformed, PatternTest,
                         ::testing::Values(Case{u"vbKeyA", u"vbKey[A", false},
                                           Case{u"[", u"[", false},
                                           Case{u"vbKeyA", u"vbKey[!", false},
                                           Case{u"m", u"[z-a]", false},
                                           Case{u"anything", u"*[", false}));

TEST(Pattern, ManyStarsAgainstALongTextStayFast) {
    const QString text(20000, u'a');
    const QString pattern = QStringLiteral("*a").repeated(50) + u'b';
    EXPECT_FALSE(matchesPattern(text, pattern));
}

}  // namespace
}  // namespace velnor
