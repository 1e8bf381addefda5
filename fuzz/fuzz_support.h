#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velnor::fuzz {

// Fuzz input as text: UTF-16 code units taken two bytes at a time, so every 16-bit value
// (lone surrogates and NUL included) can occur.
std::u16string utf16(const uint8_t* data, size_t size);

// Stops the run with a message when an invariant does not hold.
void require(bool condition, const char* what);

}  // namespace velnor::fuzz
