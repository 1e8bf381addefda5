#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/command_channel.h"

namespace velnor::test {

// A command channel whose claim answers as the test says; it keeps the topic it was given, so
// the test can play the client, and records what it was asked to execute as a client.
class FakeChannel final : public CommandChannel {
  public:
    explicit FakeChannel(Claim answer, Problem problem = {})
        : answer_(answer), problem_(std::move(problem)) {}

    Claim claim(Topic topic) override {
        served = std::move(topic);
        return answer_;
    }
    Problem problem() const override { return problem_; }
    Result<> execute(const std::u16string& command) override {
        executed.push_back(command);
        return executeAnswer;
    }
    Result<> show() override {
        ++showRequests;
        return executeAnswer;
    }
    void announceLine(std::u16string_view line, bool on) override {
        announced.push_back(std::u16string(line) + (on ? u" on" : u" off"));
    }

    std::optional<Topic> served;
    std::vector<std::u16string> executed;
    Result<> executeAnswer;  // what the running copy answers
    int showRequests = 0;
    std::vector<std::u16string> announced;

  private:
    Claim answer_;
    Problem problem_;
};

}  // namespace velnor::test
