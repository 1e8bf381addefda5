// The tray icon where the desktop has a tray: the input lines' indicators drawn as one icon, the
// form's hint, and the form's tray menu. Where there is none, nothing of it exists.

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include "view/qt/form_view.h"
#include "view/qt/indicator_box.h"

namespace velnor {
namespace {

// DSR, CTS, CD and RI as the four quarters of a square, each in its indicator's colour.
QIcon linesIcon(const std::array<const Indicator*, 4>& indicators) {
    constexpr int kSize = 32;
    constexpr int kHalf = kSize / 2;
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    for (size_t i = 0; i < indicators.size(); ++i) {
        painter.setBrush(storedColor(indicators[i]->fillColor()));
        painter.drawRect(int(i % 2) * kHalf, int(i / 2) * kHalf, kHalf - 1, kHalf - 1);
    }
    return QIcon(pixmap);
}

}  // namespace

void QtFormView::createTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    form_.setTrayAvailable(available);
    if (!available) return;
    tray_ = new QSystemTrayIcon(this);
    trayMenu_ = std::make_unique<QMenu>();
    // Filled as it opens, so that it shows the settings as they are.
    connect(trayMenu_.get(), &QMenu::aboutToShow, this, &QtFormView::fillTrayMenu);
    connect(trayMenu_.get(), &QMenu::triggered, this, &QtFormView::refillTrayMenuLater);
    fillTrayMenu();
    tray_->setContextMenu(trayMenu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    form_.showWindow();
            });
    showTray();
    tray_->show();
}

void QtFormView::showTray() {
    if (!tray_) return;
    const QString hint = QString::fromStdU16String(form_.trayHint());
    if (tray_->toolTip() != hint) tray_->setToolTip(hint);
    const auto indicators = form_.trayIndicators();
    std::array<int32_t, 4> colors{};
    for (size_t i = 0; i < indicators.size(); ++i) colors[i] = indicators[i]->fillColor();
    // Each new icon travels to the tray: only a change of a line's colour makes one.
    if (!tray_->icon().isNull() && colors == trayColors_) return;
    trayColors_ = colors;
    tray_->setIcon(linesIcon(indicators));
}

void QtFormView::fillTrayMenu() {
    trayMenuDue_ = false;
    trayMenu_->clear();
    auto model = std::make_shared<Menu>(form_.trayMenu());
    fillMenu(*trayMenu_, *model, model);
}

// Not at once: the entry that changed the settings may still be running from the menu's action.
void QtFormView::refillTrayMenuLater() {
    if (!trayMenu_ || trayMenuDue_) return;
    trayMenuDue_ = true;
    QTimer::singleShot(0, this, [this] {
        if (trayMenuDue_) fillTrayMenu();
    });
}

// Hidden once the minimising is done: hiding from inside the change would be undone by it.
void QtFormView::hideToTrayIfMinimized() {
    if (!isMinimized() || !form_.hidesToTray()) return;
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && form_.hidesToTray()) hide();
    });
}

}  // namespace velnor
