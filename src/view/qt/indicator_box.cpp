#include "view/qt/indicator_box.h"

#include <QPainter>

namespace velnor {

void IndicatorBox::setFillColor(int32_t color) {
    if (color == fillColor_) return;
    fillColor_ = color;
    update();
}

void IndicatorBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor fill(fillColor_ & 0xff, (fillColor_ >> 8) & 0xff, (fillColor_ >> 16) & 0xff);
    painter.setPen(Qt::black);
    painter.setBrush(fill);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velnor
