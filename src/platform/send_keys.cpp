#include "platform/send_keys.h"

#include <algorithm>
#include <expected>
#include <ranges>
#include <utility>
#include <vector>

#include "platform/key_map.h"

namespace velnor {
namespace {

constexpr int kShift = 16;
constexpr int kControl = 17;
constexpr int kAlt = 18;
constexpr int kEnter = 13;
constexpr qsizetype kMaxGroupDepth = 3;
// A repeat count beyond this would keep the window's thread typing for minutes.
constexpr int kMaxRepeat = 10000;

struct Stroke {
    enum Kind { KeyDown, KeyUp, Character } kind;
    int virtualKey = 0;
    char32_t character = 0;
};

int modifierOf(QChar c) {
    switch (c.unicode()) {
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
    explicit Parser(const QString& keys) : keys_(keys) {}

    std::expected<std::vector<Stroke>, SendKeysError> run() {
        while (pos_ < keys_.size()) {
            if (auto error = step()) return std::unexpected(*std::move(error));
        }
        if (!groups_.empty()) return fail(groups_.back().openedAt, "unmatched \"(\"");
        releasePending();
        return std::move(strokes_);
    }

  private:
    struct Group {
        qsizetype openedAt;
        std::vector<int> modifiers;
    };
    // One key, or one character, as written in braces or plain.
    struct Target {
        int virtualKey = 0;
        char32_t character = 0;
        int count = 1;
    };

    static std::unexpected<SendKeysError> fail(qsizetype position, const QString& message) {
        return std::unexpected(SendKeysError{position, message});
    }

    std::optional<SendKeysError> step() {
        const QChar c = keys_[pos_];
        if (const int modifier = modifierOf(c)) return pressModifier(modifier);
        switch (c.unicode()) {
            case u'(':
                if (qsizetype(groups_.size()) == kMaxGroupDepth)
                    return SendKeysError{pos_, "groups nested deeper than 3"};
                groups_.push_back({pos_, std::exchange(pending_, {})});
                ++pos_;
                return std::nullopt;
            case u')':
                if (groups_.empty()) return SendKeysError{pos_, "unmatched \")\""};
                releasePending();
                pending_ = std::move(groups_.back().modifiers);
                groups_.pop_back();
                releasePending();
                ++pos_;
                return std::nullopt;
            case u'}':
                return SendKeysError{pos_, "\"}\" outside braces"};
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
            return SendKeysError{pos_, "the same modifier twice before one key"};
        pending_.push_back(modifier);
        strokes_.push_back({Stroke::KeyDown, modifier});
        ++pos_;
        return std::nullopt;
    }

    // Reads "{name}", "{name n}" or "{c}" at pos_; a "}" right after the "{" is the character.
    std::expected<Target, SendKeysError> braced() {
        const qsizetype open = pos_;
        const qsizetype contentStart = open + 1;
        const qsizetype firstAfter = contentStart < keys_.size() && keys_[contentStart] == u'}'
                                         ? contentStart + 1
                                         : contentStart;
        const qsizetype close = keys_.indexOf(u'}', firstAfter);
        if (close < 0) return fail(open, "unclosed \"{\"");
        pos_ = close + 1;

        const QString content = keys_.sliced(contentStart, close - contentStart);
        qsizetype afterFirst = 0;
        const char32_t first = takeCharacter(content, afterFirst);
        const qsizetype space = content.indexOf(u' ', afterFirst);
        const QString name = space < 0 ? content : content.first(space);

        Target target;
        if (space >= 0) {
            const QString countText = content.sliced(space + 1);
            bool ok = !countText.isEmpty() &&
                      std::ranges::all_of(countText, [](QChar d) { return d.isDigit(); });
            target.count = ok ? countText.toInt(&ok) : 0;
            if (!ok || target.count > kMaxRepeat)
                return fail(open, QString("bad repeat count \"%1\"").arg(countText));
        }
        if (name.size() == afterFirst) {
            target.character = first;
        } else {
            target.virtualKey = virtualKeyOfBraceName(name);
            if (!target.virtualKey) return fail(open, QString("unknown key name \"%1\"").arg(name));
        }
        return target;
    }

    // One code point at `pos` (a surrogate pair counts as one); advances `pos` past it.
    static char32_t takeCharacter(const QString& text, qsizetype& pos) {
        const QChar c = text[pos++];
        if (c.isHighSurrogate() && pos < text.size() && text[pos].isLowSurrogate())
            return QChar::surrogateToUcs4(c, text[pos++]);
        return c.unicode();
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

    const QString& keys_;
    qsizetype pos_ = 0;
    std::vector<int> pending_;  // modifiers written before the next key, in written order
    std::vector<Group> groups_;
    std::vector<Stroke> strokes_;
};

}  // namespace

std::optional<SendKeysError> checkSendKeys(const QString& keys) {
    auto strokes = Parser(keys).run();
    if (!strokes) return strokes.error();
    return std::nullopt;
}

std::optional<SendKeysError> SendKeys(InputSink& sink, const QString& keys) {
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
    return std::nullopt;
}

}  // namespace velnor
