// The settings of each input line beyond its frame's controls, the settle time of its debounce and
// its polarity: a context menu on the line's frame sets them, and the frame's hint, which the
// form keeps, tells them. No control of the frame moves or changes for them.

#include <QActionGroup>
#include <QGroupBox>
#include <QInputDialog>
#include <QMenu>
#include <algorithm>

#include "platform/qt/text.h"
#include "view/qt/form_view.h"

namespace velnor {
namespace {

QAction* addChoice(QMenu& menu, QActionGroup& group, const QString& text, bool chosen) {
    QAction* action = menu.addAction(text);
    action->setCheckable(true);
    action->setChecked(chosen);
    group.addAction(action);
    return action;
}

}  // namespace

void QtFormView::connectLineMenus() {
    for (const SignalLine& line : form_.lines) {
        auto* frame = static_cast<QGroupBox*>(widgetOf(line.frame()));
        frame->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(frame, &QWidget::customContextMenuRequested, this,
                [this, frame](QPoint at) { lineMenu(*frame)->exec(frame->mapToGlobal(at)); });
    }
}

std::unique_ptr<QMenu> QtFormView::lineMenu(const QGroupBox& frame) {
    const auto line = std::ranges::find_if(
        form_.lines, [&](const SignalLine& row) { return widgetOf(row.frame()) == &frame; });
    if (line == form_.lines.end()) return nullptr;
    const LineFilter& filter = line->filter();
    const QString name = toQString(line->name());
    auto menu = std::make_unique<QMenu>();

    QMenu* settle = menu->addMenu(QStringLiteral("Settle time"));
    auto* settleTimes = new QActionGroup(settle);
    const int current = static_cast<int>(filter.settleTime().count());
    const auto setSettle = [&line = *line](int milliseconds) {
        line.setSettleTime(LineFilter::Duration(milliseconds));
    };
    for (const int preset : kSettleTimePresets) {
        const QString text = preset == 0 ? QStringLiteral("None: every edge acts")
                                         : QStringLiteral("%1 ms").arg(preset);
        connect(addChoice(*settle, *settleTimes, text, current == preset), &QAction::triggered,
                this, [setSettle, preset] { setSettle(preset); });
    }
    const bool preset =
        std::ranges::find(kSettleTimePresets, current) != std::end(kSettleTimePresets);
    const QString other =
        preset ? QStringLiteral("Other...") : QStringLiteral("Other (%1 ms)...").arg(current);
    connect(addChoice(*settle, *settleTimes, other, !preset), &QAction::triggered, this,
            [this, setSettle, name, current] {
                bool ok = false;
                const int chosen = QInputDialog::getInt(
                    this, QStringLiteral("%1 settle time").arg(name),
                    QStringLiteral("Milliseconds in which further edges of %1 are ignored "
                                   "(0 to %2):")
                        .arg(name)
                        .arg(LineFilter::kMaxSettleTime.count()),
                    current, 0, static_cast<int>(LineFilter::kMaxSettleTime.count()), 1, &ok);
                if (ok) setSettle(chosen);
            });

    QMenu* polarity = menu->addMenu(QStringLiteral("Polarity"));
    auto* polarities = new QActionGroup(polarity);
    for (const bool inverted : {false, true}) {
        const QString text = inverted ? QStringLiteral("Inverted (normally closed switch)")
                                      : QStringLiteral("Normal");
        connect(addChoice(*polarity, *polarities, text, filter.inverted() == inverted),
                &QAction::triggered, this,
                [&line = *line, inverted] { line.setInverted(inverted); });
    }
    return menu;
}

}  // namespace velnor
