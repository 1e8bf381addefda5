#include "view/qt/log_label.h"

#include <QPainter>
#include <QTextLayout>
#include <QtMath>

namespace velnor {

LogLabel::LogLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LogLabel::setText(QString text) {
    if (text == text_) return;
    text_ = std::move(text);
    update();
}

std::shared_ptr<QTextLayout> LogLabel::layoutOf(const QString& line) {
    if (const auto known = layouts_.constFind(line); known != layouts_.constEnd()) return *known;
    auto layout = std::make_shared<QTextLayout>(line, font(), this);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WordWrap);
    option.setTextDirection(layoutDirection());
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine())
        row.setLineWidth(layoutWidth_);
    layout->endLayout();
    return layout;
}

// Places the rows as QPainter::drawText places the rows of a word-wrapped text: each a leading
// below the last, on a whole pixel.
void LogLabel::paintEvent(QPaintEvent*) {
    const QRect area = contentsRect();
    if (area.width() != layoutWidth_ || font() != layoutFont_) {
        layouts_.clear();
        layoutWidth_ = area.width();
        layoutFont_ = font();
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().brush(backgroundRole()));
    painter.setPen(palette().color(foregroundRole()));
    painter.setClipRect(area, Qt::IntersectClip);
    const qreal leading = QFontMetricsF(font()).leading();
    QHash<QString, std::shared_ptr<QTextLayout>> shown;
    qreal height = -leading;
    for (qsizetype start = 0; start <= text_.size() && height < area.height();) {
        qsizetype end = text_.indexOf(u'\n', start);
        if (end < 0) end = text_.size();
        const QString line = text_.sliced(start, end - start);
        const std::shared_ptr<QTextLayout> layout = layoutOf(line);
        for (int i = 0; i < layout->lineCount() && height < area.height(); ++i) {
            const QTextLine row = layout->lineAt(i);
            height = qCeil(height + leading);
            row.draw(&painter, QPointF(area.left(), area.top() + height - row.y()));
            height += row.height();
        }
        shown.insert(line, layout);
        start = end + 1;
    }
    layouts_ = std::move(shown);
}

}  // namespace velnor
