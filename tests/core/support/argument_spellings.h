#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/arguments.h"
#include "core/lines.h"

namespace velnor::test {

// Every option the argument table accepts, each line's spelled out: "-port=", "-dsrMode=", ...
inline std::vector<std::u16string> argumentSpellings() {
    std::vector<std::u16string> spellings;
    for (const ArgumentOption& option : argumentOptions()) {
        if (!option.perLine) {
            spellings.emplace_back(option.option);
            continue;
        }
        for (const InputLine& line : inputLines())
            spellings.push_back(u"-" + std::u16string(line.code) + std::u16string(option.option));
    }
    return spellings;
}

// How often `spelling` stands in `text` whole: not as the start of a longer option ("-dtr" in
// "-dtrOff") nor as the end of one ("-port=" in "--port=").
inline int occurrences(std::u16string_view text, std::u16string_view spelling) {
    const auto partOfAName = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'%' || c == u'-';
    };
    int count = 0;
    for (size_t at = text.find(spelling); at != std::u16string_view::npos;
         at = text.find(spelling, at + 1)) {
        const size_t end = at + spelling.size();
        const bool before = at > 0 && partOfAName(text[at - 1]);
        const bool after = !spelling.ends_with(u'=') && end < text.size() && partOfAName(text[end]);
        if (!before && !after) ++count;
    }
    return count;
}

}  // namespace velnor::test
