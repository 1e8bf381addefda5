#include "core/key_code_strings.h"

#include "core/split_text.h"
#include "core/text.h"

namespace velnor {
namespace {

constexpr std::u16string_view kStepSeparator = u",";
constexpr std::u16string_view kKeySeparator = u"+";

}  // namespace

std::optional<KeyCodeTable> parseKeyCodeString(std::u16string_view text, const KeyLookup& lookup) {
    const auto steps = SplitText(text, kStepSeparator);
    if (!steps) return std::nullopt;
    KeyCodeTable table;
    table.reserve(steps->size());
    for (const std::u16string& step : *steps) {
        const auto names = SplitText(step, kKeySeparator);
        if (!names) return std::nullopt;
        // Every name is kept, however many a step holds, so a chord plays as written.
        auto& row = table.emplace_back();
        row.reserve(names->size());
        for (const std::u16string& name : *names) row.push_back(lookup(name));
    }
    return table;
}

std::u16string keyCodeStringProblem(std::u16string_view text,
                                    const std::optional<KeyCodeTable>& table) {
    const auto steps = SplitText(text, kStepSeparator);
    if (!steps) return {};
    if (!table) return u"A step without a key name: nothing will be played";
    if (table->size() != steps->size()) return {};
    std::u16string unknown;
    for (size_t i = 0; i < steps->size(); ++i) {
        const auto names = SplitText(steps->at(i), kKeySeparator);
        for (size_t k = 0; k < names->size(); ++k) {
            if (table->at(i).at(k) != -1) continue;
            if (!unknown.empty()) unknown += u", ";
            unknown += u'"' + names->at(k) + u'"';
        }
    }
    if (unknown.empty()) return {};
    return u"No key is named " + unknown;
}

std::u16string GenerateKeyCodeString(const std::optional<KeyCodeTable>& table) {
    std::u16string dump;
    if (!table) return dump;
    for (const auto& step : *table) {
        for (const int code : step) dump += toU16(code) + u'+';
        dump += u',';
    }
    return dump;
}

}  // namespace velnor
