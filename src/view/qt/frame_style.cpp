#include "view/qt/frame_style.h"

#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QStyleOption>

namespace velnor {
namespace {

// Fusion's space above a group box's frame, beyond its title, and the grey of its outline, laid
// over the window at 50 of 255.
constexpr int kTopMargin = 3;
constexpr int kOutlineGrey = 117;
constexpr int kOutlineAlpha = 50;

}  // namespace

void FrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Placed as Fusion places its image: below the title, whose height is the larger of the text's
    // and a check box's; an outline one pixel in from the left and top, its corners cut.
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    const bool titled = !box || box->isCheckable() || !box->title().isEmpty();
    const int top =
        kTopMargin + (titled ? std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                        option->fontMetrics.height())
                             : 0);
    const QRect frame = option->rect.adjusted(1, top + 1, 0, 0);
    // Fusion's grey at a fifth, mixed here with the window's colour: an opaque fill takes the
    // raster engine's plain path, where a translucent one of a tall frame is split across a thread
    // pool that Qt would start for it.
    const QColor window = option->palette.window().color();
    const auto mix = [](int under, int over) {
        return under + (over - under) * kOutlineAlpha / 255;
    };
    const QColor outline(mix(window.red(), kOutlineGrey), mix(window.green(), kOutlineGrey),
                         mix(window.blue(), kOutlineGrey));
    const int inner = frame.width() - 2, tall = frame.height() - 2;
    painter->fillRect(frame.left() + 1, frame.top(), inner, 1, outline);
    painter->fillRect(frame.left() + 1, frame.bottom(), inner, 1, outline);
    painter->fillRect(frame.left(), frame.top() + 1, 1, tall, outline);
    painter->fillRect(frame.right(), frame.top() + 1, 1, tall, outline);
}

FrameStyle* FrameStyle::forFrames(QObject* owner) {
    if (QApplication::style()->name() != QLatin1String("fusion")) return nullptr;
    auto* style = new FrameStyle;
    style->setParent(owner);
    return style;
}

}  // namespace velnor
