#include "core/send_keys.h"

#include <algorithm>
#include <expected>
#include <ranges>
#include <utility>
#include <vector>

#include "core/virtual_keys.h"

namespace velnor {
namespace {

constexpr int kShift = 16;
constexpr int kControl = 17;
constexpr int kAlt = 18;
constexpr int kEnter = 13;
constexpr size_t kMaxGroupDepth = 3;
// A repeat count beyond this would keep the window's thread typing for minutes.
constexpr int kMaxRepeat = 10000;

struct Stroke {
    enum Kind { KeyDown, KeyUp, Character } kind;
    int virtualKey = 0;
    char32_t character = 0;
};

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

int modifierOf(char16_t c) {
    switch (c) {
        case u'+':
            return kShift;
        case u'^':
            return kControl;
        case u'%':
            return kAlt;
        default:
            return 0;
    }
}

// Turns a whole keystroke string into strokes, or the first error; nothing is typed while parsing.
class Parser {
  public:
    explicit Parser(std::u16string_view keys) : keys_(keys) {}

    std::expected<std::vector<Stroke>, SendKeysError> run() {
        while (pos_ < keys_.size()) {
            if (auto error = step()) return std::unexpected(*std::move(error));
        }
        if (!groups_.empty()) return fail(groups_.back().openedAt, u"unmatched \"(\"");
        releasePending();
        return std::move(strokes_);
    }

  private:
    struct Group {
        size_t openedAt;
        std::vector<int> modifiers;
    };
    // One key, or one character, as written in braces or plain.
    struct Target {
        int virtualKey = 0;
        char32_t character = 0;
        int count = 1;
    };

    static std::unexpected<SendKeysError> fail(size_t position, std::u16string message) {
        return std::unexpected(SendKeysError{position, std::move(message)});
    }

    std::optional<SendKeysError> step() {
        const char16_t c = keys_[pos_];
        if (const int modifier = modifierOf(c)) return pressModifier(modifier);
        switch (c) {
            case u'(':
                if (groups_.size() == kMaxGroupDepth)
                    return SendKeysError{pos_, u"groups nested deeper than 3"};
                groups_.push_back({pos_, std::exchange(pending_, {})});
                ++pos_;
                return std::nullopt;
            case u')':
                if (groups_.empty()) return SendKeysError{pos_, u"unmatched \")\""};
                releasePending();
                pending_ = std::move(groups_.back().modifiers);
                groups_.pop_back();
                releasePending();
                ++pos_;
                return std::nullopt;
            case u'}':
                return SendKeysError{pos_, u"\"}\" outside braces"};
            case u'~':
                ++pos_;
                emit({.virtualKey = kEnter});
                return std::nullopt;
            case u'{': {
                auto target = braced();
                if (!target) return target.error();
                emit(*target);
                return std::nullopt;
            }
            default:
                emit({.character = takeCharacter(keys_, pos_)});
                return std::nullopt;
        }
    }

    std::optional<SendKeysError> pressModifier(int modifier) {
        const auto holds = [modifier](const std::vector<int>& held) {
            return std::ranges::find(held, modifier) != held.end();
        };
        if (holds(pending_) || std::ranges::any_of(groups_, holds, &Group::modifiers))
            return SendKeysError{pos_, u"the same modifier twice before one key"};
        pending_.push_back(modifier);
        strokes_.push_back({Stroke::KeyDown, modifier});
        ++pos_;
        return std::nullopt;
    }

    // Reads "{name}", "{name n}" or "{c}" at pos_; a "}" right after the "{" is the character.
    std::expected<Target, SendKeysError> braced() {
        const size_t open = pos_;
        const size_t contentStart = open + 1;
        const size_t firstAfter = contentStart < keys_.size() && keys_[contentStart] == u'}'
                                      ? contentStart + 1
                                      : contentStart;
        const size_t close = keys_.find(u'}', firstAfter);
        if (close == keys_.npos) return fail(open, u"unclosed \"{\"");
        pos_ = close + 1;

        const std::u16string_view content = keys_.substr(contentStart, close - contentStart);
        size_t afterFirst = 0;
        const char32_t first = takeCharacter(content, afterFirst);
        const size_t space = content.find(u' ', afterFirst);
        const std::u16string_view name = content.substr(0, space);

        Target target;
        if (space != content.npos) {
            const std::u16string_view countText = content.substr(space + 1);
            const auto count = repeatCount(countText);
            if (!count)
                return fail(open, u"bad repeat count \"" + std::u16string(countText) + u'"');
            target.count = *count;
        }
        if (name.size() == afterFirst) {
            target.character = first;
        } else {
            target.virtualKey = virtualKeyOfBraceName(name);
            if (!target.virtualKey)
                return fail(open, u"unknown key name \"" + std::u16string(name) + u'"');
        }
        return target;
    }

    // The decimal digits of a repeat count as a number up to kMaxRepeat, or nothing.
    static std::optional<int> repeatCount(std::u16string_view digits) {
        if (digits.empty()) return std::nullopt;
        int count = 0;
        for (const char16_t d : digits) {
            if (d < u'0' || d > u'9') return std::nullopt;
            count = count * 10 + (d - u'0');
            if (count > kMaxRepeat) return std::nullopt;
        }
        return count;
    }

    // One code point at `pos` (a surrogate pair counts as one); advances `pos` past it.
    static char32_t takeCharacter(std::u16string_view text, size_t& pos) {
        const char16_t c = text[pos++];
        if (isHighSurrogate(c) && pos < text.size() && isLowSurrogate(text[pos])) {
            const char16_t low = text[pos++];
            return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
        }
        return c;
    }

    void emit(const Target& target) {
        for (int i = 0; i < target.count; ++i) {
            if (target.virtualKey) {
                strokes_.push_back({Stroke::KeyDown, target.virtualKey});
                strokes_.push_back({Stroke::KeyUp, target.virtualKey});
            } else {
                strokes_.push_back({Stroke::Character, 0, target.character});
            }
        }
        releasePending();
    }

    void releasePending() {
        for (const int modifier : pending_ | std::views::reverse)
            strokes_.push_back({Stroke::KeyUp, modifier});
        pending_.clear();
    }

    std::u16string_view keys_;
    size_t pos_ = 0;
    std::vector<int> pending_;  // modifiers written before the next key, in written order
    std::vector<Group> groups_;
    std::vector<Stroke> strokes_;
};

}  // namespace

std::optional<SendKeysError> checkSendKeys(std::u16string_view keys) {
    auto strokes = Parser(keys).run();
    if (!strokes) return strokes.error();
    return std::nullopt;
}

std::optional<SendKeysError> SendKeys(InputSink& sink, std::u16string_view keys) {
    auto strokes = Parser(keys).run();
    if (!strokes) return strokes.error();
    for (const Stroke& stroke : *strokes) {
        switch (stroke.kind) {
            case Stroke::KeyDown:
                sink.key(stroke.virtualKey, true);
                break;
            case Stroke::KeyUp:
                sink.key(stroke.virtualKey, false);
                break;
            case Stroke::Character:
                sink.typeCharacter(stroke.character);
                break;
        }
    }
    sink.textTyped();
    return std::nullopt;
}

}  // namespace velnor
