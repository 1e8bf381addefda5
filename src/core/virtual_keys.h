#pragma once

#include <span>
#include <string_view>

namespace velnor {

// A virtual-key code that stands for a key of the keyboard, and the SendKeys brace names of that
// key: upper case, separated by spaces ("" for none).
struct VirtualKey {
    int code;
    std::u16string_view braceNames;
};

// Every virtual-key code of the key name table (mouse buttons aside), the keys the SendKeys brace
// names stand for, and nothing else; each once, in ascending order: the keys an input backend is
// asked to press.
std::span<const VirtualKey> virtualKeys();

// The virtual-key code of a SendKeys brace name, case-insensitive ("bs", "PgUp"), or 0.
int virtualKeyOfBraceName(std::u16string_view name);

}  // namespace velnor
