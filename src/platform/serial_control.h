#pragma once

// The serial port as the window sees it: one SerialControl opens a numbered port, drives DTR and
// RTS, reads DSR, CTS and CD, and raises OnComm on the window's thread when an input line changes.
// Backends (posix/, loopback/) implement SerialPort; they report from any thread through a
// PortListener, and SerialControl turns the reports into queued notifications.

#include <QObject>
#include <QString>
#include <chrono>
#include <expected>
#include <functional>
#include <memory>

namespace velnor {

// Codes that CommEvent holds while OnComm runs; every other code is left unused.
inline constexpr qint16 comEvCTS = 3;
inline constexpr qint16 comEvDSR = 4;
inline constexpr qint16 comEvCD = 5;
inline constexpr qint16 comEvRing = 6;

// Why a port could not be opened or why an open port went away.
struct SerialError {
    QString device;  // what the port number stands for: "/dev/ttyS0", "loopback", ...
    QString reason;  // the system's reason, with a hint where one helps
};

struct ModemLevels {
    bool cts = false;
    bool dsr = false;
    bool cd = false;
    bool ri = false;
};

// Receives the reports of one open port. Backends call it from any thread; each call only hands
// the report on and returns at once.
class PortListener {
  public:
    // An input line changed: comEvCTS, comEvDSR, comEvCD, or comEvRing for a ring.
    virtual void lineChanged(qint16 code) = 0;
    // Something about the open port worth one event-log line.
    virtual void notice(const QString& text) = 0;
    // The device is gone (an unplugged adapter); nothing more is reported.
    virtual void gone(const QString& reason) = 0;

  protected:
    ~PortListener() = default;
};

// One open port of a backend. Destroying it releases the device and returns only once the
// backend can no longer call its listener.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;
    // Present levels of the input lines; all off when they cannot be read.
    virtual ModemLevels levels() = 0;
    // How long after its last report of a line the port may still hold back a change of that
    // line, or read a level that disagrees with its reports: a line quiet for longer is looked
    // at again and is then right. 0 where every change is reported and every read agrees.
    virtual std::chrono::milliseconds settleTime() const = 0;
};

using OpenResult = std::expected<std::unique_ptr<SerialPort>, SerialError>;
// Opens `device` and reports its changes to `listener` until the port is destroyed.
using PortOpener = std::function<OpenResult(const QString& device, PortListener& listener)>;

// The device that port number `port` stands for: the value of VELNOR_COM<port> when it is set
// (a path or the word "loopback"), otherwise /dev/ttyS<port - 1>.
QString comPortDevice(int port);

class LoopbackPort;

class SerialControl : public QObject {
    Q_OBJECT
  public:
    explicit SerialControl(QObject* parent = nullptr);
    ~SerialControl() override;

    // Number of the port that the next open uses.
    qint16 CommPort() const { return commPort_; }
    void setCommPort(qint16 port) { commPort_ = port; }

    bool PortOpen() const { return port_ != nullptr; }
    // Writing true opens port CommPort (nothing happens while a port is open) and applies the
    // stored DTR and RTS settings at once; on failure no port is open and the error says why.
    // Writing false closes the open port, drops its notifications not yet delivered, and cannot
    // fail.
    std::expected<void, SerialError> setPortOpen(bool open);

    // The settings of the output lines: applied at once while a port is open, kept while none is
    // and applied to the next port opened. Both start false.
    bool DTREnable() const { return dtrEnable_; }
    void setDTREnable(bool on);
    bool RTSEnable() const { return rtsEnable_; }
    void setRTSEnable(bool on);

    // Present levels of the input lines of the open port; false while no port is open.
    bool CDHolding() const;
    bool CTSHolding() const;
    bool DSRHolding() const;
    // The open port's settle time (SerialPort::settleTime); 0 while no port is open.
    std::chrono::milliseconds settleTime() const;

    // Code of the notification being delivered by OnComm.
    qint16 CommEvent() const { return commEvent_; }

    // Device of the open port, or empty.
    const QString& device() const { return device_; }
    // The open port when it is the loopback port (tests drive its input lines), otherwise null.
    LoopbackPort* loopbackPort() const;
    // Replaces the way ports are opened; tests put ports of their own here.
    void setOpener(PortOpener opener) { opener_ = std::move(opener); }

  Q_SIGNALS:
    // An input line of the open port changed; CommEvent tells which.
    void OnComm();
    // The open port has something to say for the event log.
    void notice(const QString& text);
    // The open port vanished and has been closed.
    void portLost(const SerialError& error);

  private:
    class Relay;

    ModemLevels levels() const;
    bool delivers(quint64 generation) const { return port_ && generation == generation_; }
    void deliverComm(qint16 code);
    void releaseLostPort(const QString& reason);

    qint16 commPort_ = 1;
    bool dtrEnable_ = false;
    bool rtsEnable_ = false;
    qint16 commEvent_ = 0;
    QString device_;
    PortOpener opener_;
    quint64 generation_ = 0;        // counts opens; reports of an earlier open are dropped
    std::unique_ptr<Relay> relay_;  // outlives port_, which may call it until destroyed
    std::unique_ptr<SerialPort> port_;
};

}  // namespace velnor
