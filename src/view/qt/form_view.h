#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <unordered_map>

#include "core/main_form.h"

class QMenu;
class QStyle;
class QSystemTrayIcon;

namespace velnor {

// The window of a MainForm on Qt: one widget per control of the layout table (frames QGroupBox,
// option buttons QRadioButton, text boxes QLineEdit, drop-down lists editable QComboBox, labels
// QLabel, the event log a LogLabel, indicators an IndicatorBox), named and placed as the table
// says. It shows each change the form's controls report and hands the user's input to the same
// setters code uses; it keeps no state of the form's own. The frames that the form gives a menu
// carry it as their context menu.
class QtFormView final : public QWidget, private ControlObserver {
    Q_OBJECT
  public:
    explicit QtFormView(MainForm& form, QWidget* parent = nullptr);
    ~QtFormView() override;

    // The widget that shows `control`: the view itself for the form.
    QWidget* widgetOf(const Control& control) const { return widgets_.at(&control); }
    // The context menu of `frame` as the form describes it now, null for a frame without one;
    // the caller shows it.
    std::unique_ptr<QMenu> contextMenu(const Frame& frame);
    // The tray icon, with the form's tray menu; null where the desktop has no tray.
    QSystemTrayIcon* trayIcon() const { return tray_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void changed(Control& control, Property property) override;
    QWidget* create(Control& control);
    void connectInput(Control& control, QWidget& widget);
    void connectContextMenus();
    void fillMenu(QMenu& menu, const std::vector<MenuEntry>& entries,
                  const std::shared_ptr<const Menu>& model);
    void choose(const MenuEntry& entry);
    void follow(Control& control, Property property);
    void followAll(Control& control);
    void followWindowState();
    void followValue(const OptionButton& button);
    void followText(const TextBox& text);
    void followToolTip(const Control& control);
    void followList(const DropDownList& list, Property property);
    void createTray();
    void showTray();
    void fillTrayMenu();
    void refillTrayMenuLater();
    void hideToTrayIfMinimized();

    MainForm& form_;
    std::unordered_map<const Control*, QWidget*> widgets_;
    QStyle* const frameStyle_;
    // Set while the view writes the model's state into its widgets: what the widgets report
    // then is not the user's input.
    bool following_ = false;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    bool trayMenuDue_ = false;
    std::array<int32_t, 4> trayColors_{};  // of the icon shown
};

}  // namespace velnor
