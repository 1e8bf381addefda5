#pragma once

#include <string>
#include <vector>

#include "core/controls.h"

namespace velnor::test {

// Writes each change it hears as "<control> <property>": "optCom1 Value".
class RecordingObserver final : public ControlObserver {
  public:
    void changed(Control& control, Property property) override {
        static const char16_t* const names[] = {
            u"Value",       u"Text",       u"Caption", u"Entries", u"Selection", u"FillColor",
            u"WindowState", u"Activation", u"ToolTip", u"Problem", u"Closing"};
        changes.push_back(control.name() + u" " + names[static_cast<int>(property)]);
    }

    std::vector<std::u16string> changes;
};

}  // namespace velnor::test
