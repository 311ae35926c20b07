#include "device/linux_unmount.h"

#include "common/message_seam.h"
#include "device/drive_messages.h"
#include "device/drive_refusal.h"
#include "device/linux_block_open.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace drive_layer {

namespace {

bool failed(const std::string& what, const std::string& why) {
    show_message({fill_message(drive_msg::UNMOUNT_FAILED, what, why), drive_msg::TITLE, MsgIcon::Error, MsgButtons::Ok});
    return false;
}

}  // namespace

bool unmount_all(const DiskUse& use) {
    if (::geteuid() == 0) {
        // Later mounts may sit inside earlier ones: take them off in reverse order.
        for (auto point = use.mount_points.rbegin(); point != use.mount_points.rend(); ++point)
            if (::umount2(point->c_str(), 0) != 0) return failed(*point, std::strerror(errno));
    } else {
        for (auto device = use.mounted_devices.rbegin(); device != use.mounted_devices.rend(); ++device) {
            UdisksFailure failure;
            if (!udisks_unmount(*device, &failure)) {
                const OpenProblem problem = open_problem_of(failure.problem);
                if (problem != OpenProblem::Failed && problem != OpenProblem::Busy) {
                    report_open_refusal({problem, *device, {}, failure.text});
                    return false;
                }
                return failed(*device, failure.text);
            }
        }
    }
    show_message({fill_message(drive_msg::UNMOUNTED, join_mount_points(use.mount_points)), drive_msg::TITLE,
                  MsgIcon::Information, MsgButtons::Ok});
    return true;
}

}  // namespace drive_layer
