// The event log: newest line first, each message one line with its control characters shown, and
// only the newest lines kept.

#include "core/event_log.h"

#include <gtest/gtest.h>

#include <ranges>

#include "core/text.h"
#include "support/test_form.h"

namespace velnor {
namespace {

std::vector<std::u16string> linesOf(std::u16string_view text) {
    std::vector<std::u16string> lines;
    for (const auto line : std::views::split(text, u'\n'))
        lines.emplace_back(line.begin(), line.end());
    return lines;
}

class LogTest : public ::testing::Test {
  protected:
    std::vector<std::u16string> lines() const { return linesOf(form.EventLog.caption()); }

    test::TestForm window{{.commandLine = u"", .load = false}};
    MainForm& form = window.form;
};

TEST_F(LogTest, NewestLineFirstWithTimeTwoSpacesAndMessage) {
    form.LogEvent(u"optDTROn_Click");
    form.LogEvent(u"optDTROff_Click");
    EXPECT_EQ(lines(), (std::vector<std::u16string>{u"10:15:02  optDTROff_Click",
                                                    u"10:15:02  optDTROn_Click", u"EventLog"}));
}

// A message cannot forge lines of its own or push the history out: each call is one line, its
// control characters shown as pictures.
TEST_F(LogTest, EachMessageIsOneLineWithItsControlCharactersShown) {
    form.LogEvent(u"");
    form.LogEvent(u"two\nlines\r");
    form.LogEvent(u"\t\x1b[2J\x7f\x85\u2028" + std::u16string(2000, u'\n'));
    EXPECT_EQ(lines(),
              (std::vector<std::u16string>{
                  u"10:15:02  \u2409\u241b[2J\u2421\ufffd\ufffd" + std::u16string(2000, u'\u240a'),
                  u"10:15:02  two\u240alines\u240d", u"10:15:02  ", u"EventLog"}));
}

TEST_F(LogTest, KeepsTheNewestThousandLines) {
    for (int i = 1; i <= 1500; ++i) form.LogEvent(toU16(i));
    const auto log = lines();
    ASSERT_EQ(log.size(), 1000u);
    EXPECT_EQ(log.front(), u"10:15:02  1500");
    EXPECT_EQ(log.back(), u"10:15:02  501");
}

TEST(BoundedLog, CountsTheInitialLinesAndDropsTheOldestBeyondItsBound) {
    BoundedLog log(u"first\nsecond", 3);
    EXPECT_EQ(log.lineCount(), 2);
    log.prepend(u"a");
    EXPECT_EQ(log.text(), u"a\nfirst\nsecond");
    log.prepend(u"b\nc");
    EXPECT_EQ(log.text(), u"b\u240ac\na\nfirst");
    EXPECT_EQ(log.lineCount(), 3);
    log.prepend(u"");
    log.prepend(u"d");
    EXPECT_EQ(log.text(), u"d\n\nb\u240ac");
    EXPECT_EQ(log.lineCount(), 3);
}

TEST(VisibleControlCharacters, ShowsEveryControlAsAPictureAndLeavesTheRest) {
    const struct {
        std::u16string text;
        std::u16string shown;
    } cases[] = {
        {std::u16string(1, u'\0'), u"\u2400"},
        {u"\x01\x09\x0a\x0d\x1b\x1f", u"\u2401\u2409\u240a\u240d\u241b\u241f"},
        {u"\x7f", u"\u2421"},
        {u"\x80\x85\x9f", u"\ufffd\ufffd\ufffd"},
        {u"\u2028\u2029", u"\ufffd\ufffd"},
        {u" ~\u00a0\u00e9\u20ac\u2027\u202a\U0001F600 ok",
         u" ~\u00a0\u00e9\u20ac\u2027\u202a\U0001F600 ok"},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(visibleControlCharacters(c.text), c.shown) << testing::PrintToString(c.text);
}

}  // namespace
}  // namespace velnor
