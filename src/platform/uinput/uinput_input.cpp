#include "platform/uinput/uinput_input.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "core/text.h"
#include "core/virtual_keys.h"
#include "platform/linux/key_map.h"
#include "platform/posix/user_value.h"

namespace velnor {
namespace {

// The other key of a modifier that has two: either one held holds the modifier.
uint16_t twin(uint16_t modifier) {
    switch (modifier) {
        case KEY_LEFTSHIFT:
            return KEY_RIGHTSHIFT;
        case KEY_RIGHTSHIFT:
            return KEY_LEFTSHIFT;
        case KEY_LEFTCTRL:
            return KEY_RIGHTCTRL;
        case KEY_RIGHTCTRL:
            return KEY_LEFTCTRL;
    }
    return modifier;
}

// X key codes end at 255, the kernel's at 8 fewer.
constexpr uint16_t kLastXKey = 255 - 8;

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

UinputInput::UinputInput(int fd, XkbLayout layout)
    : fd_(fd), layout_(std::move(layout)), layoutName_(fromUtf8(layout_.name())) {}

UinputInput::~UinputInput() {
    for (uint16_t code = 0; code < held_.size(); ++code) {
        if (held_[code]) send(code, false);
    }
    ioctl(fd_, UI_DEV_DESTROY);
    close(fd_);
}

void UinputInput::key(int virtualKey, bool down) {
    // A letter or a digit is the key that gives it on the layout, as Windows maps them.
    const bool letter = virtualKey >= 'A' && virtualKey <= 'Z';
    if (letter || (virtualKey >= '0' && virtualKey <= '9')) {
        if (const auto placed =
                layout_.keyFor(char32_t(letter ? virtualKey - 'A' + 'a' : virtualKey)))
            return send(placed->code, down);
    }
    const KeyMapEntry* entry = findKey(virtualKey);
    if (!entry) return;
    if (down) checkLayoutGives(*entry);
    if (entry->evdevCode) send(entry->evdevCode, down);
}

// The key goes out all the same where the layout reads it as another: that is what the
// keyboard's own key would give, and a program reading key codes still gets it.
void UinputInput::checkLayoutGives(const KeyMapEntry& entry) {
    if (!entry.evdevCode)
        return keyUnavailable(
            entry.virtualKey,
            u"uinput cannot press " + keyLogName(entry.virtualKey) + u": Linux has no such key");
    const auto keysyms = layout_.keysymsOf(entry.evdevCode);
    if (std::ranges::find(keysyms, entry.keysym) != keysyms.end()) return;
    const auto name = [](xkb_keysym_t keysym) {
        char text[64] = {};
        xkb_keysym_get_name(keysym, text, sizeof text);
        return fromUtf8(text);
    };
    keyUnavailable(entry.virtualKey,
                   u"uinput presses " + keyLogName(entry.virtualKey) + u" as the Linux key " +
                       toU16(entry.evdevCode) + u", which the " + layoutName_ +
                       u" keyboard layout does not read as " + name(entry.keysym) +
                       (keysyms.empty() ? u"" : u" but as " + name(keysyms.front())));
}

void UinputInput::mouseButton(MouseButton button, bool down) {
    send(findButton(button).evdevCode, down);
}

void UinputInput::typeCharacter(char32_t character) {
    const auto key = layout_.keyFor(character);
    if (!key) return characterUntyped(character, layoutName_);
    std::vector<uint16_t> added;
    for (const uint16_t modifier : key->modifiers)
        if (!held_[modifier] && !held_[twin(modifier)]) added.push_back(modifier);
    for (const uint16_t modifier : added) send(modifier, true);
    send(key->code, true);
    send(key->code, false);
    for (auto modifier = added.rbegin(); modifier != added.rend(); ++modifier)
        send(*modifier, false);
}

Menu UinputInput::menu() {
    const std::vector<std::string> names = layout_.layoutNames();
    if (names.size() < 2) return {};
    std::vector<MenuEntry> choices;
    for (const std::string& name : names) {
        choices.push_back({.text = fromUtf8(name),
                           .mark = MenuEntry::Mark::Radio,
                           .checked = name == layout_.name(),
                           .chosen = [this, name](std::u16string_view) {
                               const auto picked = layout_.atLayout(name);
                               if (!picked) return;
                               use(*picked, u"picked in the window");
                               if (auto kept = posix::keepUserValue(kKeptLayout, name); !kept)
                                   tell(u"The keyboard layout picked holds for this run only: " +
                                        fromUtf8(kept.error()));
                           }});
    }
    return {MenuEntry::submenu(u"Keyboard layout to type on", std::move(choices))};
}

void UinputInput::follow(std::unique_ptr<KeymapFeed> feed) {
    feed_ = std::move(feed);
    feed_->start(
        [this](XkbLayout layout) { use(std::move(layout), u"the compositor's new keymap"); });
}

void UinputInput::use(XkbLayout layout, const std::u16string& told) {
    layout_ = std::move(layout);
    if (std::exchange(layoutName_, fromUtf8(layout_.name())) != layoutName_)
        tell(u"uinput types on the " + layoutName_ + u" keyboard layout (" + told + u")");
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

Result<std::unique_ptr<UinputInput>> openUinputInput(XkbLayout layout, const char* path) {
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
    // Every key an X client can tell from another, so that any keymap the device is asked to
    // type on later finds its keys declared.
    for (uint16_t code = KEY_ESC; code <= kLastXKey; ++code)
        ok = ok && ioctl(fd, UI_SET_KEYBIT, code) == 0;
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
    return std::make_unique<UinputInput>(fd, std::move(layout));
}

}  // namespace velnor
