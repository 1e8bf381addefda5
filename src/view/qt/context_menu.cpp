// The frames' context menus as the form describes them: built anew each time one is asked for,
// so that they show the settings as they are, and each entry chosen handed back to the form.

#include <QActionGroup>
#include <QGroupBox>
#include <QInputDialog>
#include <QMenu>

#include "view/qt/form_view.h"

namespace velnor {

void QtFormView::connectContextMenus() {
    for (const Frame* frame : form_.menuFrames()) {
        QWidget* widget = widgetOf(*frame);
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, frame, widget](QPoint at) {
                    if (const auto menu = contextMenu(*frame)) menu->exec(widget->mapToGlobal(at));
                });
    }
}

std::unique_ptr<QMenu> QtFormView::contextMenu(const Frame& frame) {
    auto model = std::make_shared<Menu>(form_.menuOf(frame));
    if (model->empty()) return nullptr;
    auto menu = std::make_unique<QMenu>();
    fillMenu(*menu, *model, model);
    return menu;
}

// Each action keeps the model alive: it holds the entries the actions call.
void QtFormView::fillMenu(QMenu& menu, const std::vector<MenuEntry>& entries,
                          const std::shared_ptr<const Menu>& model) {
    QActionGroup* choices = nullptr;  // consecutive entries of which one is chosen
    for (const MenuEntry& entry : entries) {
        // A single '&' marks the next character as an access key; device names may hold one.
        const QString text =
            QString::fromStdU16String(entry.text).replace(u'&', QStringLiteral("&&"));
        if (entry.kind == MenuEntry::Kind::Separator) {
            menu.addSeparator();
            choices = nullptr;
            continue;
        }
        if (entry.kind == MenuEntry::Kind::Submenu) {
            QMenu* submenu = menu.addMenu(text);
            submenu->setEnabled(entry.enabled);
            fillMenu(*submenu, entry.entries, model);
            continue;
        }
        QAction* action = menu.addAction(text);
        action->setEnabled(entry.enabled);
        action->setToolTip(QString::fromStdU16String(entry.toolTip));
        action->setCheckable(entry.mark != MenuEntry::Mark::None);
        action->setChecked(entry.checked);
        if (entry.mark == MenuEntry::Mark::Radio) {
            if (!choices) choices = new QActionGroup(&menu);
            choices->addAction(action);
        } else {
            choices = nullptr;
        }
        connect(action, &QAction::triggered, this, [this, &entry, model] { choose(entry); });
    }
    menu.setToolTipsVisible(true);
}

void QtFormView::choose(const MenuEntry& entry) {
    if (!entry.question) {
        entry.chosen({});
        return;
    }
    const MenuEntry::Question& question = *entry.question;
    const QString title = QString::fromStdU16String(question.title);
    const QString prompt = QString::fromStdU16String(question.prompt);
    const QString initial = QString::fromStdU16String(question.initial);
    bool ok = false;
    QString answer;
    if (question.range) {
        const auto [minimum, maximum] = *question.range;
        answer = QString::number(
            QInputDialog::getInt(this, title, prompt, initial.toInt(), minimum, maximum, 1, &ok));
    } else {
        answer = QInputDialog::getText(this, title, prompt, QLineEdit::Normal, initial, &ok);
    }
    if (ok) entry.chosen(answer.toStdU16String());
}

}  // namespace velnor
