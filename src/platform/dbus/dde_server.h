#pragma once

#include <QObject>

#include "core/command_channel.h"

namespace velnor {

// The command channel on the D-Bus session bus: name org.velnor.Velnor, object /MainForm,
// interface org.velnor.Velnor.Topic with Execute(s) and EventLog(). A refused Execute answers with
// an error.
class DdeServer final : public QObject, public CommandChannel {
    Q_OBJECT
  public:
    DdeServer();
    ~DdeServer() override;

    Claim claim(Topic topic) override;
    std::u16string problem() const override { return problem_; }
    std::optional<std::u16string> execute(const std::u16string& command) override;

  private:
    friend class TopicAdaptor;
    Topic topic_;
    std::u16string problem_;
    bool registered_ = false;
};

}  // namespace velnor
