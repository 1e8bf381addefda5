#include "commands/split_text.h"

#include <gtest/gtest.h>

namespace velnor {
namespace {

struct Case {
    const char* name;
    QString text;
    QString separator;
    std::optional<QStringList> pieces;
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
    ::testing::Values(Case{"Empty", "", " ", std::nullopt},
                      Case{"OnlySeparators", "   ", " ", std::nullopt},
                      Case{"OnePiece", "a", " ", QStringList{"a"}},
                      Case{"RunsAndEnds", " a  b ", " ", QStringList{"a", "b"}},
                      Case{"Chord", "vbKeyMenu+vbKeyTab", "+",
                           QStringList{"vbKeyMenu", "vbKeyTab"}},
                      Case{"EmptySteps", "a,,b,", ",", QStringList{"a", "b"}},
                      Case{"TabIsNoSeparator", "a\tb c", " ", QStringList{"a\tb", "c"}},
                      Case{"QuotesStay", "\"-dtr\" x", " ", QStringList{"\"-dtr\"", "x"}},
                      Case{"CaseSignificant", "aXbxc", "x", QStringList{"aXb", "c"}},
                      Case{"LongerSeparator", "a::b:::c", "::", QStringList{"a", "b", ":c"}},
                      Case{"EmptySeparatorKeepsTheText", "a b", "", QStringList{"a b"}},
                      Case{"EmptySeparatorAndText", "", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitText, KeepsEveryPieceBeyondAHundred) {
    for (int count : {100, 101, 5000}) {
        QStringList words;
        for (int i = 1; i <= count; ++i) words.append(QString::number(i));
        const auto pieces = SplitText(words.join(u' '), " ");
        ASSERT_TRUE(pieces.has_value());
        EXPECT_EQ(*pieces, words) << count;
    }
}

TEST(SplitText, HandlesTextBeyondSixteenBitLengths) {
    const QString longPiece(40000, u'x');
    const auto pieces = SplitText(longPiece + " y", " ");
    ASSERT_TRUE(pieces.has_value());
    ASSERT_EQ(pieces->size(), 2);
    EXPECT_EQ(pieces->at(0).size(), 40000);
    EXPECT_EQ(pieces->at(1), "y");
}

}  // namespace
}  // namespace velnor
