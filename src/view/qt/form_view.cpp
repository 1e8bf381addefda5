#include "view/qt/form_view.h"

#include <QAccessible>
#include <QBackingStore>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <algorithm>
#include <system_error>
#include <thread>

#include "view/qt/frame_style.h"
#include "view/qt/indicator_box.h"
#include "view/qt/log_label.h"

namespace velnor {
namespace {

constexpr int kSmallestPixelSize = 7;
constexpr qsizetype kSmallestPageBytes = 4096;

QRect pixels(const Geometry& twips) {
    constexpr int k = kTwipsPerPixelAt96Dpi;
    return {twips.left / k, twips.top / k, twips.width / k, twips.height / k};
}

// Option buttons share one font: the form's, or the largest smaller one at which every caption
// fits its twip width, which the style's indicator and spacing may not leave room for.
void fitOptionCaptions(QWidget& form) {
    const QList<QRadioButton*> buttons = form.findChildren<QRadioButton*>();
    const auto allFit = [&buttons] {
        return std::ranges::all_of(
            buttons, [](const QRadioButton* b) { return b->sizeHint().width() <= b->width(); });
    };
    QFont font = form.font();
    while (!allFit() && font.pixelSize() > kSmallestPixelSize) {
        font.setPixelSize(font.pixelSize() - 1);
        for (QRadioButton* button : buttons) button->setFont(font);
    }
}

// The first paint touches every page of the window's pixels, and a page's first touch is a fault
// the window's thread waits for: about 4 ms for this window, as long as the paint itself. The
// native window and its pixels are made as soon as the window's size is known, and a thread of
// their own touches them while the widgets are built. The accessibility bridge asks the X server
// and the bus once, at the first widget it hears of; asked before, its answers do not queue behind
// the X server's making of the pixels.
std::jthread readyPixels(QWidget& window) {
    QAccessible::isActive();
    window.winId();
    window.backingStore()->resize(window.size());
    const auto* image = dynamic_cast<const QImage*>(window.backingStore()->paintDevice());
    if (!image) return {};
    // Not bits(), which could detach the image from the pixels the window shows.
    auto* bits = const_cast<uchar*>(image->constBits());
    try {
        return std::jthread([bits, size = image->sizeInBytes()] {
            for (qsizetype at = 0; at < size; at += kSmallestPageBytes)
                static_cast<volatile uchar*>(bits)[at] = 0;
        });
    } catch (const std::system_error&) {
        return {};  // no thread to spare: the paint touches them
    }
}

// Selects entry `index` (-1 for none) while keeping the text that the list shows when none is
// selected, which QComboBox would clear.
void selectEntry(QComboBox& list, int index) {
    if (index >= 0) {
        list.setCurrentIndex(index);
        return;
    }
    const QString text = list.currentText();
    const int cursor = list.lineEdit()->cursorPosition();
    list.setCurrentIndex(-1);
    list.setEditText(text);
    list.lineEdit()->setCursorPosition(cursor);
}

}  // namespace

QtFormView::QtFormView(MainForm& form, QWidget* parent)
    : QWidget(parent), form_(form), frameStyle_(FrameStyle::forFrames(this)) {
    std::jthread touching;  // done as the view is built
    widgets_[&form_.window] = this;
    setObjectName(QString::fromStdU16String(form_.window.name()));
    setWindowTitle(QString::fromStdU16String(form_.window.initialCaption()));
    // The geometry is laid out for a small dialog font, about 8 points at 96 dots per inch.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    for (const LayoutEntry& entry : layoutTable()) {
        Control& control = controlOf(form_, entry);
        QWidget* widget = &control == &form_.window ? this : create(control);
        widget->setGeometry(pixels(control.geometry()));
        if (widget == this && isWindow()) touching = readyPixels(*this);
        connectInput(control, *widget);
    }
    setFixedSize(size());
    fitOptionCaptions(*this);
    for (const LayoutEntry& entry : layoutTable()) followAll(controlOf(form_, entry));
    connectContextMenus();
    form_.setObserver(this);
    createTray();
}

QtFormView::~QtFormView() {
    form_.setObserver(nullptr);
    // Qt frees the items of the desktop's copy of the tray menu as their actions are removed, not
    // when the menu is destroyed with them.
    if (trayMenu_) trayMenu_->clear();
    delete tray_;  // before the menu it shows
}

