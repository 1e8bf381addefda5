#include "platform/qt/time_text.h"

#include <algorithm>
#include <vector>

namespace velnor {
namespace {

// What may set a zone field off from the rest: spaces, commas and brackets.
bool setsZoneOff(char16_t c) {
    constexpr std::u16string_view kSeparators = u" \u00a0\u202f,\u060c\uff0c()[]\uff08\uff09";
    return kSeparators.find(c) != std::u16string_view::npos;
}

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\u00a0' || c == u'\u202f';
}

}  // namespace

std::u16string timeFormatWithoutZone(std::u16string_view format) {
    // Which characters stand outside quoted literal text ('' is a quote character itself).
    std::vector<bool> unquoted(format.size());
    bool quoted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'\'') quoted = !quoted;
        unquoted[i] = !quoted && format[i] != u'\'';
    }
    const auto separatorAt = [&](size_t i) { return unquoted[i] && setsZoneOff(format[i]); };

    // A zone field with other fields on both sides leaves one space between them.
    std::vector<bool> keep(format.size(), true);
    std::vector<bool> spaceBefore(format.size() + 1, false);
    for (size_t i = 0; i < format.size(); ++i) {
        if (!unquoted[i] || format[i] != u't') continue;
        size_t begin = i;
        size_t end = i;
        while (end < format.size() && unquoted[end] && format[end] == u't') ++end;
        while (begin > 0 && separatorAt(begin - 1)) --begin;
        while (end < format.size() && separatorAt(end)) ++end;
        std::fill(keep.begin() + begin, keep.begin() + end, false);
        spaceBefore[end] = begin > 0 && end < format.size();
        i = end - 1;
    }

    std::u16string result;
    for (size_t i = 0; i < format.size(); ++i) {
        if (spaceBefore[i]) result += u' ';
        if (!keep[i]) continue;
        if (unquoted[i] && format[i] == u'B') {
            if (i == 0 || !unquoted[i - 1] || format[i - 1] != u'B') result += u"AP";
            continue;
        }
        if (unquoted[i] && isSpace(format[i]) && (result.empty() || isSpace(result.back())))
            continue;
        result += format[i];
    }
    while (!result.empty() && isSpace(result.back())) result.pop_back();
    return result;
}

std::u16string timeText(QTime time, const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    return locale
        .toString(time, QString::fromStdU16String(timeFormatWithoutZone(format.toStdU16String())))
        .toStdU16String();
}

}  // namespace velnor
