#pragma once

#include <QString>
#include <QWidget>

namespace velnor {

// The event log's text, newest line first, left and top aligned and wrapped, as a plain label
// shows it. It lays out and paints only the lines that fit, so a long log costs no more to show
// than a short one; it paints its own background and never changes its size, so a new line
// repaints the label alone and not the frame around it.
class LogLabel final : public QWidget {
    Q_OBJECT
  public:
    explicit LogLabel(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(QString text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

}  // namespace velnor