QWidget* QtFormView::create(Control& control) {
    QWidget* container = control.container() ? widgetOf(*control.container()) : this;
    const QString caption = QString::fromStdU16String(control.initialCaption());
    QWidget* widget = nullptr;
    switch (control.kind()) {
        case ControlKind::Form:
            return this;
        case ControlKind::Frame:
            widget = new QGroupBox(caption, container);
            if (frameStyle_) widget->setStyle(frameStyle_);
            break;
        case ControlKind::OptionButton:
            widget = new QRadioButton(caption, container);
            break;
        case ControlKind::TextBox:
            widget = new QLineEdit(container);
            break;
        case ControlKind::DropDownList: {
            auto* list = new QComboBox(container);
            list->setLineEdit(new QLineEdit(list));
            list->setInsertPolicy(QComboBox::NoInsert);
            widget = list;
            break;
        }
        case ControlKind::Label:
            if (&control == &form_.EventLog) {
                widget = new LogLabel(container);
            } else {
                auto* label = new QLabel(container);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                label->setWordWrap(true);
                label->setTextFormat(Qt::PlainText);
                widget = label;
            }
            break;
        case ControlKind::Indicator:
            widget = new IndicatorBox(container);
            break;
    }
    widget->setObjectName(QString::fromStdU16String(control.name()));
    // The program's helpers are not for the user's eyes.
    if (!control.visible()) widget->setVisible(false);
    widgets_[&control] = widget;
    return widget;
}

// The user's input goes to the model through the setters that code uses; the model's
// notifications then bring every widget concerned up to date.
void QtFormView::connectInput(Control& control, QWidget& widget) {
    switch (control.kind()) {
        case ControlKind::OptionButton: {
            auto& button = static_cast<OptionButton&>(control);
            connect(static_cast<QRadioButton*>(&widget), &QRadioButton::clicked, this,
                    [this, &button](bool checked) {
                        if (!following_ && checked) button.setValue(true);
                    });
            break;
        }
        case ControlKind::TextBox: {
            auto& text = static_cast<TextBox&>(control);
            connect(static_cast<QLineEdit*>(&widget), &QLineEdit::textEdited, this,
                    [this, &text](const QString& typed) {
                        if (!following_) text.setText(typed.toStdU16String());
                    });
            break;
        }
        case ControlKind::DropDownList: {
            auto& list = static_cast<DropDownList&>(control);
            auto* combo = static_cast<QComboBox*>(&widget);
            connect(combo, &QComboBox::activated, this, [this, &list](int index) {
                if (!following_) list.setListIndex(index);
            });
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, &list](const QString& typed) {
                        if (!following_) list.setText(typed.toStdU16String());
                    });
            break;
        }
        default:
            break;
    }
}

void QtFormView::changed(Control& control, Property property) {
    follow(control, property);
    if (property == Property::FillColor || property == Property::Value) showTray();
    if (property == Property::Value) refillTrayMenuLater();
}

void QtFormView::followAll(Control& control) {
    for (const Property property :
         {Property::Value, Property::Entries, Property::Selection, Property::Text,
          Property::Caption, Property::FillColor, Property::WindowState, Property::ToolTip})
        follow(control, property);
    if (auto* list = qobject_cast<QComboBox*>(widgetOf(control)))
        list->lineEdit()->setCursorPosition(0);
}

