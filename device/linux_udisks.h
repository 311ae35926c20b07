// Opening and unmounting block devices through udisks2 over the system bus, for a user
// who may not open /dev nodes: udisks2 asks polkit (which may ask the user for a
// password through the desktop's authentication agent) and hands back an open file
// descriptor, which serves like one we opened ourselves.
#pragma once

#include <string>

namespace drive_layer {

enum class UdisksProblem {
    None,
    NoService,       // no system bus, or udisks2 is not running or not installed
    NotAuthorized,   // polkit said no
    Dismissed,       // the user cancelled the password prompt
    NoAgent,         // a password was needed but no authentication agent could ask
    Busy,            // the device is in use (mounted, or opened exclusively elsewhere)
    Failed,          // anything else; the text says what
};

struct UdisksFailure {
    UdisksProblem problem = UdisksProblem::None;
    std::string text;   // udisks2's or the bus's own words
};

// Opens `device` ("/dev/sdb") read-only or read-write with the given open flags
// (O_EXCL, O_DIRECT, O_CLOEXEC). The descriptor, or -1 with `failure` filled.
int udisks_open_device(const std::string& device, bool write, int flags, UdisksFailure* failure);

// Unmounts the file system on `device` ("/dev/sdb1"). false with `failure` filled.
bool udisks_unmount(const std::string& device, UdisksFailure* failure);

}  // namespace drive_layer
