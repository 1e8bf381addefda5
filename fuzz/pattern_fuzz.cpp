// The key-name pattern matcher on any pattern and text.
#include "fuzz_support.h"
#include "key_names/pattern.h"

using velnor::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = velnor::fuzz::utf16(data, size);
    const qsizetype cut = input.indexOf(u'\n');
    if (cut < 0) return 0;
    const QString pattern = input.left(cut);
    const QString text = input.mid(cut + 1);
    const bool matches = velnor::matchesPattern(text, pattern);
    static const QString special = QStringLiteral("*?#[");
    const bool plain = std::none_of(pattern.begin(), pattern.end(),
                                    [](QChar c) { return special.contains(c); });
    if (plain) require(matches == (text == pattern), "a plain pattern matches only itself");
    require(velnor::matchesPattern(text, QStringLiteral("*")), "* matches everything");
    if (matches) require(velnor::matchesPattern(text, pattern + u'*'), "a trailing * keeps a match");
    return 0;
}
