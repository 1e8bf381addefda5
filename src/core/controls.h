#pragma once

// The window's controls as the program sees them, without any toolkit: what each kind holds and
// the events it raises. Events are raised synchronously inside the setter that causes them, as a
// form's runtime does: selecting an option button from code runs its click before the call
// returns, and a handler that changes another control raises that control's event at once. A view
// shows the controls through one ControlObserver and hands the user's input to the same setters.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velnor {

enum class ControlKind { Form, Frame, OptionButton, TextBox, DropDownList, Label, Indicator };

// Position and size in twips (1/1440 inch; 15 twips are one pixel at 96 dots per inch), relative
// to the container's client area.
struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// What changed on a control; a view updates just that.
enum class Property {
    Value,        // OptionButton::value
    Text,         // TextBox::text, DropDownList::text
    Caption,      // Label::caption
    Entries,      // DropDownList entries added
    Selection,    // DropDownList::listIndex
    FillColor,    // Indicator::fillColor
    WindowState,  // Form::windowState
    Activation,   // Form::activate: bring the window to the front
    ToolTip,      // Control::toolTip
    Problem,      // TextBox::problem
    Closing,      // Form::close: close the window as the user does
};

class Control;

// Hears of every change of a control's state, once per changed property, after the change and
// before any event the change raises.
class ControlObserver {
  public:
    virtual void changed(Control& control, Property property) = 0;

  protected:
    ~ControlObserver() = default;
};

class Frame;

class Control {
  public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    virtual ControlKind kind() const = 0;
    const std::u16string& name() const { return name_; }
    // The frame that contains the control; null for the form and the controls placed on it.
    Frame* container() const { return container_; }
    const Geometry& geometry() const { return geometry_; }
    // The fixed caption of a form, frame or option button, or the initial text of a text box,
    // list or label.
    const std::u16string& initialCaption() const { return initialCaption_; }
    // False for the program's helpers that the user is not meant to see.
    bool visible() const { return visible_; }

    // A hint the view shows when the pointer rests on the control; empty for none.
    const std::u16string& toolTip() const { return toolTip_; }
    void setToolTip(std::u16string toolTip);

    // Places the control; done once, from the layout table.
    void place(std::u16string name, Frame* container, std::u16string caption, Geometry geometry,
               bool visible);
    void setObserver(ControlObserver* observer) { observer_ = observer; }

  protected:
    Control() = default;
    void notify(Property property);

  private:
    std::u16string name_;
    Frame* container_ = nullptr;
    Geometry geometry_;
    std::u16string initialCaption_;
    bool visible_ = true;
    std::u16string toolTip_;
    ControlObserver* observer_ = nullptr;
};

enum class WindowState { Normal, Minimized };

class Form final : public Control {
  public:
    Form() = default;
    ControlKind kind() const override { return ControlKind::Form; }
    WindowState windowState() const { return windowState_; }
    void setWindowState(WindowState state);
    // Asks the view to show the window in front of the others and give it the focus.
    void activate() { notify(Property::Activation); }
    // Asks the view to close the window as the user's closing it does, unload and all.
    void close() { notify(Property::Closing); }

  private:
    WindowState windowState_ = WindowState::Normal;
};

class OptionButton;

class Frame final : public Control {
  public:
    Frame() = default;
    ControlKind kind() const override { return ControlKind::Frame; }
    // The option buttons of the frame, which form one exclusive group.
    const std::vector<OptionButton*>& optionButtons() const { return optionButtons_; }
    void addOptionButton(OptionButton& button) { optionButtons_.push_back(&button); }

  private:
    std::vector<OptionButton*> optionButtons_;
};

class OptionButton final : public Control {
  public:
    OptionButton() = default;
    ControlKind kind() const override { return ControlKind::OptionButton; }
    bool value() const { return value_; }
    // Selecting clears the other buttons of the frame and then runs Click; selecting the selected
    // button does nothing. Clearing runs nothing.
    void setValue(bool selected);
    std::function<void()> Click;

  private:
    void clear();
    bool value_ = false;
};

class TextBox final : public Control {
  public:
    TextBox() = default;
    ControlKind kind() const override { return ControlKind::TextBox; }
    const std::u16string& text() const { return text_; }
    // Runs Change unless the text stays as it was.
    void setText(std::u16string text);
    std::function<void()> Change;

    // Why the text cannot act as written; empty when it can. The view marks the box while it is
    // set and shows the sentence as the box's hint.
    const std::u16string& problem() const { return problem_; }
    void setProblem(std::u16string problem);

  private:
    std::u16string text_;
    std::u16string problem_;
};

class DropDownList final : public Control {
  public:
    struct Entry {
        std::u16string text;
        int32_t itemData = 0;
    };

    DropDownList() = default;
    ControlKind kind() const override { return ControlKind::DropDownList; }

    // Entries are appended in the order added, never sorted. Adding selects nothing.
    void addItem(std::u16string text, int32_t itemData = 0);
    const std::vector<Entry>& entries() const { return entries_; }
    int listCount() const { return static_cast<int>(entries_.size()); }
    int32_t itemData(int index) const { return entries_.at(static_cast<size_t>(index)).itemData; }
    // The selected entry, -1 for none. Selecting an entry shows its text; selecting none keeps the
    // text shown.
    int listIndex() const { return listIndex_; }
    void setListIndex(int index);
    // The text shown in the list's edit field. Editing it to anything but the selected entry's
    // text leaves no entry selected.
    const std::u16string& text() const { return text_; }
    void setText(std::u16string text);
    // Runs when the selection changes, to another entry or to none.
    std::function<void()> Click;

  private:
    std::vector<Entry> entries_;
    int listIndex_ = -1;
    std::u16string text_;
};

class Label final : public Control {
  public:
    Label() = default;
    ControlKind kind() const override { return ControlKind::Label; }
    const std::u16string& caption() const { return caption_; }
    void setCaption(std::u16string caption);

  private:
    std::u16string caption_;
};

// Stored colour values (red + 256 * green + 65536 * blue) of a line's indicator.
inline constexpr int32_t kIndicatorOff = 192;  // RGB(192, 0, 0), dark red
inline constexpr int32_t kIndicatorOn = 255;   // RGB(255, 0, 0), bright red
// RGB(128, 128, 128), grey: the open port's driver does not report the line.
inline constexpr int32_t kIndicatorNotReported = 128 + 256 * 128 + 65536 * 128;

class Indicator final : public Control {
  public:
    Indicator() = default;
    ControlKind kind() const override { return ControlKind::Indicator; }
    int32_t fillColor() const { return fillColor_; }
    void setFillColor(int32_t color);

  private:
    int32_t fillColor_ = kIndicatorOff;
};

}  // namespace velnor
