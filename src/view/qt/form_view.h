#pragma once

#include <QWidget>
#include <memory>
#include <unordered_map>

#include "core/main_form.h"

class QGroupBox;
class QMenu;

namespace velnor {

// The window of a MainForm on Qt: one widget per control of the layout table (frames QGroupBox,
// option buttons QRadioButton, text boxes QLineEdit, drop-down lists editable QComboBox, labels
// QLabel, the event log a LogLabel, indicators an IndicatorBox), named and placed as the table
// says. It shows each change the form's controls report and hands the user's input to the same
// setters code uses; it keeps no state of the form's own. The frames of the input lines carry a
// context menu for the line's settle time and polarity.
class QtFormView final : public QWidget, private ControlObserver {
    Q_OBJECT
  public:
    explicit QtFormView(MainForm& form, QWidget* parent = nullptr);
    ~QtFormView() override;

    // The widget that shows `control`: the view itself for the form.
    QWidget* widgetOf(const Control& control) const { return widgets_.at(&control); }
    // The menu of the frame of an input line (frameDSR, frameCTS, frameCD), null for another
    // frame; the caller shows it.
    std::unique_ptr<QMenu> lineMenu(const QGroupBox& frame);
    // The menu of the "Port" frame: the device of each of COM1 to COM4, "Copy command line" and
    // "Start at login with these settings".
    std::unique_ptr<QMenu> portMenu();
    // The program with the arguments of the present configuration, as a shell reads it.
    QString commandLineText() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void changed(Control& control, Property property) override;
    QWidget* create(Control& control);
    void connectInput(Control& control, QWidget& widget);
    void connectLineMenus();
    void connectPortMenu();
    void showPortDevices();
    void assignPort(int port, const QString& device);
    void startAtLogin(bool on);
    void follow(Control& control, Property property);
    void followAll(Control& control);
    void followWindowState();
    void followValue(const OptionButton& button);
    void followText(const TextBox& text);
    void followToolTip(const Control& control);
    void followList(const DropDownList& list, Property property);

    MainForm& form_;
    std::unordered_map<const Control*, QWidget*> widgets_;
    // Set while the view writes the model's state into its widgets: what the widgets report
    // then is not the user's input.
    bool following_ = false;
};

}  // namespace velnor
