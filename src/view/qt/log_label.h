#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <QWidget>
#include <memory>

class QTextLayout;

namespace velnor {

// The event log's text, newest line first, left and top aligned and wrapped, as a plain label
// shows it. It lays out and paints only the lines that fit, so a long log costs no more to show
// than a short one; it paints its own background and never changes its size, so a new line
// repaints the label alone and not the frame around it. The layouts of the lines shown are kept
// while the font and width stay, so a new line shapes itself alone.
class LogLabel final : public QWidget {
    Q_OBJECT
  public:
    explicit LogLabel(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(QString text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // The layout of one line of the text at the present width, wrapped into rows.
    std::shared_ptr<QTextLayout> layoutOf(const QString& line);

    QString text_;
    QHash<QString, std::shared_ptr<QTextLayout>> layouts_;  // of the lines shown last
    QFont layoutFont_;
    int layoutWidth_ = -1;
};

}  // namespace velnor
