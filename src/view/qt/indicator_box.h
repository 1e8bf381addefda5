#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>

#include "core/controls.h"

namespace velnor {

// The colour a stored colour value stands for.
QColor storedColor(int32_t color);

// A filled square whose fill colour (red + 256 * green + 65536 * blue) shows the state of a line.
class IndicatorBox final : public QWidget {
    Q_OBJECT
  public:
    explicit IndicatorBox(QWidget* parent = nullptr) : QWidget(parent) {}

    int32_t fillColor() const { return fillColor_; }
    void setFillColor(int32_t color);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int32_t fillColor_ = kIndicatorOff;
};

}  // namespace velnor
