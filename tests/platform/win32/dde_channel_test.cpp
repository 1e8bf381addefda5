#include "platform/win32/dde_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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
        ASSERT_EQ(channel.claim({.linkOpen = [this](int& cancel) { cancel = refuseLinks; },
                                 .linkExecute =
                                     [this](const std::u16string& command, int& cancel) {
                                         executed.push_back(narrow(command));
                                         if (command.starts_with(u"refuse")) cancel = 1;
                                     },
                                 .eventLog = [] { return u"12:00:00  Velnor Control 0.1"; },
                                 .port = {},
                                 .lineOn = {},
                                 .show = [this] { ++shows; }}),
                  CommandChannel::Claim::Owner)
            << channel.problem();
    }

    Win32EventLoop loop;
    DdeChannel channel;
    std::vector<std::string> executed;
    int refuseLinks = 0;
    int shows = 0;
};

TEST_F(DdeChannelTest, CommandsOfAnotherProcessArriveInOrder) {
    EXPECT_EQ(runClient(loop, L"execute \"-port=com1 -dtr\" \"-rts\" \"\" \"-port=none\""),
              "ok\nok\nok\nok\n");
    EXPECT_EQ(executed, (std::vector<std::string>{"-port=com1 -dtr", "-rts", "", "-port=none"}));
}

TEST_F(DdeChannelTest, RefusedCommandIsAnErrorForTheClient) {
    EXPECT_EQ(runClient(loop, L"execute refuse \"-dtr\""),
              "Other \"The command was not applied; the event log says why\"\nok\n");
    EXPECT_EQ(executed, (std::vector<std::string>{"refuse", "-dtr"}));
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

TEST_F(DdeChannelTest, ClientsReadTheEventLog) {
    EXPECT_EQ(runClient(loop, L"eventlog"), "12:00:00  Velnor Control 0.1\n");
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
