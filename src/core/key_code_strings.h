#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velnor {

// The parsed form of a key code string: one row per step, each row the codes of the step's
// names in the order written (-1 for a name that matched no key).
using KeyCodeTable = std::vector<std::vector<int>>;

// The code of the key a name (a pattern) designates, or -1.
using KeyLookup = std::function<int(std::u16string_view name)>;

// Translates a key code string ("vbKeyMenu+vbKeyTab,vbKeyA") into its table, looking each name
// up with `lookup`: nothing when the text holds no step or a step without a single name.
std::optional<KeyCodeTable> parseKeyCodeString(std::u16string_view text, const KeyLookup& lookup);

// What a user should hear about a key code string and its table: the names that match no key,
// or a step without a name that silences the whole string. Empty when every name was found.
std::u16string keyCodeStringProblem(std::u16string_view text,
                                    const std::optional<KeyCodeTable>& table);

// The table as text: each code followed by "+", each step by ","; "" for no table.
std::u16string GenerateKeyCodeString(const std::optional<KeyCodeTable>& table);

}  // namespace velnor
