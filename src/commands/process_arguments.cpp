// The argument language shared by the command line and the command channel. Arguments act only
// through the window's controls, so each one takes effect exactly as the user's input would.

#include "core/pattern.h"
#include "core/split_text.h"
#include "key_names/key_names.h"
#include "main_window/main_form.h"
#include "platform/qt_text.h"
#include "serial_line/line_filter.h"

namespace velnor {
namespace {

enum class LineField { EmulateKey, SendKeys, GenerateKeys };

// Value positions count from 1, just past the option name as written.
struct LineOption {
    const char16_t* pattern;
    qsizetype dsrCtsValueAt;
    qsizetype cdValueAt;
    const char* cdCode;
    LineField field;
};

constexpr LineOption kLineOptions[] = {
    {u"-*EmulateKey=*", 16, 15, "cdE", LineField::EmulateKey},
    {u"-*SendKeys=*", 14, 13, "cdS", LineField::SendKeys},
    {u"-*GenerateKeys=*", 18, 17, "cdG", LineField::GenerateKeys},
};

QString valueFrom(const QString& argument, qsizetype position) {
    return argument.mid(position - 1);
}

// A settle time: a whole number of milliseconds, written in decimal digits only.
std::optional<LineFilter::Duration> settleTimeFrom(const QString& value) {
    if (value.isEmpty() || value.size() > 4) return std::nullopt;
    int milliseconds = 0;
    for (const QChar digit : value) {
        if (digit < u'0' || digit > u'9') return std::nullopt;
        milliseconds = milliseconds * 10 + (digit.unicode() - u'0');
    }
    const LineFilter::Duration settle(milliseconds);
    if (settle > LineFilter::kMaxSettleTime) return std::nullopt;
    return settle;
}

}  // namespace

bool MainForm::applyModeArgument(const QString& argument) {
    const struct {
        const char16_t* pattern;
        qsizetype valueAt;
        const char* complaint;
        QRadioButton* emulateKey;
        QRadioButton* sendKeys;
        QRadioButton* generateKeys;
    } modes[] = {
        {u"-dsrMode=*", 10, "Unknown DSR mode:  ", optDSREmulateKey, optDSRSendKeys,
         optDSRGenerateKeys},
        {u"-ctsMode=*", 10, "Unknown CTS mode:  ", optCTSEmulateKey, optCTSSendKeys,
         optCTSGenerateKeys},
        {u"-cdMode=*", 9, "Unknown CD mode:  ", optCDEmulateKey, optCDSendKeys, optCDGenerateKeys},
    };
    for (const auto& mode : modes) {
        if (!matchesPattern(u16View(argument), mode.pattern)) continue;
        const QString value = valueFrom(argument, mode.valueAt);
        if (value == u"emulateKey")
            mode.emulateKey->setChecked(true);
        else if (value == u"sendKeys")
            mode.sendKeys->setChecked(true);
        else if (value == u"generateKeys")
            mode.generateKeys->setChecked(true);
        else
            LogEvent(QLatin1String(mode.complaint) + value);
        return true;
    }
    return false;
}

bool MainForm::applyLineArgument(const QString& argument) {
    const struct {
        QComboBox* key;
        QLineEdit* sendKeys;
        QLineEdit* generateKeys;
    } dsr{cboDSREmulateKey, txtDSRSendKeys, txtDSRGenerateKeys},
        cts{cboCTSEmulateKey, txtCTSSendKeys, txtCTSGenerateKeys},
        cd{cboCDEmulateKey, txtCDSendKeys, txtCDGenerateKeys};
    for (const LineOption& option : kLineOptions) {
        if (!matchesPattern(u16View(argument), option.pattern)) continue;
        // The signal code is the three characters after the dash; the CD prefix has only two
        // letters, so its code takes in the first letter of the option's own name.
        const QString code = argument.mid(1, 3);
        const bool isCd = code == QLatin1String(option.cdCode);
        const auto* line = code == u"dsr" ? &dsr : code == u"cts" ? &cts : isCd ? &cd : nullptr;
        if (!line) {
            LogEvent(QStringLiteral("Unknown signal name:  ") + code);
            return true;
        }
        const QString value = valueFrom(argument, isCd ? option.cdValueAt : option.dsrCtsValueAt);
        switch (option.field) {
            case LineField::EmulateKey:
                SelectKeyByName(*line->key, value);
                break;
            case LineField::SendKeys:
                line->sendKeys->setText(value);
                break;
            case LineField::GenerateKeys:
                line->generateKeys->setText(value);
                break;
        }
        return true;
    }
    return false;
}

// Settings beyond the window's controls; tested after every option of the controls.
bool MainForm::applyLineSettingArgument(const QString& argument) {
    const struct {
        const char16_t* debounce;
        const char16_t* polarity;
        qsizetype valueAt;
        const char* name;
        LineFilter* filter;
    } lines[] = {
        {u"-dsrDebounce=*", u"-dsrPolarity=*", 14, "DSR", dsrFilter.get()},
        {u"-ctsDebounce=*", u"-ctsPolarity=*", 14, "CTS", ctsFilter.get()},
        {u"-cdDebounce=*", u"-cdPolarity=*", 13, "CD", cdFilter.get()},
    };
    for (const auto& line : lines) {
        const bool debounce = matchesPattern(u16View(argument), line.debounce);
        if (!debounce && !matchesPattern(u16View(argument), line.polarity)) continue;
        const QString value = valueFrom(argument, line.valueAt);
        const QLatin1String name(line.name);
        if (!debounce) {
            if (value == u"normal" || value == u"inverted")
                line.filter->setInverted(value == u"inverted");
            else
                LogEvent(QStringLiteral("Unknown %1 polarity:  ").arg(name) + value);
        } else if (const auto settle = settleTimeFrom(value)) {
            line.filter->setSettleTime(*settle);
        } else {
            LogEvent(QStringLiteral("Unknown %1 debounce:  ").arg(name) + value);
        }
        showLineSettings();
        return true;
    }
    return false;
}

void MainForm::applyArgument(const QString& argument) {
    if (matchesPattern(u16View(argument), u"-port=*")) {
        const QString value = valueFrom(argument, 7);
        const struct {
            const char* value;
            QRadioButton* button;
        } ports[] = {{"none", optComNone},
                     {"com1", optCom1},
                     {"com2", optCom2},
                     {"com3", optCom3},
                     {"com4", optCom4}};
        for (const auto& port : ports)
            if (value == QLatin1String(port.value)) port.button->setChecked(true);
        return;
    }
    // An option without a value that selects a button.
    const auto selects = [&argument](const char16_t* option, QRadioButton* button) {
        if (argument != option) return false;
        button->setChecked(true);
        return true;
    };
    if (selects(u"-dtr", optDTROn) || selects(u"-rts", optRTSOn)) return;
    if (applyModeArgument(argument) || applyLineArgument(argument)) return;
    if (argument == u"-minimize") {
        setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    if (selects(u"-dtrOff", optDTROff) || selects(u"-rtsOff", optRTSOff) ||
        applyLineSettingArgument(argument))
        return;
    LogEvent(QStringLiteral("Unknown argument:  ") + argument);
}

bool MainForm::refuseOverlongArguments(const QString& arguments) {
    if (arguments.size() <= kMaxArgumentsLength) return false;
    LogEvent(QStringLiteral("Arguments of %1 characters not applied: at most %2 are accepted")
                 .arg(arguments.size())
                 .arg(kMaxArgumentsLength));
    return true;
}

void MainForm::ProcessArguments(const QString& arguments) {
    if (arguments.isEmpty() || refuseOverlongArguments(arguments)) return;
    const auto pieces = SplitText(u16View(arguments), u" ");
    if (!pieces) return;
    for (size_t i = 0; i < pieces->size(); ++i) {
        const QString piece = toQString(pieces->at(i));
        LogEvent(QStringLiteral("arg(") + QString::number(i + 1) + QStringLiteral(") = ") + piece);
        applyArgument(piece);
    }
}

}  // namespace velnor
