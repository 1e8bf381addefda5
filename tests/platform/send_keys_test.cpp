#include "platform/send_keys.h"

#include <gtest/gtest.h>

#include "support/recording_input_sink.h"

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
    {u"é€", "char é, char €"},
    {u"{😀}😀", "char 😀, char 😀"},
    {u"[x]", "char [, char x, char ]"},
};

TEST(SendKeys, TypesWhatTheStringSays) {
    for (const auto& row : kTyped) {
        const QString keys = QString::fromUtf16(row.keys);
        RecordingInputSink sink;
        EXPECT_EQ(SendKeys(sink, keys), std::nullopt) << keys.toStdString();
        EXPECT_EQ(sink.events.join(", ").toStdString(), row.events) << keys.toStdString();
        EXPECT_EQ(checkSendKeys(keys), std::nullopt) << keys.toStdString();
    }
}

struct Rejected {
    const char* keys;
    qsizetype position;
    const char* message;
};

const Rejected kRejected[] = {
    {"ab}c", 2, "\"}\" outside braces"},
    {"{}", 0, "unclosed \"{\""},
    {"ab{LEFT", 2, "unclosed \"{\""},
    {"x{LFT}", 1, "unknown key name \"LFT\""},
    {"{F17}", 0, "unknown key name \"F17\""},
    {"{LEFT x}", 0, "bad repeat count \"x\""},
    {"{LEFT }", 0, "bad repeat count \"\""},
    {"{LEFT -1}", 0, "bad repeat count \"-1\""},
    {"{LEFT 3 4}", 0, "bad repeat count \"3 4\""},
    {"{a 10001}", 0, "bad repeat count \"10001\""},
    {"{a 99999999999}", 0, "bad repeat count \"99999999999\""},
    {"+(ab", 1, "unmatched \"(\""},
    {"(a(b)", 0, "unmatched \"(\""},
    {"ab)", 2, "unmatched \")\""},
    {"((((a))))", 3, "groups nested deeper than 3"},
    {"++a", 1, "the same modifier twice before one key"},
    {"^%^a", 2, "the same modifier twice before one key"},
    {"+(b+a)", 3, "the same modifier twice before one key"},
};

TEST(SendKeys, RejectsTheWholeStringAndTypesNothing) {
    for (const auto& row : kRejected) {
        RecordingInputSink sink;
        const auto error = SendKeys(sink, row.keys);
        EXPECT_EQ(checkSendKeys(row.keys).has_value(), error.has_value()) << row.keys;
        ASSERT_TRUE(error) << row.keys;
        EXPECT_EQ(error->position, row.position) << row.keys;
        EXPECT_EQ(error->message.toStdString(), row.message) << row.keys;
        EXPECT_TRUE(sink.events.isEmpty()) << row.keys;
    }
}

TEST(SendKeys, RepeatsUpToTheLimit) {
    RecordingInputSink sink;
    EXPECT_EQ(SendKeys(sink, "{x 10000}"), std::nullopt);
    EXPECT_EQ(sink.events.size(), 10000);
}

}  // namespace
}  // namespace velnor
