#include "view/qt/log_label.h"

#include <QPainter>

namespace velnor {

LogLabel::LogLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LogLabel::setText(QString text) {
    if (text == text_) return;
    text_ = std::move(text);
    update();
}

void LogLabel::paintEvent(QPaintEvent*) {
    // Every line of the text takes at least one row, so the rows that fit never need more lines.
    const QRect area = contentsRect();
    const qsizetype rows = area.height() / qMax(1, fontMetrics().lineSpacing()) + 1;
    qsizetype end = -1;
    for (qsizetype row = 0; row < rows; ++row) {
        end = text_.indexOf(u'\n', end + 1);
        if (end < 0) break;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().brush(backgroundRole()));
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     end < 0 ? text_ : text_.left(end));
}

}  // namespace velnor
