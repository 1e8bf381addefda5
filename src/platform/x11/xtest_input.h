#pragma once

#include <QString>
#include <expected>
#include <memory>

#include "platform/synthetic_input.h"

namespace velnor {

// Opens an XTest input backend on its own connection to `displayName` (null: $DISPLAY). On
// failure returns one sentence saying why and what to do. The sink releases every key and button
// it still holds, and undoes its temporary keymap entries, when it is destroyed.
std::expected<std::unique_ptr<InputSink>, QString> openXTestInput(
    const char* displayName = nullptr);

}  // namespace velnor
