#include "view/qt/indicator_box.h"

#include <QPainter>

namespace velnor {

QColor storedColor(int32_t color) {
    return {color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff};
}

void IndicatorBox::setFillColor(int32_t color) {
    if (color == fillColor_) return;
    fillColor_ = color;
    update();
}

void IndicatorBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(storedColor(fillColor_));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velnor
