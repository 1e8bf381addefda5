#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velnor {

struct KeyNameEntry {
    std::u16string text;  // the key name, in one case followed by a hint: "vbKeyMenu (alt)"
    int code;  // virtual-key code; 1, 2 and 4 are the left, right and middle mouse buttons
};

// The 99 key names in list order.
const std::vector<KeyNameEntry>& keyNameTable();

// The key name of an entry text: the text up to its first space.
std::u16string_view keyNameOf(std::u16string_view entryText);

}  // namespace velnor
