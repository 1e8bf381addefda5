#pragma once

#include <string>

namespace velnor {

// The tests' UTF-16 texts as ASCII, for their messages and comparisons.
inline std::string narrow(const std::u16string& text) {
    return {text.begin(), text.end()};
}

}  // namespace velnor
