#pragma once

#include <QString>

namespace velnor {

// Text of the event log: newest line first, lines joined by a line feed. Keeps the newest
// `maxLines` lines, so an append costs the same however long the program has run.
class BoundedLog {
  public:
    explicit BoundedLog(QString initialText, int maxLines = 1000);

    void prepend(const QString& line);
    const QString& text() const { return text_; }
    int lineCount() const { return lineCount_; }

  private:
    QString text_;
    int lineCount_;
    int maxLines_;
};

}  // namespace velnor
