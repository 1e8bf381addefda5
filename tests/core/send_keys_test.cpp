#include "core/send_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/line_input_sink.h"

namespace velnor {
namespace {

struct Typed {
    const char16_t* keys;
    const char* events;  // the recorded events joined by ", "
};

const Typed kTyped[] = {
    {u"", ""},
    {u"ab", "char a, char b"},
    {u"Hi!", "char H, char i, char !"},
    {u"~", "key 13 down, key 13 up"},
    {u"+a", "key 16 down, char a, key 16 up"},
    {u"^v", "key 17 down, char v, key 17 up"},
    {u"%{TAB}", "key 18 down, key 9 down, key 9 up, key 18 up"},
    {u"^%a", "key 17 down, key 18 down, char a, key 18 up, key 17 up"},
    {u"%^+x", "key 18 down, key 17 down, key 16 down, char x, key 16 up, key 17 up, key 18 up"},
    {u"+ab", "key 16 down, char a, key 16 up, char b"},
    {u"+(abc)d", "key 16 down, char a, char b, char c, key 16 up, char d"},
    {u"^(+(a)b)", "key 17 down, key 16 down, char a, key 16 up, char b, key 17 up"},
    {u"((()))x", "char x"},
    {u"+(^(%(a)))",
     "key 16 down, key 17 down, key 18 down, char a, key 18 up, key 17 up, key 16 up"},
    {u"+~", "key 16 down, key 13 down, key 13 up, key 16 up"},
    {u"a+", "char a, key 16 down, key 16 up"},
    {u"(b^)", "char b, key 17 down, key 17 up"},
    {u"{LEFT 3}", "key 37 down, key 37 up, key 37 down, key 37 up, key 37 down, key 37 up"},
    {u"+{END}", "key 16 down, key 35 down, key 35 up, key 16 up"},
    {u"+{RIGHT 2}x",
     "key 16 down, key 39 down, key 39 up, key 39 down, key 39 up, key 16 up, char x"},
    {u"{h 3}", "char h, char h, char h"},
    {u"{a 0}b", "char b"},
    {u"{{}x{}}", "char {, char x, char }"},
    {u"{} 2}", "char }, char }"},
    {u"{  2}", "char  , char  "},
    {u"{+}{^}{%}{~}{(}{)}{[}{]}", "char +, char ^, char %, char ~, char (, char ), char [, char ]"},
    {u"{enter}{Esc}{bs}{BKSP}{BackSpace}",
     "key 13 down, key 13 up, key 27 down, key 27 up, key 8 down, key 8 up, key 8 down, key 8 up, "
     "key 8 down, key 8 up"},
    {u"{BREAK}{CAPSLOCK}{CLEAR}{DEL}{HELP}{INS}{NUMLOCK}{PRTSC}{SCROLLLOCK}",
     "key 3 down, key 3 up, key 20 down, key 20 up, key 12 down, key 12 up, key 46 down, key 46 "
     "up, "
     "key 47 down, key 47 up, key 45 down, key 45 up, key 144 down, key 144 up, key 44 down, key "
     "44 "
     "up, key 145 down, key 145 up"},
    {u"{PGUP}{PGDN}{HOME}{UP}{DOWN}",
     "key 33 down, key 33 up, key 34 down, key 34 up, key 36 down, key 36 up, key 38 down, key 38 "
     "up, key 40 down, key 40 up"},
    {u"{F1}{F16}{ADD}{SUBTRACT}{MULTIPLY}{DIVIDE}",
     "key 112 down, key 112 up, key 127 down, key 127 up, key 107 down, key 107 up, key 109 down, "
     "key 109 up, key 106 down, key 106 up, key 111 down, key 111 up"},
    {u"{F17}{MEDIA_PLAY_PAUSE}{volume_up 3}",
     "key 128 down, key 128 up, key 179 down, key 179 up, key 175 down, key 175 up, key 175 down, "
     "key 175 up, key 175 down, key 175 up"},
    {u"é€", "char é, char €"},
    {u"{😀}😀", "char 😀, char 😀"},
    {u"[x]", "char [, char x, char ]"},
};

TEST(SendKeys, TypesWhatTheStringSays) {
    for (const auto& row : kTyped) {
        const std::u16string keys = row.keys;
        RecordedInput sink;
        EXPECT_EQ(SendKeys(sink, keys), std::nullopt) << row.events;
        EXPECT_EQ(sink.joined(), row.events);
        EXPECT_EQ(checkSendKeys(keys), std::nullopt) << row.events;
    }
}

struct Rejected {
    const char16_t* keys;
    size_t position;
    const char16_t* message;
};

const Rejected kRejected[] = {
    {u"ab}c", 2, u"\"}\" outside braces"},
    {u"{}", 0, u"unclosed \"{\""},
    {u"ab{LEFT", 2, u"unclosed \"{\""},
    {u"x{LFT}", 1, u"unknown key name \"LFT\""},
    {u"{F25}", 0, u"unknown key name \"F25\""},
    {u"{LEFT x}", 0, u"bad repeat count \"x\""},
    {u"{LEFT }", 0, u"bad repeat count \"\""},
    {u"{LEFT -1}", 0, u"bad repeat count \"-1\""},
    {u"{LEFT 3 4}", 0, u"bad repeat count \"3 4\""},
    {u"{a 10001}", 0, u"bad repeat count \"10001\""},
    {u"{a 99999999999}", 0, u"bad repeat count \"99999999999\""},
    {u"{a +3}", 0, u"bad repeat count \"+3\""},
    {u"{a \u0663}", 0, u"bad repeat count \"\u0663\""},  // an Arabic-Indic digit
    // Brace names fold ASCII letters only: the dotless i is no "I".
    {u"{\u0131nsert}", 0, u"unknown key name \"\u0131nsert\""},
    {u"+(ab", 1, u"unmatched \"(\""},
    {u"(a(b)", 0, u"unmatched \"(\""},
    {u"ab)", 2, u"unmatched \")\""},
    {u"((((a))))", 3, u"groups nested deeper than 3"},
    {u"++a", 1, u"the same modifier twice before one key"},
    {u"^%^a", 2, u"the same modifier twice before one key"},
    {u"+(b+a)", 3, u"the same modifier twice before one key"},
};

TEST(SendKeys, RejectsTheWholeStringAndTypesNothing) {
    for (const auto& row : kRejected) {
        const std::u16string keys = row.keys;
        SCOPED_TRACE(::testing::PrintToString(keys));
        RecordedInput sink;
        const auto error = SendKeys(sink, keys);
        EXPECT_EQ(checkSendKeys(keys), error);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->position, row.position);
        EXPECT_EQ(error->message, row.message);
        EXPECT_TRUE(sink.events.empty());
    }
}

// A backend whose layout has keys for ASCII alone.
class AsciiOnlySink : public RecordedInput {
  public:
    AsciiOnlySink() {
        setProblemReporter([this](const std::u16string& problem) { told.push_back(problem); });
    }
    void typeCharacter(char32_t character) override {
        if (character > 0x7f) return characterUntyped(character, u"English (US)");
        RecordedInput::typeCharacter(character);
    }
    std::vector<std::u16string> told;
};

TEST(SendKeys, TellsOncePerTextWhatTheLayoutCouldNotType) {
    AsciiOnlySink sink;
    SendKeys(sink, u"aé€é😀b");
    SendKeys(sink, u"plain");
    SendKeys(sink, u"ü");
    EXPECT_EQ(sink.joined(), "char a, char b, char p, char l, char a, char i, char n");
    EXPECT_EQ(
        sink.told,
        (std::vector<std::u16string>{
            u"SendKeys could not type \"é€😀\": no key of the English (US) keyboard layout "
            u"gives them",
            u"SendKeys could not type \"ü\": no key of the English (US) keyboard layout gives "
            u"it"}));
}

TEST(SendKeys, RepeatsUpToTheLimit) {
    RecordedInput sink;
    EXPECT_EQ(SendKeys(sink, u"{x 10000}"), std::nullopt);
    EXPECT_EQ(sink.events.size(), 10000u);
}

}  // namespace
}  // namespace velnor
