#pragma once

// Standard C++ only: the core's tests use it too.

#include <string>
#include <utility>
#include <vector>

#include "core/input_sink.h"

namespace velnor {

// Writes every injected event as a short readable line: "key 16 down", "mouse left up",
// "char a", so expectations read as the sequence a user would see.
class LineInputSink : public InputSink {
  public:
    void key(int virtualKey, bool down) override {
        record("key " + std::to_string(virtualKey) + (down ? " down" : " up"));
    }
    void mouseButton(MouseButton button, bool down) override {
        static const char* const names[] = {"left", "right", "middle"};
        record(std::string("mouse ") + names[static_cast<int>(button)] + (down ? " down" : " up"));
    }
    void typeCharacter(char32_t character) override { record("char " + utf8(character)); }
    Menu menu() override { return offered; }

    Menu offered;  // the entries the backend offers in the window's menu

  protected:
    virtual void record(std::string line) = 0;

  private:
    static std::string utf8(char32_t c) {
        if (c < 0x80) return std::string(1, char(c));
        if (c < 0x800) return {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        if (c < 0x10000)
            return {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        return {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)), char(0x80 | (c >> 6 & 0x3F)),
                char(0x80 | (c & 0x3F))};
    }
};

// The lines of the events injected so far.
class RecordedInput : public LineInputSink {
  public:
    // The lines joined by ", ".
    std::string joined() const {
        std::string text;
        for (const std::string& line : events) text += (text.empty() ? "" : ", ") + line;
        return text;
    }

    bool sending() const override { return busy; }

    std::vector<std::string> events;
    bool busy = false;  // as a backend with events of an earlier text still to send

  protected:
    void record(std::string line) override { events.push_back(std::move(line)); }
};

}  // namespace velnor
