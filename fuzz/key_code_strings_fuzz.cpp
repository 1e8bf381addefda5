// Key code strings, each name looked up in the key name table as the filled lookup list does.
#include "core/key_code_strings.h"
#include "core/key_names.h"
#include "core/pattern.h"
#include "core/split_text.h"
#include "fuzz_support.h"

using velnor::fuzz::require;

namespace {

int lookUpInTable(std::u16string_view name) {
    const velnor::Pattern pattern(name);
    for (const auto& entry : velnor::keyNameTable())
        if (pattern.matches(velnor::keyNameOf(entry.text))) return entry.code;
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text = velnor::fuzz::utf16(data, size);
    const auto table = velnor::parseKeyCodeString(text, lookUpInTable);
    const auto steps = velnor::SplitText(text, u",");
    if (table) {
        require(steps && table->size() == steps->size(), "one row per step");
        for (const auto& row : *table) {
            require(!row.empty(), "every step has a name");
            for (const int code : row) require(code == -1 || (code >= 1 && code <= 144), "codes");
        }
    }
    velnor::keyCodeStringProblem(text, table);
    velnor::GenerateKeyCodeString(table);
    return 0;
}
