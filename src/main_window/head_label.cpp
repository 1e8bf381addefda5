#include "main_window/head_label.h"

#include <QPainter>

namespace velnor {

void HeadLabel::paintEvent(QPaintEvent*) {
    // Every line of the text takes at least one row, so the rows that fit never need more lines.
    const QRect area = contentsRect();
    const qsizetype rows = area.height() / qMax(1, fontMetrics().lineSpacing()) + 1;
    const QString& all = text();
    qsizetype end = -1;
    for (qsizetype row = 0; row < rows; ++row) {
        end = all.indexOf(u'\n', end + 1);
        if (end < 0) break;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, int(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0),
                     end < 0 ? all : all.left(end));
}

}  // namespace velnor
