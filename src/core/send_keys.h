#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/input_sink.h"

namespace velnor {

// Why a keystroke string cannot be typed, and where (0-based UTF-16 code unit index).
struct SendKeysError {
    std::size_t position;
    std::u16string message;

    bool operator==(const SendKeysError&) const = default;
};

// Checks a keystroke string in SendKeys syntax without typing anything.
std::optional<SendKeysError> checkSendKeys(std::u16string_view keys);

// Types a keystroke string through `sink`. The whole string is checked first: a string with an
// error types nothing and the error is returned.
std::optional<SendKeysError> SendKeys(InputSink& sink, std::u16string_view keys);

}  // namespace velnor
