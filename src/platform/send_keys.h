#pragma once

#include <QString>
#include <optional>

#include "platform/synthetic_input.h"

namespace velnor {

// Why a keystroke string cannot be typed, and where (0-based character index).
struct SendKeysError {
    qsizetype position;
    QString message;
};

// Checks a keystroke string in SendKeys syntax without typing anything.
std::optional<SendKeysError> checkSendKeys(const QString& keys);

// Types a keystroke string through `sink`. The whole string is checked first: a string with an
// error types nothing and the error is returned.
std::optional<SendKeysError> SendKeys(InputSink& sink, const QString& keys);

}  // namespace velnor
