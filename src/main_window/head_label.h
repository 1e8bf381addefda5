#pragma once

#include <QLabel>

namespace velnor {

// A label for a long text of which only the head can be seen: it lays out and paints just the
// lines that fit, so a long log costs no more to show than a short one.
class HeadLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velnor
