#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velnor {

class DropDownList;

struct KeyNameEntry {
    std::u16string text;  // the key name, in one case followed by a hint: "vbKeyMenu (alt)"
    int code;  // virtual-key code; 1, 2 and 4 are the left, right and middle mouse buttons
};

// The 99 key names in list order.
const std::vector<KeyNameEntry>& keyNameTable();

// The key name of an entry text: the text up to its first space.
std::u16string_view keyNameOf(std::u16string_view entryText);

// Appends the whole table to `list`, each entry's code as its item datum. Leaves the list's
// selection and shown text as they were.
void FillKeyList(DropDownList& list);

// The position of the first entry whose key name matches `name` (a pattern), or -1.
int findKeyByName(const DropDownList& list, std::u16string_view name);

// The code (item datum) of the first entry whose key name matches `name`, or -1. The list's
// selection is neither read nor changed, so an earlier lookup's entry can never pass for this
// name's.
int keyCodeByName(const DropDownList& list, std::u16string_view name);

// Selects the first entry whose key name matches `name` (a pattern, see matchesPattern); when
// none matches, the selection stays as it was.
void SelectKeyByName(DropDownList& list, std::u16string_view name);

}  // namespace velnor
