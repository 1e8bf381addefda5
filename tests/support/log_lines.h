#pragma once

#include <QStringList>

#include "core/main_form.h"

namespace velnor {

// The messages of an event log text, oldest first, without their time and the initial line.
inline QStringList messagesOfLog(const QString& logText) {
    QStringList messages;
    const QStringList lines = logText.split(u'\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (*line == u"EventLog") continue;
        const qsizetype separator = line->indexOf(QStringLiteral("  "));
        messages.append(separator < 0 ? *line : line->mid(separator + 2));
    }
    return messages;
}

inline QStringList logMessages(const MainForm& form) {
    return messagesOfLog(QString::fromStdU16String(form.EventLog.caption()));
}

}  // namespace velnor
