#include "main_window/indicator.h"

#include <QPainter>

namespace velnor {

Indicator::Indicator(QWidget* parent) : QWidget(parent) {}

void Indicator::setFillColor(int colorValue) {
    if (colorValue == fillColor_) return;
    fillColor_ = colorValue;
    update();
}

void Indicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor fill(fillColor_ & 0xff, (fillColor_ >> 8) & 0xff, (fillColor_ >> 16) & 0xff);
    painter.setPen(Qt::black);
    painter.setBrush(fill);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velnor
