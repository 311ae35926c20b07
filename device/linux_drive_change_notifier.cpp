// Block-device events from udev through sd-device's monitor: whole disks that are
// added, removed or changed (a reader reports a new or removed medium as a change of
// its disk). udev sends them once its rules have run, so the device node is ready.
#include "device/drive_change_notifier.h"

#include <systemd/sd-device.h>
#include <systemd/sd-event.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <cstdio>

namespace {

class UdevBlockNotifier : public DriveChangeNotifier {
public:
    ~UdevBlockNotifier() override {
        sd_device_monitor_unref(monitor_);
        sd_event_unref(event_);
    }

    bool start() {
        if (sd_event_new(&event_) < 0 || sd_device_monitor_new(&monitor_) < 0) return false;
        return sd_device_monitor_filter_add_match_subsystem_devtype(monitor_, "block", "disk") >= 0 &&
               sd_device_monitor_attach_event(monitor_, event_) >= 0 &&
               sd_device_monitor_start(monitor_, &UdevBlockNotifier::on_event, this) >= 0;
    }

    int descriptor() const override { return sd_event_get_fd(event_); }

    bool take_changes() override {
        // Dispatches whatever has arrived, without waiting.
        while (sd_event_run(event_, 0) > 0) {
        }
        return std::exchange(noted_, false);
    }

private:
    static int on_event(sd_device_monitor*, sd_device*, void* self) {
        static_cast<UdevBlockNotifier*>(self)->noted_ = true;
        return 0;
    }

    sd_event* event_ = nullptr;
    sd_device_monitor* monitor_ = nullptr;
};

// Whether udev runs: its control socket answers. (The socket file stays behind when
// udev is killed.)
bool udev_running() {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, "/run/udev/control", sizeof address.sun_path - 1);
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

}  // namespace

std::unique_ptr<DriveChangeNotifier> make_drive_change_notifier() {
    // Without a running udev the monitor would hear nothing at all.
    if (!udev_running()) return nullptr;
    auto notifier = std::make_unique<UdevBlockNotifier>();
    if (!notifier->start()) {
        std::printf("no block-device monitor: the drive watch polls.\n");
        return nullptr;
    }
    return notifier;
}
