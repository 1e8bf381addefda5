#include "core/text.h"

namespace velnor {

std::u16string toU16(int value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

}  // namespace velnor
