// What the Linux kernel tells about block devices and their use, read as text from a
// tree that is "/" on a real host and a directory of made-up files in tests: sysfs
// (sys/class/block, sys/block, sys/dev/block), device nodes and links (dev/), and the
// mount and swap tables (proc/self/mountinfo, proc/swaps). Only reading; nothing here
// opens a device.
#pragma once

#include <string>
#include <vector>

namespace drive_layer {

// One line of /proc/self/mountinfo.
struct MountEntry {
    unsigned major = 0, minor = 0;   // 0:N is an anonymous device (btrfs, overlay, tmpfs)
    std::string mount_point;         // unescaped ("\040" is a space)
    std::string fs_type;
    std::string source;              // "/dev/sda2", "overlay", "rpool/ROOT"
    std::string super_options;       // "rw,lowerdir=/a:/b,upperdir=/c,workdir=/d"
};

// Lines that do not parse are left out.
std::vector<MountEntry> parse_mountinfo(const std::string& text);
// The file names of /proc/swaps (a device node or a swap file), unescaped.
std::vector<std::string> parse_swaps(const std::string& text);
// The value of `key` in a comma-separated option list ("upperdir" of an overlay).
std::string mount_option(const std::string& options, const std::string& key);

class BlockTree {
public:
    explicit BlockTree(std::string root = "/");

    // Names in sys/block: whole disks and the other kernel block devices (loop, dm, md).
    std::vector<std::string> disk_names() const;
    // A text attribute of /sys/class/block/NAME ("removable", "device/type"), trimmed.
    std::string attribute(const std::string& name, const std::string& relative) const;
    bool exists(const std::string& name) const;
    // The device's place in sysfs with links resolved, relative to the tree's root
    // ("/sys/devices/pci0000:00/.../block/sda"); "" when unknown.
    std::string device_path(const std::string& name) const;
    // The whole disk a partition belongs to; "" for anything that is not a partition.
    std::string parent_disk(const std::string& name) const;
    std::vector<std::string> partitions(const std::string& disk) const;
    std::vector<std::string> holders(const std::string& name) const;   // dm, md built on it
    std::vector<std::string> slaves(const std::string& name) const;    // what a dm, md stands on
    // The block device with these numbers (sys/dev/block/MAJ:MIN), "" if none.
    std::string name_of_numbers(unsigned major, unsigned minor) const;
    // The block device a node or link names: "/dev/mapper/vg-root" -> "dm-0",
    // "/dev/disk/by-uuid/..." -> "sda2"; "" when it names none.
    std::string resolve_device(const std::string& path) const;
    // The file a loop device reads from; "" for anything else.
    std::string loop_backing_file(const std::string& name) const;

    std::vector<MountEntry> mounts() const;
    std::vector<std::string> swaps() const;

private:
    std::string under_root(const std::string& path) const;
    std::string read_text(const std::string& path) const;
    std::string root_;
};

}  // namespace drive_layer
