#include "device/drive_refusal.h"

#include "common/message_seam.h"
#include "device/drive_messages.h"

#include <mutex>

namespace drive_layer {

namespace {

std::mutex mutex;
OpenRefusal last;
UnmountPolicy policy = UnmountPolicy::Refuse;
std::string hint;

}  // namespace

std::string fill_message(const char* format, const std::string& first, const std::string& second) {
    std::string out = ui_text("device", format);
    for (const std::string* value : {&first, &second}) {
        const size_t at = out.find("%s");
        if (at == std::string::npos) break;
        out.replace(at, 2, *value);
    }
    return out;
}

std::string join_mount_points(const std::vector<std::string>& points) {
    std::string out;
    const std::string separator = ui_text("device", drive_msg::LIST_SEPARATOR);
    for (const std::string& p : points) out += (out.empty() ? "" : separator) + p;
    return out;
}

std::string refusal_text(const OpenRefusal& r) {
    switch (r.problem) {
    case OpenProblem::None: return {};
    case OpenProblem::Mounted: return fill_message(drive_msg::MOUNTED, r.device, join_mount_points(r.mount_points));
    case OpenProblem::SystemDisk: return fill_message(drive_msg::SYSTEM_DISK, r.device);
    case OpenProblem::Busy: return fill_message(drive_msg::BUSY, r.device);
    case OpenProblem::NotAuthorized: return fill_message(drive_msg::NOT_AUTHORIZED, r.device);
    case OpenProblem::Dismissed: return fill_message(drive_msg::DISMISSED, r.device);
    case OpenProblem::NoAgent: return fill_message(drive_msg::NO_AGENT, r.device);
    case OpenProblem::NoUdisks: return fill_message(drive_msg::NO_UDISKS, r.device, r.detail);
    case OpenProblem::Failed: return fill_message(drive_msg::OPEN_FAILED, r.device, r.detail);
    }
    return {};
}

void report_open_refusal(const OpenRefusal& refusal) {
    std::string text = refusal_text(refusal);
    {
        std::lock_guard<std::mutex> lock(mutex);
        last = refusal;
        if (refusal.problem == OpenProblem::Mounted) text += hint;
    }
    show_message({text, drive_msg::TITLE, MsgIcon::Error, MsgButtons::Ok});
}

OpenRefusal last_open_refusal() {
    std::lock_guard<std::mutex> lock(mutex);
    return last;
}

void clear_open_refusal() {
    std::lock_guard<std::mutex> lock(mutex);
    last = OpenRefusal{};
}

void set_unmount_policy(UnmountPolicy p, const std::string& h) {
    std::lock_guard<std::mutex> lock(mutex);
    policy = p;
    hint = h;
}

UnmountPolicy unmount_policy() {
    std::lock_guard<std::mutex> lock(mutex);
    return policy;
}

std::string unmount_hint() {
    std::lock_guard<std::mutex> lock(mutex);
    return hint;
}

}  // namespace drive_layer
