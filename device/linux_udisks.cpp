// sd-bus (libsystemd) is the D-Bus client here: a plain C library with blocking calls
// and descriptor passing, no main loop and no object system to bring into the core.
#include "device/linux_udisks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace drive_layer {

namespace {

constexpr const char* SERVICE = "org.freedesktop.UDisks2";
// A call may wait for the user to type a password into the authentication agent.
constexpr uint64_t CALL_TIMEOUT_USEC = 300ull * 1000 * 1000;

struct Bus {
    sd_bus* bus = nullptr;
    ~Bus() { sd_bus_flush_close_unref(bus); }
};
struct Reply {
    sd_bus_message* m = nullptr;
    ~Reply() { sd_bus_message_unref(m); }
};
struct Call {
    sd_bus_message* m = nullptr;
    ~Call() { sd_bus_message_unref(m); }
};
struct Error {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~Error() { sd_bus_error_free(&e); }
};

bool fail(UdisksFailure* failure, UdisksProblem problem, const std::string& text) {
    if (failure) *failure = {problem, text};
    return false;
}

// The problem a D-Bus error stands for, by its name.
bool fail_with(UdisksFailure* failure, const sd_bus_error& e, int r) {
    const std::string name = e.name ? e.name : "";
    std::string text = e.message ? e.message : std::strerror(r < 0 ? -r : r);
    UdisksProblem problem = UdisksProblem::Failed;
    if (name == "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed") problem = UdisksProblem::Dismissed;
    else if (name == "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain") problem = UdisksProblem::NoAgent;
    else if (name == "org.freedesktop.UDisks2.Error.NotAuthorized") problem = UdisksProblem::NotAuthorized;
    else if (name == "org.freedesktop.UDisks2.Error.DeviceBusy" || text.find("busy") != std::string::npos)
        problem = UdisksProblem::Busy;
    else if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
             name.compare(0, 30, "org.freedesktop.DBus.Error.Spa") == 0)
        problem = UdisksProblem::NoService;
    return fail(failure, problem, text);
}

bool connect(Bus* bus, UdisksFailure* failure) {
    const int r = sd_bus_open_system(&bus->bus);
    if (r < 0) return fail(failure, UdisksProblem::NoService, std::string("system bus: ") + std::strerror(-r));
    // Lets polkit ask for a password instead of refusing outright.
    sd_bus_set_allow_interactive_authorization(bus->bus, 1);
    return true;
}

// The udisks2 object of a device node, through the manager's ResolveDevice.
bool resolve(Bus& bus, const std::string& device, std::string* object, UdisksFailure* failure) {
    Call call;
    Reply reply;
    Error error;
    int r = sd_bus_message_new_method_call(bus.bus, &call.m, SERVICE, "/org/freedesktop/UDisks2/Manager",
                                           "org.freedesktop.UDisks2.Manager", "ResolveDevice");
    if (r >= 0) r = sd_bus_message_append(call.m, "a{sv}", 1, "path", "s", device.c_str());
    if (r >= 0) r = sd_bus_message_append(call.m, "a{sv}", 0);
    if (r < 0) return fail(failure, UdisksProblem::Failed, std::strerror(-r));
    r = sd_bus_call(bus.bus, call.m, CALL_TIMEOUT_USEC, &error.e, &reply.m);
    if (r < 0) return fail_with(failure, error.e, r);
    const char* path = nullptr;
    if (sd_bus_message_enter_container(reply.m, 'a', "o") < 0 || sd_bus_message_read(reply.m, "o", &path) <= 0 || !path)
        return fail(failure, UdisksProblem::Failed, "udisks2 does not know " + device);
    *object = path;
    return true;
}

}  // namespace

int udisks_open_device(const std::string& device, bool write, int flags, UdisksFailure* failure) {
    Bus bus;
    std::string object;
    if (!connect(&bus, failure) || !resolve(bus, device, &object, failure)) return -1;
    Call call;
    Reply reply;
    Error error;
    int r = sd_bus_message_new_method_call(bus.bus, &call.m, SERVICE, object.c_str(), "org.freedesktop.UDisks2.Block",
                                           "OpenDevice");
    if (r >= 0) r = sd_bus_message_append(call.m, "s", write ? "rw" : "r");
    if (r >= 0) r = sd_bus_message_append(call.m, "a{sv}", 1, "flags", "i", flags);
    if (r < 0) return fail(failure, UdisksProblem::Failed, std::strerror(-r)), -1;
    r = sd_bus_call(bus.bus, call.m, CALL_TIMEOUT_USEC, &error.e, &reply.m);
    if (r < 0) return fail_with(failure, error.e, r), -1;
    int fd = -1;
    if (sd_bus_message_read(reply.m, "h", &fd) <= 0 || fd < 0)
        return fail(failure, UdisksProblem::Failed, "udisks2 sent no descriptor"), -1;
    // The message owns the descriptor it carries: keep a copy of our own.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) return fail(failure, UdisksProblem::Failed, std::strerror(errno)), -1;
    return own;
}

bool udisks_unmount(const std::string& device, UdisksFailure* failure) {
    Bus bus;
    std::string object;
    if (!connect(&bus, failure) || !resolve(bus, device, &object, failure)) return false;
    Call call;
    Reply reply;
    Error error;
    int r = sd_bus_message_new_method_call(bus.bus, &call.m, SERVICE, object.c_str(),
                                           "org.freedesktop.UDisks2.Filesystem", "Unmount");
    if (r >= 0) r = sd_bus_message_append(call.m, "a{sv}", 0);
    if (r < 0) return fail(failure, UdisksProblem::Failed, std::strerror(-r));
    r = sd_bus_call(bus.bus, call.m, CALL_TIMEOUT_USEC, &error.e, &reply.m);
    if (r < 0) return fail_with(failure, error.e, r);
    return true;
}

}  // namespace drive_layer
