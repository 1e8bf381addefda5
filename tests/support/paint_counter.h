#pragma once

#include <QEvent>
#include <QWidget>
#include <cstdint>

namespace velnor::test {

// Counts the paint events a widget receives from its creation on.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int64_t paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace velnor::test
