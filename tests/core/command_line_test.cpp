#include "core/command_line.h"

#include <gtest/gtest.h>

#include "core/split_text.h"

namespace velnor {
namespace {

TEST(PercentTextTest, EncodesWhatWouldSplitOrBeMisreadAndNothingElse) {
    EXPECT_EQ(percentEncoded(u"Hello World"), u"Hello%20World");
    EXPECT_EQ(percentEncoded(u"a=b%c"), u"a%3Db%25c");
    EXPECT_EQ(percentEncoded(u"tab\there\n\x7f"), u"tab%09here%0A%7F");
    EXPECT_EQ(percentEncoded(u"%{TAB}^c~\u00e9\u20ac"), u"%25{TAB}^c~\u00e9\u20ac");
    EXPECT_EQ(percentEncoded(u"C:\\ \"q\" 'a' $HOME `x`"),
              u"C:%5C%20%22q%22%20%27a%27%20%24HOME%20%60x%60");
}

TEST(PercentTextTest, DecodesEveryEscapeAndRefusesABrokenOne) {
    EXPECT_EQ(percentDecoded(u"Hello%20World"), u"Hello World");
    EXPECT_EQ(percentDecoded(u"%3d%3D%e9"), u"==\u00e9");
    EXPECT_EQ(percentDecoded(u""), u"");
    for (const std::u16string_view broken : {u"%", u"%2", u"a%2", u"%zz", u"%2g", u"50%"})
        EXPECT_EQ(percentDecoded(broken), std::nullopt)
            << std::string(broken.begin(), broken.end());
}

TEST(PercentTextTest, EveryTextSurvivesAsOneArgument) {
    const std::u16string texts[] = {
        u"Hello World", u"  two  spaces ", u"a=b",     u"%20 literal", u"line\nfeed", u"=",
        u" ",           u"$HOME",          u"C:\\dir", u"\"'`"};
    for (const std::u16string& text : texts) {
        const std::u16string encoded = percentEncoded(text);
        const auto pieces = SplitText(u"-dsrSendKeys%=" + encoded, u" ");
        ASSERT_TRUE(pieces);
        EXPECT_EQ(pieces->size(), 1u);
        EXPECT_EQ(encoded.find(u'='), std::u16string::npos);
        EXPECT_EQ(percentDecoded(encoded), text);
        EXPECT_TRUE(needsPercentEncoding(text));
    }
    EXPECT_FALSE(needsPercentEncoding(u"%{TAB}"));
    EXPECT_FALSE(needsPercentEncoding(u"vbKeyMenu+vbKeyTab"));
}

}  // namespace
}  // namespace velnor
