#include "core/pattern.h"

#include <optional>
#include <utility>
#include <vector>

namespace velnor {

struct Pattern::Token {
    enum class Kind { Literal, AnyRun, AnyOne, Digit, List };
    Kind kind;
    char16_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char16_t, char16_t>> ranges = {};

    bool matches(char16_t c) const {
        switch (kind) {
            case Kind::Literal:
                return c == literal;
            case Kind::AnyOne:
                return true;
            case Kind::Digit:
                return c >= u'0' && c <= u'9';
            case Kind::List: {
                bool inList = false;
                for (const auto& [low, high] : ranges) inList = inList || (c >= low && c <= high);
                return inList != negated;
            }
            case Kind::AnyRun:
                break;
        }
        return false;
    }
};

namespace {

using Token = Pattern::Token;

// Parses "[...]" starting just past the "["; returns the token and the index past "]".
std::optional<std::pair<Token, size_t>> parseList(std::u16string_view pattern, size_t i) {
    Token token{Token::Kind::List};
    if (i < pattern.size() && pattern[i] == u'!') {
        token.negated = true;
        ++i;
    }
    while (i < pattern.size() && pattern[i] != u']') {
        const char16_t low = pattern[i];
        if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
            const char16_t high = pattern[i + 2];
            if (high < low) return std::nullopt;
            token.ranges.emplace_back(low, high);
            i += 3;
        } else {
            token.ranges.emplace_back(low, low);
            ++i;
        }
    }
    if (i >= pattern.size()) return std::nullopt;
    return std::pair{token, i + 1};
}

std::optional<std::vector<Token>> tokenize(std::u16string_view pattern) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < pattern.size();) {
        const char16_t c = pattern[i];
        if (c == u'[') {
            auto list = parseList(pattern, i + 1);
            if (!list) return std::nullopt;
            // "[]" stands for the empty string and consumes nothing.
            if (!list->first.ranges.empty() || list->first.negated) tokens.push_back(list->first);
            i = list->second;
            continue;
        }
        if (c == u'*') {
            if (tokens.empty() || tokens.back().kind != Token::Kind::AnyRun)
                tokens.push_back({Token::Kind::AnyRun});
        } else if (c == u'?') {
            tokens.push_back({Token::Kind::AnyOne});
        } else if (c == u'#') {
            tokens.push_back({Token::Kind::Digit});
        } else {
            tokens.push_back({Token::Kind::Literal, c});
        }
        ++i;
    }
    return tokens;
}

}  // namespace

Pattern::Pattern(std::u16string_view pattern) {
    auto tokens = tokenize(pattern);
    valid_ = tokens.has_value();
    if (valid_) tokens_ = std::move(*tokens);
}

Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

bool matchesPattern(std::u16string_view text, std::u16string_view pattern) {
    return Pattern(pattern).matches(text);
}

bool Pattern::matches(std::u16string_view text) const {
    if (!valid_) return false;
    // Greedy scan that backtracks only to the most recent "*": linear in practice, never
    // exponential.
    size_t t = 0;
    size_t s = 0;
    std::optional<size_t> starToken;
    size_t starText = 0;
    while (s < text.size()) {
        if (t < tokens_.size() && tokens_[t].kind == Token::Kind::AnyRun) {
            starToken = t++;
            starText = s;
        } else if (t < tokens_.size() && tokens_[t].matches(text[s])) {
            ++t;
            ++s;
        } else if (starToken) {
            t = *starToken + 1;
            s = ++starText;
        } else {
            return false;
        }
    }
    while (t < tokens_.size() && tokens_[t].kind == Token::Kind::AnyRun) ++t;
    return t == tokens_.size();
}

}  // namespace velnor
