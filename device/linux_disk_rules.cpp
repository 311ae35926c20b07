#include "device/linux_disk_rules.h"

#include <algorithm>

namespace drive_layer {

namespace {

// Layers of partitions, dm and md over one another, and loops over files, are few;
// the bound only stops a malformed tree from looping.
constexpr int MAX_DEPTH = 8;

void add_unique(std::vector<std::string>& list, const std::string& item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether `path` lies in the folder `mount_point` (component-wise: /media is not in /me).
bool path_within(const std::string& path, const std::string& mount_point) {
    if (mount_point == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, mount_point.size(), mount_point) == 0 &&
           (path.size() == mount_point.size() || path[mount_point.size()] == '/');
}

// The mount a path lies on: the deepest mount point that contains it, the later of
// two mounts on one point (the one on top).
const MountEntry* mount_holding(const std::string& path, const std::vector<MountEntry>& mounts,
                                const MountEntry* except) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        if (&m == except || !path_within(path, m.mount_point)) continue;
        if (!best || m.mount_point.size() >= best->mount_point.size()) best = &m;
    }
    return best;
}

std::vector<std::string> mount_devices_at(const BlockTree& tree, const MountEntry& mount,
                                          const std::vector<MountEntry>& mounts, int depth);

void disks_below_at(const BlockTree& tree, const std::string& name, const std::vector<MountEntry>& mounts,
                    int depth, std::vector<std::string>& out) {
    if (depth > MAX_DEPTH || name.empty()) return;
    const std::string disk = tree.parent_disk(name);
    if (!disk.empty()) return disks_below_at(tree, disk, mounts, depth + 1, out);
    const std::vector<std::string> slaves = tree.slaves(name);
    if (!slaves.empty()) {
        for (const std::string& s : slaves) disks_below_at(tree, s, mounts, depth + 1, out);
        return;
    }
    const std::string backing = tree.loop_backing_file(name);
    if (!backing.empty()) {
        // A loop over a file (a live system's squashfs): the disk holding that file.
        if (const MountEntry* m = mount_holding(backing, mounts, nullptr))
            for (const std::string& d : mount_devices_at(tree, *m, mounts, depth + 1))
                disks_below_at(tree, d, mounts, depth + 1, out);
        return;
    }
    if (name.compare(0, 4, "loop") == 0 || name.compare(0, 3, "ram") == 0 || name.compare(0, 4, "zram") == 0)
        return;  // memory or an unbound loop: no disk below
    add_unique(out, name);
}

std::vector<std::string> mount_devices_at(const BlockTree& tree, const MountEntry& mount,
                                          const std::vector<MountEntry>& mounts, int depth) {
    std::vector<std::string> out;
    if (depth > MAX_DEPTH) return out;
    if (mount.major != 0) add_unique(out, tree.name_of_numbers(mount.major, mount.minor));
    if (out.empty()) add_unique(out, tree.resolve_device(mount.source));
    if (out.empty() && mount.fs_type == "overlay") {
        // The folders the overlay is made of lie on other mounts: upper first (where
        // writes go), then each lower folder.
        std::vector<std::string> folders{mount_option(mount.super_options, "upperdir")};
        const std::string lower = mount_option(mount.super_options, "lowerdir");
        for (size_t start = 0; start < lower.size();) {
            size_t end = lower.find(':', start);
            if (end == std::string::npos) end = lower.size();
            folders.push_back(lower.substr(start, end - start));
            start = end + 1;
        }
        for (const std::string& folder : folders) {
            if (folder.empty()) continue;
            if (const MountEntry* m = mount_holding(folder, mounts, &mount))
                for (const std::string& d : mount_devices_at(tree, *m, mounts, depth + 1)) add_unique(out, d);
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> devices_on_disk(const BlockTree& tree, const std::string& disk) {
    std::vector<std::string> out;
    if (!tree.exists(disk)) return out;
    out.push_back(disk);
    for (size_t i = 0; i < out.size() && i < 256; ++i) {
        for (const std::string& p : tree.partitions(out[i])) add_unique(out, p);
        for (const std::string& h : tree.holders(out[i])) add_unique(out, h);
    }
    return out;
}

std::vector<std::string> disks_below(const BlockTree& tree, const std::string& name,
                                     const std::vector<MountEntry>& mounts) {
    std::vector<std::string> out;
    disks_below_at(tree, name, mounts, 0, out);
    return out;
}

std::vector<std::string> mount_devices(const BlockTree& tree, const MountEntry& mount,
                                       const std::vector<MountEntry>& mounts) {
    return mount_devices_at(tree, mount, mounts, 0);
}

std::vector<std::string> root_disks(const BlockTree& tree, const std::vector<MountEntry>& mounts) {
    std::vector<std::string> out;
    const MountEntry* root = nullptr;
    for (const MountEntry& m : mounts)
        if (m.mount_point == "/") root = &m;  // the last mount on "/" is the one in use
    if (!root) return out;
    for (const std::string& device : mount_devices(tree, *root, mounts))
        for (const std::string& disk : disks_below(tree, device, mounts)) add_unique(out, disk);
    std::sort(out.begin(), out.end());
    return out;
}

bool is_system_mount_point(const std::string& mount_point) {
    static const char* const SYSTEM[] = {"/", "/boot", "/boot/efi", "/efi", "/usr", "/home", "/var"};
    return std::any_of(std::begin(SYSTEM), std::end(SYSTEM), [&](const char* p) { return mount_point == p; });
}

DiskUse disk_use(const BlockTree& tree, const std::string& disk) {
    DiskUse use;
    const std::vector<std::string> devices = devices_on_disk(tree, disk);
    if (devices.empty()) return use;
    for (const std::string& d : devices)
        if (d != disk && (d.compare(0, 3, "dm-") == 0 || d.compare(0, 2, "md") == 0)) add_unique(use.holders, d);
    const std::vector<MountEntry> mounts = tree.mounts();
    for (const MountEntry& m : mounts) {
        // Only the mount's own device: an overlay whose upper folder lies on the disk is
        // reached through that folder's mount, which is listed itself.
        std::vector<std::string> own;
        if (m.major != 0) add_unique(own, tree.name_of_numbers(m.major, m.minor));
        if (own.empty()) add_unique(own, tree.resolve_device(m.source));
        if (own.empty() || !contains(devices, own.front())) continue;
        add_unique(use.mount_points, m.mount_point);
        add_unique(use.mounted_devices, "/dev/" + own.front());
        if (is_system_mount_point(m.mount_point)) add_unique(use.system_mounts, m.mount_point);
    }
    for (const std::string& swap : tree.swaps()) {
        std::string device = tree.resolve_device(swap);
        if (device.empty()) {  // a swap file: the device of the mount holding it
            const MountEntry* m = mount_holding(swap, mounts, nullptr);
            if (m) {
                const std::vector<std::string> below = mount_devices(tree, *m, mounts);
                if (!below.empty()) device = below.front();
            }
        }
        if (contains(devices, device)) add_unique(use.swaps, swap);
    }
    return use;
}

bool is_removable_disk(const BlockTree& tree, const std::string& disk) {
    const std::string path = tree.device_path(disk) + "/";
    // The MMC bus carries SD cards and soldered eMMC alike; only the card type tells.
    if (path.find("/mmc") != std::string::npos && path.find("/usb") == std::string::npos)
        return tree.attribute(disk, "device/type") == "SD";
    if (tree.attribute(disk, "removable") == "1") return true;
    // Built-in card readers often report removable=0; what hangs off a USB hub is a
    // card or a stick all the same.
    return path.find("/usb") != std::string::npos;
}

}  // namespace drive_layer
