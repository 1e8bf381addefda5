#include "core/split_text.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace velnor {
namespace {

using Pieces = std::vector<std::u16string>;

struct Case {
    const char* name;
    std::u16string text;
    std::u16string separator;
    std::optional<Pieces> pieces;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class SplitTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(SplitTextTest, CutsIntoNonEmptyPiecesInOrder) {
    const Case& c = GetParam();
    EXPECT_EQ(SplitText(c.text, c.separator), c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTextTest,
    ::testing::Values(Case{"Empty", u"", u" ", std::nullopt},
                      Case{"OnlySeparators", u"   ", u" ", std::nullopt},
                      Case{"OnePiece", u"a", u" ", Pieces{u"a"}},
                      Case{"RunsAndEnds", u" a  b ", u" ", Pieces{u"a", u"b"}},
                      Case{"Chord", u"vbKeyMenu+vbKeyTab", u"+", Pieces{u"vbKeyMenu", u"vbKeyTab"}},
                      Case{"EmptySteps", u"a,,b,", u",", Pieces{u"a", u"b"}},
                      Case{"TabIsNoSeparator", u"a\tb c", u" ", Pieces{u"a\tb", u"c"}},
                      Case{"QuotesStay", u"\"-dtr\" x", u" ", Pieces{u"\"-dtr\"", u"x"}},
                      Case{"CaseSignificant", u"aXbxc", u"x", Pieces{u"aXb", u"c"}},
                      Case{"LongerSeparator", u"a::b:::c", u"::", Pieces{u"a", u"b", u":c"}},
                      Case{"SeparatorAtTheVeryEnd", u"ab::", u"::", Pieces{u"ab"}},
                      Case{"SeparatorCutShortAtTheEnd", u"ab:", u"::", Pieces{u"ab:"}},
                      Case{"SurrogatesAreCodeUnits", u"\U0001F600 \u00e9", u" ",
                           Pieces{u"\U0001F600", u"\u00e9"}},
                      Case{"EmptySeparatorKeepsTheText", u"a b", u"", Pieces{u"a b"}},
                      Case{"EmptySeparatorAndText", u"", u"", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitText, KeepsEveryPieceBeyondAHundred) {
    for (int count : {100, 101, 5000}) {
        Pieces words;
        std::u16string text;
        for (int i = 1; i <= count; ++i) {
            words.push_back(toU16(i));
            text += (i > 1 ? u" " : u"") + words.back();
        }
        const auto pieces = SplitText(text, u" ");
        ASSERT_TRUE(pieces.has_value());
        EXPECT_EQ(*pieces, words) << count;
    }
}

TEST(SplitText, HandlesTextBeyondSixteenBitLengths) {
    const std::u16string longPiece(40000, u'x');
    const auto pieces = SplitText(longPiece + u" y", u" ");
    ASSERT_TRUE(pieces.has_value());
    ASSERT_EQ(pieces->size(), 2u);
    EXPECT_EQ(pieces->at(0).size(), 40000u);
    EXPECT_EQ(pieces->at(1), u"y");
}

}  // namespace
}  // namespace velnor
