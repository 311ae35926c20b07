// Why a drive would not open for writing, told to the user through the message seam:
// a disk with mounted file systems (unmounted first when the user agrees), a system
// disk, a busy disk, a refused or impossible authorisation. Probes and other read-only
// opens never show anything.
#pragma once

#include <string>
#include <vector>

namespace drive_layer {

enum class OpenProblem { None, Mounted, SystemDisk, Busy, NotAuthorized, Dismissed, NoAgent, NoUdisks, Failed };

struct OpenRefusal {
    OpenProblem problem = OpenProblem::None;
    std::string device;                     // "/dev/sdb"
    std::vector<std::string> mount_points;  // Mounted
    std::string detail;                     // the system's own words, where it has some
};

// The text of a refusal, from the drive message table.
std::string refusal_text(const OpenRefusal& refusal);

// Shows the refusal (an error box in the window, a line on stderr in obtool) and keeps
// it as the last one.
void report_open_refusal(const OpenRefusal& refusal);
OpenRefusal last_open_refusal();
void clear_open_refusal();

// What to do with the mounted file systems of a disk about to be written.
enum class UnmountPolicy {
    Refuse,   // refuse the write, naming the mount points (the default)
    Ask,      // ask (No is the default answer), unmount on Yes
    Unmount,  // unmount them, saying so
};
// `hint` is added to the refusal's text (obtool tells of --unmount).
void set_unmount_policy(UnmountPolicy policy, const std::string& hint = {});
UnmountPolicy unmount_policy();
std::string unmount_hint();

// "a、b、c" (in English "a, b, c"): mount points as the messages list them.
std::string join_mount_points(const std::vector<std::string>& points);
// `format` in the user's language, with its %s marks replaced by `first`, then `second`.
std::string fill_message(const char* format, const std::string& first, const std::string& second = {});

}  // namespace drive_layer
