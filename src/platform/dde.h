#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace velnor {

// The local command channel through which other programs, and a second start of this one,
// reach the running window: on Linux the D-Bus session bus, name org.velnor.Velnor, object
// /MainForm, interface org.velnor.Velnor.Topic with Execute(s) and EventLog().
class DdeServer : public QObject {
    Q_OBJECT
  public:
    enum class Claim { Owner, AnotherCopyRuns, Unavailable };

    // `eventLog` answers the read-only EventLog() call.
    explicit DdeServer(std::function<QString()> eventLog, QObject* parent = nullptr);
    ~DdeServer() override;

    // Serves the topic and takes the program's name: Owner when this copy now answers commands,
    // AnotherCopyRuns when a running copy holds the name, Unavailable when there is no session
    // bus (problem() then says why).
    Claim claim();
    const QString& problem() const { return problem_; }

    // Client side: delivers one command to the running copy. The error text, or nothing.
    static std::optional<QString> execute(const QString& command);

  Q_SIGNALS:
    // A client opens a conversation; a handler may refuse it by setting `cancel` non-zero.
    void linkOpen(int& cancel);
    // A client executes a command; a handler refuses it by setting `cancel` non-zero.
    void linkExecute(const QString& command, int& cancel);

  private:
    friend class TopicAdaptor;
    std::function<QString()> eventLog_;
    QString problem_;
    bool registered_ = false;
};

}  // namespace velnor
