#pragma once

#include <QObject>
#include <QVariantList>

#include "core/command_channel.h"

namespace velnor {

class TopicAdaptor;

// The command channel on the D-Bus session bus: name org.velnor.Velnor, object /MainForm,
// interface org.velnor.Velnor.Topic with Execute(s), EventLog() and Show(), the signal
// LineChanged(s line, b on) and the read-only properties Port, DSR, CTS, CD and RI. A refused
// Execute answers with an error. Both sides in one: the copy whose claim() takes the name serves
// the object, and a copy that finds the name taken calls the running one with execute() and show().
class DBusChannel final : public QObject, public CommandChannel {
    Q_OBJECT
  public:
    DBusChannel();
    ~DBusChannel() override;

    Claim claim(Topic topic) override;
    Problem problem() const override { return problem_; }
    Result<> execute(const std::u16string& command) override;
    Result<> show() override;
    void announceLine(std::u16string_view line, bool on) override;

  private:
    friend class TopicAdaptor;
    // Client side: calls `method` of the running copy.
    static Result<> call(const QString& method, const QVariantList& arguments);

    TopicAdaptor* adaptor_;  // owned as a child
    Topic topic_;
    Problem problem_;
    bool registered_ = false;
};

}  // namespace velnor