void QtFormView::follow(Control& control, Property property) {
    const QScopedValueRollback following(following_, true);
    QWidget* widget = widgetOf(control);
    if (property == Property::ToolTip || property == Property::Problem)
        return followToolTip(control);
    switch (control.kind()) {
        case ControlKind::Form:
            if (property == Property::WindowState) followWindowState();
            if (property == Property::Activation) {
                // Shown and in front, as the user left it otherwise; raising alone is not
                // enough for a minimised window.
                if (isMinimized()) showNormal();
                show();
                raise();
                activateWindow();
            }
            // A window hidden in the tray is not the last visible window, whose closing ends
            // the program otherwise.
            if (property == Property::Closing) {
                const bool hidden = isHidden();
                if (close() && hidden) QCoreApplication::quit();
            }
            break;
        case ControlKind::OptionButton:
            if (property == Property::Value) followValue(static_cast<OptionButton&>(control));
            break;
        case ControlKind::TextBox:
            if (property == Property::Text) followText(static_cast<TextBox&>(control));
            break;
        case ControlKind::DropDownList:
            followList(static_cast<DropDownList&>(control), property);
            break;
        case ControlKind::Label: {
            if (property != Property::Caption) break;
            const QString caption =
                QString::fromStdU16String(static_cast<Label&>(control).caption());
            if (auto* log = qobject_cast<LogLabel*>(widget))
                log->setText(caption);
            else
                static_cast<QLabel*>(widget)->setText(caption);
            break;
        }
        case ControlKind::Indicator:
            if (property == Property::FillColor)
                static_cast<IndicatorBox*>(widget)->setFillColor(
                    static_cast<Indicator&>(control).fillColor());
            break;
        case ControlKind::Frame:
            break;
    }
}

void QtFormView::followWindowState() {
    const bool minimized = form_.window.windowState() == WindowState::Minimized;
    setWindowState(minimized ? windowState() | Qt::WindowMinimized
                             : windowState() & ~Qt::WindowMinimized);
}

void QtFormView::followValue(const OptionButton& button) {
    auto* radio = static_cast<QRadioButton*>(widgetOf(button));
    if (radio->isChecked() == button.value()) return;
    // An exclusive button cannot be cleared on its own, yet a frame may have none selected.
    const bool exclusive = radio->autoExclusive();
    if (!button.value()) radio->setAutoExclusive(false);
    radio->setChecked(button.value());
    radio->setAutoExclusive(exclusive);
}

void QtFormView::followText(const TextBox& text) {
    auto* edit = static_cast<QLineEdit*>(widgetOf(text));
    const QString shown = QString::fromStdU16String(text.text());
    if (edit->text() != shown) edit->setText(shown);
}

// A text box whose text cannot act as written wears a red outline and says why as its hint.
void QtFormView::followToolTip(const Control& control) {
    QWidget* widget = widgetOf(control);
    if (control.kind() != ControlKind::TextBox) {
        widget->setToolTip(QString::fromStdU16String(control.toolTip()));
        return;
    }
    const std::u16string& problem = static_cast<const TextBox&>(control).problem();
    widget->setToolTip(QString::fromStdU16String(problem.empty() ? control.toolTip() : problem));
    widget->setStyleSheet(problem.empty() ? QString()
                                          : QStringLiteral("QLineEdit { border: 2px solid red; }"));
    // A style sheet leaves the application's font set on the box once it goes; the box takes its
    // form's small font again.
    if (problem.empty()) widget->setFont(QFont());
}

void QtFormView::followList(const DropDownList& list, Property property) {
    auto* combo = static_cast<QComboBox*>(widgetOf(list));
    switch (property) {
        case Property::Entries: {
            // The new entries go into the list's model at once: a key list holds about a hundred.
            QList<QStandardItem*> items;
            for (int i = combo->count(); i < list.listCount(); ++i) {
                const DropDownList::Entry& entry = list.entries()[static_cast<size_t>(i)];
                auto* item = new QStandardItem(QString::fromStdU16String(entry.text));
                item->setData(entry.itemData, Qt::UserRole);
                items.append(item);
            }
            static_cast<QStandardItemModel*>(combo->model())
                ->invisibleRootItem()
                ->appendRows(items);
            // QComboBox selects the first entry put into an empty list; the list selects none.
            followList(list, Property::Selection);
            followList(list, Property::Text);
            break;
        }
        case Property::Selection:
            if (combo->currentIndex() != list.listIndex()) selectEntry(*combo, list.listIndex());
            break;
        case Property::Text:
            if (combo->currentText() != QString::fromStdU16String(list.text()))
                combo->setEditText(QString::fromStdU16String(list.text()));
            break;
        default:
            break;
    }
}

void QtFormView::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    form_.Form_Unload(cancel);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

// The user minimising or restoring the window is a change of the form's window state, as a
// command's is.
void QtFormView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    hideToTrayIfMinimized();
    if (following_) return;
    form_.window.setWindowState(isMinimized() ? WindowState::Minimized : WindowState::Normal);
}

}  // namespace velnor
