#include "platform/win32/dde_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/system_text.h"
#include "platform/win32/win32_event_loop.h"
#include "support/problem_print.h"
#include "support/win32/processes.h"
#include "test_text.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;

// Runs the test's DDE client with `arguments` while this thread's messages are handled (the
// server answers from them) and returns what it printed.
std::string runClient(Win32EventLoop& loop, const std::wstring& arguments) {
    return test::runProgram(test::besideThisProgram(L"dde_client.exe"), arguments,
                            [&loop](const std::function<bool()>& done) {
                                loop.runUntil(done, std::chrono::seconds(30));
                            });
}

class DdeChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // "DSR=1" and "DSR=0" turn the line on and off, as a command line may.
        ASSERT_EQ(channel.claim(
                      {.linkOpen = [this](int& cancel) { cancel = refuseLinks; },
                       .linkExecute =
                           [this](const std::u16string& command, int& cancel) {
                               executed.push_back(command);
                               if (command.starts_with(u"refuse")) cancel = 1;
                               if (command.starts_with(u"DSR=")) {
                                   dsr = command == u"DSR=1";
                                   channel.announceLine(u"DSR", dsr);
                               }
                           },
                       .eventLog = [] { return u"12:00:00  Velnor Control 0.1"; },
                       .port = [this] { return port; },
                       .lineOn = [this](std::u16string_view line) { return line == u"DSR" && dsr; },
                       .show = [this] { ++shows; },
                       .log = [this](std::u16string_view line) { logged.emplace_back(line); }}),
                  CommandChannel::Claim::Owner)
            << channel.problem();
    }

    Win32EventLoop loop;
    DdeChannel channel;
    std::vector<std::u16string> executed;
    std::vector<std::u16string> logged;
    std::u16string port;
    bool dsr = false;
    int refuseLinks = 0;
    int shows = 0;
};

TEST_F(DdeChannelTest, CommandsOfAnotherProcessArriveInOrder) {
    EXPECT_EQ(runClient(loop, L"execute \"-port=com1 -dtr\" \"-rts\" \"\" \"-port=none\""),
              "ok\nok\nok\nok\n");
    EXPECT_EQ(executed,
              (std::vector<std::u16string>{u"-port=com1 -dtr", u"-rts", u"", u"-port=none"}));
}

TEST_F(DdeChannelTest, RefusedCommandIsAnErrorForTheClient) {
    EXPECT_EQ(runClient(loop, L"execute refuse \"-dtr\""),
              "Other \"The command was not applied; the event log says why\"\nok\n");
    EXPECT_EQ(executed, (std::vector<std::u16string>{u"refuse", u"-dtr"}));
}

TEST_F(DdeChannelTest, RefusedConversationReachesNoCommand) {
    refuseLinks = 1;
    EXPECT_EQ(runClient(loop, L"execute \"-dtr\""), "Missing \"DDE: no running copy answers\"\n");
    EXPECT_TRUE(executed.empty());
}

TEST_F(DdeChannelTest, SecondStartWithoutCommandsAsksToBeShown) {
    EXPECT_EQ(runClient(loop, L"show"), "ok\n");
    EXPECT_EQ(shows, 1);
    EXPECT_TRUE(executed.empty());
}

// Each client's text arrives code unit for unit, or is refused with a word in the log; never
// applied garbled.
TEST_F(DdeChannelTest, ExecuteTextArrivesAsSentOrIsRefused) {
    const struct {
        std::wstring arguments;
        std::string printed;
        std::vector<std::u16string> executed;
    } cases[] = {
        // A second start, beyond Latin-1 (which Wine's DDEML garbles in an execute string) and
        // with an unpaired surrogate.
        {L"execute \"\u20AC \u65E5\u672C\u8A9E \u00E9\" \xD800-x",
         "ok\nok\n",
         {u"\u20AC \u65E5\u672C\u8A9E \u00E9", u"\xD800-x"}},
        // A Unicode client's text is not read again as UTF-8.
        {L"execute-unicode \u00C3\u00A9", "ok\n", {u"\u00C3\u00A9"}},
        // An ANSI client's UTF-8, and its text in the ANSI code page (1252 in the tests' Wine).
        {L"execute-ansi e282ac20e697a5e69cace8aa9e20c3a9",
         "ok\n",
         {u"\u20AC \u65E5\u672C\u8A9E \u00E9"}},
        {L"execute-ansi 8020e9", "ok\n", {u"\u20AC \u00E9"}},
        // UTF-8 with an unpaired surrogate has no text to apply.
        {L"execute-ansi 2deda080", "refused\n", {}},
    };
    for (const auto& row : cases) {
        executed.clear();
        logged.clear();
        EXPECT_EQ(runClient(loop, row.arguments), row.printed) << narrow(utf16Text(row.arguments));
        EXPECT_EQ(executed, row.executed) << narrow(utf16Text(row.arguments));
        EXPECT_EQ(logged.size(), row.executed.empty() ? 1u : 0u);
    }
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(u"unpaired surrogate"), std::u16string::npos) << narrow(logged[0]);
}

TEST_F(DdeChannelTest, ClientsRequestItemsAsText) {
    const struct {
        std::u16string port;
        bool dsr;
        std::wstring item;
        std::string printed;
    } cases[] = {
        {u"", false, L"EventLog", "12:00:00  Velnor Control 0.1\n"},
        {u"", false, L"Port", "None\n"},
        {u"COM1 (loopback)", false, L"port", "COM1 (loopback)\n"},
        {u"", true, L"DSR", "1\n"},
        {u"", false, L"DSR", "0\n"},
        {u"", true, L"CTS", "0\n"},
        {u"", true, L"Baud", "no answer\n"},
    };
    for (const auto& row : cases) {
        port = row.port;
        dsr = row.dsr;
        EXPECT_EQ(runClient(loop, L"request " + row.item), row.printed)
            << narrow(utf16Text(row.item));
    }
}

TEST_F(DdeChannelTest, AdviseLoopsFollowTheLines) {
    EXPECT_EQ(runClient(loop, L"advise hot DSR DSR=1 DSR=0"), "1\n0\n");
    EXPECT_EQ(runClient(loop, L"advise warm DSR DSR=1 DSR=0"), "1\n0\n");
    EXPECT_EQ(runClient(loop, L"advise hot CTS DSR=1"), "no change\n");
    EXPECT_EQ(runClient(loop, L"advise hot Port DSR=1"), "no loop\n");
}

TEST_F(DdeChannelTest, SecondClaimFindsTheRunningCopy) {
    EXPECT_EQ(runClient(loop, L"claim"), "AnotherCopyRuns\n");
}

TEST(DdeChannel, ClaimWithNoRunningCopyOwnsTheServiceAndExecuteFindsNone) {
    DdeChannel channel;
    const Result<> executed = channel.execute(u"-dtr");
    ASSERT_FALSE(executed);
    EXPECT_EQ(executed.error(), (Problem{ProblemKind::Missing, u"DDE: no running copy answers"}));
    EXPECT_EQ(channel.claim({}), CommandChannel::Claim::Owner) << channel.problem();
}

}  // namespace
}  // namespace velnor
