#pragma once

#include <QProxyStyle>

namespace velnor {

// The application's style, except that a group box's frame is painted here. Fusion paints it from
// a PNG among Qt's resources, and Qt reads the first image of a program only after loading every
// image-format plugin to ask whether it reads PNG, then scales it on a thread pool it starts for
// the purpose: milliseconds that the window's first paint waited for. The frame is the same
// rounded outline, painted directly.
class FrameStyle final : public QProxyStyle {
    Q_OBJECT
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // The style for the group boxes of a window: this one where the application's style is
    // Fusion, none (the application's own) otherwise.
    static FrameStyle* forFrames(QObject* owner);
};

}  // namespace velnor
