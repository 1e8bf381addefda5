#pragma once

#include <QString>
#include <QStringList>

#include "platform/synthetic_input.h"
#include "support/qt_print.h"

namespace velnor {

// Records every injected event as a short readable line: "key 16 down", "mouse left up",
// "char a", so expectations read as the sequence a user would see.
class RecordingInputSink : public InputSink {
  public:
    void key(int virtualKey, bool down) override {
        events.append(QStringLiteral("key %1 %2").arg(virtualKey).arg(down ? "down" : "up"));
    }
    void mouseButton(MouseButton button, bool down) override {
        static const char* const names[] = {"left", "right", "middle"};
        events.append(QStringLiteral("mouse %1 %2")
                          .arg(names[static_cast<int>(button)])
                          .arg(down ? "down" : "up"));
    }
    void typeCharacter(char32_t character) override {
        events.append(QStringLiteral("char ") + QString::fromUcs4(&character, 1));
    }

    QStringList events;
};

}  // namespace velnor
