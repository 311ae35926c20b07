// Unmounting what stands on a disk before it is written, when the user asked for it:
// as root with umount(2), otherwise through udisks2 (which asks polkit). Each
// unmounted point is told; a failure is shown with the system's reason.
#pragma once

#include "device/linux_disk_rules.h"

namespace drive_layer {

// false when any of `use`'s mounts stays mounted (the reason has been shown).
bool unmount_all(const DiskUse& use);

}  // namespace drive_layer
