#include "core/controls.h"

#include <cstring>
#include <utility>

namespace velnor {
namespace {

// Equal texts hold equal code units. memcmp compares them many times faster than char16_t's
// character traits, which go one code unit at a time: the event log's caption, tens of kilobytes
// that differ only late if at all, is compared on every line logged.
bool sameText(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

}  // namespace

void Control::place(std::u16string name, Frame* container, std::u16string caption,
                    Geometry geometry, bool visible) {
    name_ = std::move(name);
    container_ = container;
    initialCaption_ = std::move(caption);
    geometry_ = geometry;
    visible_ = visible;
}

void Control::notify(Property property) {
    if (observer_) observer_->changed(*this, property);
}

void Control::setToolTip(std::u16string toolTip) {
    if (toolTip == toolTip_) return;
    toolTip_ = std::move(toolTip);
    notify(Property::ToolTip);
}

void Form::setWindowState(WindowState state) {
    if (state == windowState_) return;
    windowState_ = state;
    notify(Property::WindowState);
}

void OptionButton::setValue(bool selected) {
    if (selected == value_) return;
    if (!selected) {
        clear();
        return;
    }
    if (Frame* frame = container())
        for (OptionButton* sibling : frame->optionButtons())
            if (sibling != this) sibling->clear();
    value_ = true;
    notify(Property::Value);
    if (Click) Click();
}

void OptionButton::clear() {
    if (!value_) return;
    value_ = false;
    notify(Property::Value);
}

void TextBox::setText(std::u16string text) {
    if (text == text_) return;
    text_ = std::move(text);
    notify(Property::Text);
    if (Change) Change();
}

void TextBox::setProblem(std::u16string problem) {
    if (problem == problem_) return;
    problem_ = std::move(problem);
    notify(Property::Problem);
}

void DropDownList::addItem(std::u16string text, int32_t itemData) {
    entries_.push_back({std::move(text), itemData});
    notify(Property::Entries);
}

void DropDownList::setListIndex(int index) {
    if (index < -1 || index >= listCount()) index = -1;
    if (index == listIndex_) return;
    listIndex_ = index;
    notify(Property::Selection);
    if (index >= 0 && text_ != entries_[static_cast<size_t>(index)].text) {
        text_ = entries_[static_cast<size_t>(index)].text;
        notify(Property::Text);
    }
    if (Click) Click();
}

void DropDownList::setText(std::u16string text) {
    if (text == text_) return;
    text_ = std::move(text);
    notify(Property::Text);
    if (listIndex_ >= 0 && entries_[static_cast<size_t>(listIndex_)].text != text_) {
        listIndex_ = -1;
        notify(Property::Selection);
        if (Click) Click();
    }
}

void Label::setCaption(std::u16string caption) {
    if (sameText(caption, caption_)) return;
    caption_ = std::move(caption);
    notify(Property::Caption);
}

void Indicator::setFillColor(int32_t color) {
    if (color == fillColor_) return;
    fillColor_ = color;
    notify(Property::FillColor);
}

}  // namespace velnor
