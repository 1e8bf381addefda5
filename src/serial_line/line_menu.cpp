// The settings of each input line beyond its frame's controls, the settle time of its debounce and
// its polarity: a context menu on the line's frame sets them, and the frame's tooltip tells them.
// No control of the frame moves or changes for them.

#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <algorithm>

#include "main_window/main_form.h"
#include "serial_line/line_filter.h"

namespace velnor {
namespace {

constexpr int kSettlePresets[] = {0, 10, 20, 30, 50, 100};

struct FrameLine {
    QGroupBox* frame;
    LineFilter* filter;
    const char* name;
};

std::array<FrameLine, 3> frameLines(const MainForm& form) {
    return {{{form.frameDSR, form.dsrFilter.get(), "DSR"},
             {form.frameCTS, form.ctsFilter.get(), "CTS"},
             {form.frameCD, form.cdFilter.get(), "CD"}}};
}

QAction* addChoice(QMenu& menu, QActionGroup& group, const QString& text, bool chosen) {
    QAction* action = menu.addAction(text);
    action->setCheckable(true);
    action->setChecked(chosen);
    group.addAction(action);
    return action;
}

}  // namespace

void MainForm::connectLineMenus() {
    for (const FrameLine& line : frameLines(*this)) {
        QGroupBox* frame = line.frame;
        frame->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(frame, &QWidget::customContextMenuRequested, this,
                [this, frame](QPoint at) { lineMenu(*frame)->exec(frame->mapToGlobal(at)); });
    }
    showLineSettings();
}

std::unique_ptr<QMenu> MainForm::lineMenu(const QGroupBox& frame) {
    const auto lines = frameLines(*this);
    const auto line = std::ranges::find(lines, &frame, &FrameLine::frame);
    if (line == lines.end()) return nullptr;
    LineFilter& filter = *line->filter;
    const QString name = QLatin1String(line->name);
    auto menu = std::make_unique<QMenu>();

    QMenu* settle = menu->addMenu(QStringLiteral("Settle time"));
    auto* settleTimes = new QActionGroup(settle);
    const int current = static_cast<int>(filter.settleTime().count());
    const auto setSettle = [this, &filter](int milliseconds) {
        filter.setSettleTime(LineFilter::Duration(milliseconds));
        showLineSettings();
    };
    for (const int preset : kSettlePresets) {
        const QString text = preset == 0 ? QStringLiteral("None: every edge acts")
                                         : QStringLiteral("%1 ms").arg(preset);
        connect(addChoice(*settle, *settleTimes, text, current == preset), &QAction::triggered,
                this, [setSettle, preset] { setSettle(preset); });
    }
    const bool preset = std::ranges::find(kSettlePresets, current) != std::end(kSettlePresets);
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
                &QAction::triggered, this, [this, &filter, inverted] {
                    filter.setInverted(inverted);
                    showLineSettings();
                });
    }
    return menu;
}

void MainForm::showLineSettings() {
    for (const FrameLine& line : frameLines(*this)) {
        const auto settle = line.filter->settleTime().count();
        line.frame->setToolTip(QStringLiteral("%1: %2, %3 polarity. Right-click to change.")
                                   .arg(QLatin1String(line.name),
                                        settle == 0
                                            ? QStringLiteral("every edge acts")
                                            : QStringLiteral("settle time %1 ms").arg(settle),
                                        line.filter->inverted() ? QStringLiteral("inverted")
                                                                : QStringLiteral("normal")));
    }
}

}  // namespace velnor
