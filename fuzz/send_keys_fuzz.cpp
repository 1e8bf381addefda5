// The SendKeys parser and player: a string either types nothing and names an error, or types
// and leaves nothing held.
#include <map>
#include <string>

#include "core/send_keys.h"
#include "fuzz_support.h"

using velnor::fuzz::require;

namespace {

class HeldKeys : public velnor::InputSink {
  public:
    void key(int virtualKey, bool down) override { count(keys_[virtualKey], down); }
    void mouseButton(velnor::MouseButton button, bool down) override {
        count(buttons_[static_cast<int>(button)], down);
    }
    void typeCharacter(char32_t) override { ++events; }

    bool nothingHeld() const {
        for (const auto& [key, held] : keys_)
            if (held != 0) return false;
        for (const auto& [button, held] : buttons_)
            if (held != 0) return false;
        return true;
    }
    int events = 0;

  private:
    void count(int& held, bool down) {
        held += down ? 1 : -1;
        require(held >= 0, "nothing is released that was not pressed");
        ++events;
    }
    std::map<int, int> keys_;
    std::map<int, int> buttons_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string keys = velnor::fuzz::utf16(data, size);
    HeldKeys sink;
    const auto checked = velnor::checkSendKeys(keys);
    const auto typed = velnor::SendKeys(sink, keys);
    require(checked.has_value() == typed.has_value(), "checking and typing agree");
    if (typed) {
        require(sink.events == 0, "a string with an error types nothing");
        require(typed->position <= keys.size(), "the error is in the string");
    } else {
        require(sink.nothingHeld(), "typing leaves nothing held");
    }
    return 0;
}
