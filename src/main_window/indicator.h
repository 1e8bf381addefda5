#pragma once

#include <QWidget>

namespace velnor {

// Stored colour values (red + 256 * green + 65536 * blue) of a line's indicator.
inline constexpr int kIndicatorOff = 192;  // RGB(192, 0, 0), dark red
inline constexpr int kIndicatorOn = 255;   // RGB(255, 0, 0), bright red

// A filled square whose fill colour shows the state of a line.
class Indicator : public QWidget {
    Q_OBJECT
  public:
    explicit Indicator(QWidget* parent = nullptr);

    int fillColor() const { return fillColor_; }
    void setFillColor(int colorValue);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int fillColor_ = kIndicatorOff;
};

}  // namespace velnor
