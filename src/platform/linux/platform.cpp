#include "platform/linux/platform.h"

#include <QMessageBox>

#include "platform/linux/port_backend.h"
#include "platform/qt/time_text.h"

namespace velnor {

Platform linuxPlatform(InputSink& input, EventLoop& loop, CommandChannel* channel) {
    return {.input = input,
            .loop = loop,
            .ports = linuxPortBackend(),
            .channel = channel,
            .timeText = [] { return timeText(); },
            .messageBox =
                [](const std::u16string& text) {
                    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Velnor"),
                                    QString::fromStdU16String(text), QMessageBox::Ok);
                    box.exec();
                }};
}

}  // namespace velnor
