#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace velnor::fuzz {

std::u16string utf16(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i + 1 < size; i += 2)
        text[i / 2] = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    return text;
}

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace velnor::fuzz
