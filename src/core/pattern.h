#pragma once

#include <string_view>
#include <vector>

namespace velnor {

// A name pattern: "*" any run, "?" any one character, "#" one digit, "[a-z]" a character list
// with ranges, "[!...]" its complement; everything else matches itself, case-sensitively. The
// whole text must match. A malformed pattern (an unclosed "[" or a descending range) matches
// nothing. Compile once to match many texts.
class Pattern {
  public:
    explicit Pattern(std::u16string_view pattern);
    ~Pattern();
    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;

    bool matches(std::u16string_view text) const;

    struct Token;  // one element of the compiled pattern

  private:
    std::vector<Token> tokens_;
    bool valid_ = true;
};

// One-off match of `text` against `pattern`.
bool matchesPattern(std::u16string_view text, std::u16string_view pattern);

}  // namespace velnor
