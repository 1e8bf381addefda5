#pragma once

#include <string>

namespace velnor {

// The decimal digits of `value`, with a leading "-" when it is negative.
std::u16string toU16(int value);

}  // namespace velnor
