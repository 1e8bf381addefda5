#include "platform/dbus/hand_over.h"

#include <dbus/dbus.h>

#include <string>

#include "core/text.h"

namespace velnor::dbus {
namespace {

Result<> failed(ProblemKind kind, DBusError& error) {
    Problem problem{kind, fromUtf8(error.message ? error.message : "")};
    dbus_error_free(&error);
    return std::unexpected(std::move(problem));
}

}  // namespace

Result<> handOver(std::u16string_view commandLine) {
    DBusError error;
    dbus_error_init(&error);
    // Private, so that it can be closed when the window is loaded after all and QtDBus opens its
    // own.
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) return failed(ProblemKind::Missing, error);
    dbus_connection_set_exit_on_disconnect(bus, false);
    DBusMessage* call = dbus_message_new_method_call(kService, kPath, kInterface,
                                                     commandLine.empty() ? "Show" : "Execute");
    // toUtf8 writes valid UTF-8 only: libdbus would abort on anything else.
    const std::string command = toUtf8(commandLine);
    const char* text = command.c_str();
    DBusMessage* reply = nullptr;
    if (call && (commandLine.empty() ||
                 dbus_message_append_args(call, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID)))
        reply = dbus_connection_send_with_reply_and_block(bus, call, kCallTimeoutMs, &error);
    else
        dbus_set_error_const(&error, DBUS_ERROR_NO_MEMORY, "Not enough memory for the call");
    if (call) dbus_message_unref(call);
    if (reply) {
        dbus_message_unref(reply);
        return {};
    }
    if (!dbus_error_has_name(&error, DBUS_ERROR_SERVICE_UNKNOWN) &&
        !dbus_error_has_name(&error, DBUS_ERROR_NAME_HAS_NO_OWNER))
        return failed(ProblemKind::Other, error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return failed(ProblemKind::Missing, error);
}

}  // namespace velnor::dbus
