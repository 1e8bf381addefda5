#include "platform/win32/comm_port.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/system_text.h"

namespace velnor::win32 {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// How each event of the mask is reported, in the order the watcher reports them.
struct LineEvent {
    DWORD event;
    int16_t code;
};
constexpr LineEvent kLineEventCodes[] = {
    {EV_CTS, comEvCTS}, {EV_DSR, comEvDSR}, {EV_RLSD, comEvCD}, {EV_RING, comEvRing}};

Problem openFailure(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {ProblemKind::Missing, u"no such port (" + systemReason(error) + u")"};
        // A COM port opened by another program refuses every other open with "access denied"
        // (Wine says "sharing violation"): exclusive use is the only access rule a port has, so
        // the denial means busy, not a lack of permission.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return {ProblemKind::Busy,
                    u"busy: another program holds the port (" + systemReason(error) + u")"};
        default:
            return {ProblemKind::Other, systemReason(error)};
    }
}

// The lines are driven by hand only: no handshake may move DTR or RTS, or stop on DSR or CTS.
bool disableHandshake(HANDLE handle) {
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!GetCommState(handle, &settings)) return false;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    return SetCommState(handle, &settings);
}

// A COM port opened for its modem lines, with the watcher thread that reports their changes.
class CommPort final : public SerialPort {
  public:
    CommPort(HANDLE handle, PortListener& listener);
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;
    ~CommPort() override;

    void setDtr(bool on) override;
    void setRts(bool on) override;
    ModemLevels levels() override;
    std::chrono::milliseconds settleTime() const override;
    // Windows tells nothing of a driver's limits: every line is taken as reported.
    ReportedLines reportedLines() const override { return {}; }

  private:
    void watch();
    void report(DWORD events);
    void escape(DWORD function);

    HANDLE handle_;
    HANDLE stop_;
    std::mutex waitStart_;  // a wait begins, or the port stops, never both at once
    PortListener& listener_;
    std::atomic<bool> gone_ = false;  // the listener has heard that the device is gone
    std::thread watcher_;
};

CommPort::CommPort(HANDLE handle, PortListener& listener)
    : handle_(handle), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), listener_(listener) {
    watcher_ = std::thread([this] { watch(); });
}

CommPort::~CommPort() {
    {
        // A wait that has begun ends when the mask changes, and none begins after this.
        std::lock_guard lock(waitStart_);
        SetEvent(stop_);
        SetCommMask(handle_, 0);
    }
    watcher_.join();
    CloseHandle(stop_);
    CloseHandle(handle_);
}

void CommPort::escape(DWORD function) {
    if (!EscapeCommFunction(handle_, function) && !gone_)
        listener_.notice(u"the output line cannot be set: " + systemReason(GetLastError()));
}

void CommPort::setDtr(bool on) {
    escape(on ? SETDTR : CLRDTR);
}

void CommPort::setRts(bool on) {
    escape(on ? SETRTS : CLRRTS);
}

ModemLevels CommPort::levels() {
    DWORD status = 0;
    if (!GetCommModemStatus(handle_, &status)) return {};
    return {.cts = (status & MS_CTS_ON) != 0,
            .dsr = (status & MS_DSR_ON) != 0,
            .cd = (status & MS_RLSD_ON) != 0,
            .ri = (status & MS_RING_ON) != 0};
}

// The serial driver keeps the events that come while no wait is pending, but not every driver
// does (Wine compares the levels with those at the start of each wait): a line quiet this long
// after its last report is read again.
std::chrono::milliseconds CommPort::settleTime() const {
    return 100ms;
}

void CommPort::report(DWORD events) {
    for (const LineEvent& line : kLineEventCodes)
        if ((events & line.event) != 0) listener_.lineChanged(line.code);
}

void CommPort::watch() {
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto lost = [&](DWORD error) {
        gone_ = true;
        listener_.gone(systemReason(error));
    };
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = done;
        DWORD events = 0;
        DWORD unused = 0;
        std::unique_lock lock(waitStart_);
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) break;
        ResetEvent(done);
        BOOL finished = WaitCommEvent(handle_, &events, &overlapped);
        DWORD error = GetLastError();
        lock.unlock();
        if (!finished && error == ERROR_IO_PENDING) {
            const HANDLE handles[] = {stop_, done};
            if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
                // The mask change ends the wait (Wine does not cancel it).
                CancelIoEx(handle_, &overlapped);
                GetOverlappedResult(handle_, &overlapped, &unused, TRUE);
                break;
            }
            finished = GetOverlappedResult(handle_, &overlapped, &unused, FALSE);
            error = GetLastError();
        }
        // A wait that fails while the port is closing is the closing's doing.
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) break;
        if (!finished) {
            lost(error);
            break;
        }
        if (events != 0) {
            report(events);
            continue;
        }
        // A wait that ends with no event while the port stays open: a driver whose device went
        // away does this. Anything else gets a moment before the next wait, so it cannot spin.
        DWORD status = 0;
        if (!GetCommModemStatus(handle_, &status)) {
            lost(GetLastError());
            break;
        }
        if (WaitForSingleObject(stop_, 10) == WAIT_OBJECT_0) break;
    }
    CloseHandle(done);
}

}  // namespace

OpenResult openPort(const std::u16string& device, PortListener& listener) {
    const HANDLE handle = CreateFileW(wideText(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::unexpected(openFailure(GetLastError()));
    // Each step below fails only on a device that is no serial port with modem lines.
    const auto refuse = [&](std::u16string_view what) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return std::unexpected(Problem{ProblemKind::NotSerialPort,
                                       std::u16string(what) + u" (" + systemReason(error) + u")"});
    };
    if (!disableHandshake(handle)) return refuse(u"not a serial port");
    DWORD status = 0;
    if (!GetCommModemStatus(handle, &status))
        return refuse(u"the device has no modem-control lines");
    if (!SetCommMask(handle, kLineEvents)) return refuse(u"the device cannot report line changes");
    return std::make_unique<CommPort>(handle, listener);
}

}  // namespace velnor::win32
