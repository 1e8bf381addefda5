#include "platform/synthetic_input.h"

namespace velnor {
namespace {

class NoInput final : public InputSink {
  public:
    void key(int, bool) override {}
    void mouseButton(MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}
};

}  // namespace

InputBackend openInputBackend() {
    return {std::make_unique<NoInput>(), QStringLiteral("none"),
            QStringLiteral("Synthetic input is not available yet: key events are dropped")};
}

}  // namespace velnor
