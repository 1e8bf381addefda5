#include "platform/uinput/uinput_input.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/linux/key_map.h"

namespace velnor {
namespace {

// The printable ASCII characters in US layout order: each row the keys' unshifted characters,
// then their shifted ones, then their codes.
struct LayoutRow {
    std::string_view plain;
    std::string_view shifted;
    std::initializer_list<uint16_t> codes;
};

const LayoutRow kUsLayout[] = {
    {"`1234567890-=",
     "~!@#$%^&*()_+",
     {KEY_GRAVE, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9, KEY_0, KEY_MINUS,
      KEY_EQUAL}},
    {"qwertyuiop[]\\",
     "QWERTYUIOP{}|",
     {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O, KEY_P, KEY_LEFTBRACE,
      KEY_RIGHTBRACE, KEY_BACKSLASH}},
    {"asdfghjkl;'",
     "ASDFGHJKL:\"",
     {KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K, KEY_L, KEY_SEMICOLON,
      KEY_APOSTROPHE}},
    {"zxcvbnm,./",
     "ZXCVBNM<>?",
     {KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M, KEY_COMMA, KEY_DOT, KEY_SLASH}},
    {" \t\n\b", " \t\n\b", {KEY_SPACE, KEY_TAB, KEY_ENTER, KEY_BACKSPACE}},
};

uint16_t buttonCode(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return BTN_LEFT;
        case MouseButton::Right:
            return BTN_RIGHT;
        case MouseButton::Middle:
            return BTN_MIDDLE;
    }
    return BTN_LEFT;
}

QString failure(const QString& why) {
    return "uinput cannot inject input: " + why;
}

QString withError(const QString& what, int error) {
    return QString("%1 (%2)").arg(what, QString::fromLocal8Bit(strerror(error)));
}

std::unexpected<Problem> refused(ProblemKind kind, const QString& why) {
    return std::unexpected(Problem{kind, failure(why).toStdU16String()});
}

}  // namespace

std::array<input_event, 2> keyRecords(uint16_t code, bool down) {
    input_event change{};
    change.type = EV_KEY;
    change.code = code;
    change.value = down ? 1 : 0;
    input_event report{};
    report.type = EV_SYN;
    report.code = SYN_REPORT;
    return {change, report};
}

std::optional<LayoutKey> usLayoutKey(char32_t character) {
    if (character > 0x7f) return std::nullopt;
    for (const auto& row : kUsLayout) {
        for (const bool shift : {false, true}) {
            const auto keys = shift ? row.shifted : row.plain;
            if (const auto at = keys.find(char(character)); at != keys.npos)
                return LayoutKey{std::data(row.codes)[at], shift};
        }
    }
    return std::nullopt;
}

UinputInput::UinputInput(int fd) : fd_(fd) {}

UinputInput::~UinputInput() {
    for (uint16_t code = 0; code < held_.size(); ++code) {
        if (held_[code]) send(code, false);
    }
    ioctl(fd_, UI_DEV_DESTROY);
    close(fd_);
}

void UinputInput::key(int virtualKey, bool down) {
    const KeyMapEntry* entry = findKey(virtualKey);
    if (entry && entry->evdevCode) send(entry->evdevCode, down);
}

void UinputInput::mouseButton(MouseButton button, bool down) {
    send(buttonCode(button), down);
}

void UinputInput::typeCharacter(char32_t character) {
    const auto key = usLayoutKey(character);
    if (!key) return;
    const bool addShift = key->shift && !held_[KEY_LEFTSHIFT] && !held_[KEY_RIGHTSHIFT];
    if (addShift) send(KEY_LEFTSHIFT, true);
    send(key->code, true);
    send(key->code, false);
    if (addShift) send(KEY_LEFTSHIFT, false);
}

void UinputInput::send(uint16_t code, bool down) {
    const auto records = keyRecords(code, down);
    // An event the kernel refuses is lost, as with any injection backend; the log hears of it.
    const ssize_t written = write(fd_, records.data(), sizeof records);
    if (written == ssize_t(sizeof records)) {
        injectionWorked();
    } else {
        const int error = written < 0 ? errno : EIO;
        injectionFailed(failure(withError("the device refuses events", error) +
                                "; key and mouse events are lost")
                            .toStdU16String());
    }
    held_[code] = down;
}

Result<std::unique_ptr<InputSink>> openUinputInput(const char* path) {
    const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return refused(
                ProblemKind::Missing,
                QString("%1 does not exist (load the module: sudo modprobe uinput)").arg(path));
        }
        if (error == EACCES || error == EPERM) {
            return refused(ProblemKind::Permission,
                           QString("no permission to write %1 (the velnor package's udev rule "
                                   "gives the user at the seat access: install it, or copy "
                                   "70-velnor-uinput.rules to /etc/udev/rules.d, then run "
                                   "sudo udevadm trigger /dev/uinput or log in again)")
                               .arg(path));
        }
        return refused(ProblemKind::Other, withError(QString("cannot open %1").arg(path), error));
    }
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_REL) == 0 &&
              ioctl(fd, UI_SET_RELBIT, REL_X) == 0 && ioctl(fd, UI_SET_RELBIT, REL_Y) == 0;
    for (const auto& entry : keyMap()) {
        if (entry.evdevCode) ok = ok && ioctl(fd, UI_SET_KEYBIT, entry.evdevCode) == 0;
    }
    for (const auto& row : kUsLayout) {
        for (const uint16_t code : row.codes) ok = ok && ioctl(fd, UI_SET_KEYBIT, code) == 0;
    }
    for (const uint16_t button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
        ok = ok && ioctl(fd, UI_SET_KEYBIT, button) == 0;

    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, "Velnor virtual input", UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        const int error = errno;
        close(fd);
        return refused(ProblemKind::Other,
                       withError(QString("%1 refused to create a device").arg(path), error));
    }
    return std::make_unique<UinputInput>(fd);
}

}  // namespace velnor
