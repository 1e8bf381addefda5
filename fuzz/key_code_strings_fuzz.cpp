// Key code strings against the filled lookup list.
#include <QComboBox>

#include "commands/split_text.h"
#include "fuzz_support.h"
#include "key_names/key_names.h"
#include "platform/widgets.h"
#include "signal_actions/key_code_strings.h"

using velnor::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QComboBox* lookup = [] {
        velnor::fuzz::startApplication();
        auto* list = new QComboBox;
        velnor::makeDropDownList(*list);
        velnor::FillKeyList(*list);
        return list;
    }();
    const QString text = velnor::fuzz::utf16(data, size);
    const auto table = velnor::parseKeyCodeString(text, *lookup);
    const auto steps = velnor::SplitText(text, QStringLiteral(","));
    if (table) {
        require(steps && std::cmp_equal(table->size(), steps->size()), "one row per step");
        for (const auto& row : *table) {
            require(!row.empty(), "every step has a name");
            for (const int code : row) require(code == -1 || (code >= 1 && code <= 144), "codes");
        }
    }
    velnor::keyCodeStringProblem(text, table);
    return 0;
}
