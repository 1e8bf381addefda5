#pragma once

#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/serial_port.h"
#include "platform/qt/text.h"

namespace velnor {

// Records what a port reports, from whatever thread it reports.
class RecordingListener final : public PortListener {
  public:
    void lineChanged(int16_t code) override {
        record([&] { codes_.push_back(code); });
    }
    void notice(const std::u16string& text) override {
        record([&] { notices_.append(toQString(text)); });
    }
    void gone(const std::u16string& reason) override {
        record([&] { lost_.append(toQString(reason)); });
    }

    std::vector<int16_t> codes() const { return read(codes_); }
    QStringList notices() const { return read(notices_); }
    QStringList lost() const { return read(lost_); }

    // Waits until `count` notifications have come (false if they do not within seconds).
    bool awaitCodes(std::size_t count) {
        return await([&] { return codes_.size() >= count; });
    }
    bool awaitNotice() {
        return await([&] { return !notices_.empty(); });
    }
    bool awaitLost() {
        return await([&] { return !lost_.empty(); });
    }

  private:
    template <class Change>
    void record(Change change) {
        std::lock_guard lock(mutex_);
        change();
        changed_.notify_all();
    }
    template <class T>
    T read(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }
    template <class Done>
    bool await(Done done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), done);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int16_t> codes_;
    QStringList notices_;
    QStringList lost_;
};

}  // namespace velnor
