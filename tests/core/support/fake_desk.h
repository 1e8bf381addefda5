#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/port_catalog.h"
#include "core/start_entry.h"

namespace velnor::test {

// The user's assignments of COM ports, kept in memory; `unwritable` makes keeping them fail as a
// full or read-only disk does, `unreadable` says why what is kept cannot be read. Port n stands for
// "/dev/ttyS<n-1>" unless assigned.
class FakeCatalog final : public PortCatalog {
  public:
    std::vector<Device> devices() override { return plugged; }
    std::u16string describe(const std::u16string& device) override {
        for (const Device& plug : plugged)
            if (plug.path == device) return plug.description;
        return device;
    }
    std::u16string defaultDevice(int port) override {
        return u"/dev/ttyS" + std::u16string(1, char16_t(u'0' + port - 1));
    }
    std::optional<std::u16string> assigned(int port) override {
        const auto found = assignments.find(port);
        if (found == assignments.end()) return std::nullopt;
        return found->second;
    }
    Result<> assign(int port, const std::u16string& device) override {
        if (device.empty())
            assignments.erase(port);
        else
            assignments[port] = device;
        if (unwritable)
            return std::unexpected(
                Problem{ProblemKind::Permission, u"ports.ini cannot be written"});
        return {};
    }
    std::optional<Problem> settingsProblem() override { return unreadable; }
    std::u16string deviceOf(int port) { return assigned(port).value_or(defaultDevice(port)); }

    std::vector<Device> plugged;
    std::map<int, std::u16string> assignments;
    bool unwritable = false;
    std::optional<Problem> unreadable;
};

// An entry that starts the program, with the arguments it was last given; named by `place`.
class FakeStartEntry final : public StartEntry {
  public:
    explicit FakeStartEntry(std::u16string place) : place_(std::move(place)) {}
    bool enabled() override { return arguments.has_value(); }
    std::u16string place() override { return place_; }
    Result<> enable(const std::vector<std::u16string>& given) override {
        if (unwritable)
            return std::unexpected(
                Problem{ProblemKind::Permission, place_ + u" cannot be written"});
        arguments = given;
        return {};
    }
    Result<> disable() override {
        if (unwritable)
            return std::unexpected(
                Problem{ProblemKind::Permission, place_ + u" cannot be removed"});
        arguments.reset();
        return {};
    }

    std::optional<std::vector<std::u16string>> arguments;
    bool unwritable = false;

  private:
    std::u16string place_;
};

}  // namespace velnor::test
