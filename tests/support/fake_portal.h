#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace velnor::test {

// The desktop's portal (org.freedesktop.portal.Desktop) with its RemoteDesktop interface, on the
// bus at `address`, served from a thread of its own, so that a sink on the test's thread may wait
// for it. It records every call, answers each request at once with the code set (0 allows, 1 is a
// cancelled dialog, 2 a refusal), and from version 2 gives a new restore token at each start.
class FakePortal {
  public:
    struct Call {
        QString method;
        QVariantMap options;
    };

    FakePortal(const QString& address, uint version);
    ~FakePortal();
    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;

    // Whether it holds the portal's name on the bus.
    bool serving() const { return serving_; }

    void setAnswer(uint code);
    // The calls that set sessions up and end them (CreateSession, SelectDevices, Start, Close of a
    // session or a request), in their order, with their options.
    std::vector<Call> calls() const;
    // The input events received, in their order: "keysym 97 1", "button 272 0".
    QStringList events() const;
    // Waits, without the caller's events, until `count` input events have arrived.
    bool awaitEvents(qsizetype count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The restore token the last start gave, or "".
    QString lastToken() const;

    // The desktop closes the last session, as it does when the screen locks.
    void closeSession();
    // The portal gives up its name, as when it ends.
    void leave();

  private:
    class Object;
    friend class Object;

    const uint version_;
    QDBusConnection connection_;
    QThread thread_;
    std::unique_ptr<Object> object_;
    bool serving_ = false;

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    uint answer_ = 0;
    std::vector<Call> calls_;
    QStringList events_;
    QString session_;
    QString lastToken_;
};

}  // namespace velnor::test
