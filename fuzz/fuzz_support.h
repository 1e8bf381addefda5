#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace velnor::fuzz {

// Fuzz input as text: UTF-16 code units taken two bytes at a time, so every 16-bit value
// (lone surrogates and NUL included) can occur.
QString utf16(const uint8_t* data, size_t size);

// Stops the run with a message when an invariant does not hold.
void require(bool condition, const char* what);

// A QApplication on the offscreen platform, for targets that need widgets.
void startApplication();

}  // namespace velnor::fuzz
