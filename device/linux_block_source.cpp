#include "device/linux_block_source.h"

#include "common/message_seam.h"
#include "common/volume_busy.h"
#include "device/drive_refusal.h"
#include "device/fd_drive_handle.h"
#include "device/linux_disk_rules.h"
#include "device/drive_messages.h"
#include "device/linux_block_open.h"
#include "device/linux_unmount.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace drive_layer {

namespace {

const std::string SYS_CLASS_BLOCK = "/sys/class/block/";

// Families of whole disks in listing order, with what may follow the family prefix.
enum class Tail { Letters, Digits, NvmeNamespace };
struct Family {
    const char* prefix;
    Tail tail;
};
constexpr Family FAMILIES[] = {
    {"sd", Tail::Letters}, {"mmcblk", Tail::Digits}, {"nvme", Tail::NvmeNamespace},
    {"vd", Tail::Letters}, {"hd", Tail::Letters},    {"xvd", Tail::Letters},
};

bool all_of_class(const std::string& s, int (*is_class)(int)) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [&](char c) { return is_class(static_cast<unsigned char>(c)); });
}

// "0n1" after "nvme": controller digits, 'n', namespace digits. Partitions ("p1")
// and per-path nodes of multipath namespaces ("0c0n1") are not whole disks.
bool is_nvme_namespace(const std::string& tail) {
    const size_t n = tail.find('n');
    return n != std::string::npos && all_of_class(tail.substr(0, n), isdigit) &&
           all_of_class(tail.substr(n + 1), isdigit);
}

int family_of(const std::string& name) {
    for (size_t i = 0; i < std::size(FAMILIES); ++i) {
        const std::string prefix = FAMILIES[i].prefix;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string tail = name.substr(prefix.size());
        const bool fits = FAMILIES[i].tail == Tail::Letters  ? all_of_class(tail, islower)
                          : FAMILIES[i].tail == Tail::Digits ? all_of_class(tail, isdigit)
                                                             : is_nvme_namespace(tail);
        if (fits) return int(i);
    }
    return -1;
}

// Natural order: digit runs compare by value, letter runs by length first, so that
// sdz < sdaa and mmcblk2 < mmcblk10, the order in which the kernel hands names out.
bool natural_less(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = isdigit(static_cast<unsigned char>(a[i])), db = isdigit(static_cast<unsigned char>(b[j]));
        size_t ie = i, je = j;
        while (ie < a.size() && bool(isdigit(static_cast<unsigned char>(a[ie]))) == da) ++ie;
        while (je < b.size() && bool(isdigit(static_cast<unsigned char>(b[je]))) == db) ++je;
        std::string ra = a.substr(i, ie - i), rb = b.substr(j, je - j);
        if (da && db) {
            ra.erase(0, std::min(ra.find_first_not_of('0'), ra.size() - 1));
            rb.erase(0, std::min(rb.find_first_not_of('0'), rb.size() - 1));
        }
        if (ra.size() != rb.size()) return ra.size() < rb.size();
        if (ra != rb) return ra < rb;
        i = ie;
        j = je;
    }
    return a.size() - i < b.size() - j;
}

std::string read_raw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text;
    text.resize(4096);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return text;
}

// Printable ASCII of a sysfs text, without the padding around it.
std::string clean_text(const std::string& raw) {
    std::string out;
    for (char c : raw)
        if (c >= 0x20 && c < 0x7F) out.push_back(c);
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::mutex tree_root_mutex;
std::string tree_root = "/";

std::string attribute(const std::string& name, const std::string& relative) {
    std::string root;
    {
        std::lock_guard<std::mutex> lock(tree_root_mutex);
        root = tree_root == "/" ? std::string() : tree_root;
    }
    return clean_text(read_raw(root + SYS_CLASS_BLOCK + name + "/" + relative));
}

// The unit serial number page of a SCSI disk: a 4-byte header, then the text.
std::string serial_from_vpd_page(const std::string& name) {
    const std::string page = read_raw(SYS_CLASS_BLOCK + name + "/device/vpd_pg80");
    if (page.size() < 4) return {};
    const size_t length = std::min<size_t>(static_cast<unsigned char>(page[3]), page.size() - 4);
    return clean_text(page.substr(4, length));
}

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool is_listed_disk_name(const std::string& name) { return family_of(name) >= 0; }

std::vector<std::string> order_disk_names(std::vector<std::string> names, const std::string& root_disk) {
    names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return !is_listed_disk_name(n); }),
                names.end());
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const bool ra = a == root_disk, rb = b == root_disk;
        if (ra != rb) return ra;
        const int fa = family_of(a), fb = family_of(b);
        if (fa != fb) return fa < fb;
        return natural_less(a, b);
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string block_name_of(dev_t device) {
    const std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    const std::string target = real_path(link);
    return target.empty() ? std::string() : base_name(target);
}

void set_host_tree_root(const std::string& root) {
    std::lock_guard<std::mutex> lock(tree_root_mutex);
    tree_root = root;
}

BlockTree host_tree() {
    std::lock_guard<std::mutex> lock(tree_root_mutex);
    return BlockTree(tree_root);
}

std::string root_disk_name() {
    const BlockTree tree = host_tree();
    const std::vector<std::string> disks = root_disks(tree, tree.mounts());
    // Of several (RAID, LVM over two disks) the first in listing order stands for them.
    const std::vector<std::string> listed = order_disk_names(disks, "");
    return listed.empty() ? std::string() : listed.front();
}

std::vector<std::string> system_disk_names() {
    const BlockTree tree = host_tree();
    std::vector<std::string> names;
    for (const std::string& name : tree.disk_names())
        if (tree.attribute(name, "hidden") != "1") names.push_back(name);
    return order_disk_names(std::move(names), root_disk_name());
}

LinuxBlockSource::LinuxBlockSource(std::string device_path, std::string sysfs_name, bool attached)
    : device_path_(std::move(device_path)), sysfs_name_(std::move(sysfs_name)), attached_(attached) {}

std::vector<uint8_t> LinuxBlockSource::descriptor() const {
    std::string vendor, product, serial;
    if (!sysfs_name_.empty()) {
        vendor = attribute(sysfs_name_, "device/vendor");
        if (vendor.compare(0, 2, "0x") == 0) vendor.clear();  // a bus id (virtio), not a maker's name
        product = attribute(sysfs_name_, "device/model");
        if (product.empty()) product = attribute(sysfs_name_, "device/name");  // SD and MMC cards
        for (const char* where : {"device/serial", "serial"}) {
            if (serial.empty()) serial = attribute(sysfs_name_, where);
        }
        if (serial.empty()) serial = serial_from_vpd_page(sysfs_name_);
        for (const char* where : {"device/wwid", "wwid"}) {
            if (serial.empty()) serial = attribute(sysfs_name_, where);
        }
    }
    if (product.empty()) product = sysfs_name_.empty() ? base_name(device_path_) : sysfs_name_;
    return make_identity_descriptor(vendor, product, serial, media_type() == MEDIA_REMOVABLE);
}

uint32_t LinuxBlockSource::media_type() const {
    if (sysfs_name_.empty()) return attached_ ? MEDIA_REMOVABLE : MEDIA_FIXED;
    const BlockTree tree = host_tree();
    // A disk the running system stands on is never a card, however it was named.
    if (disk_use(tree, sysfs_name_).system()) return MEDIA_FIXED;
    if (attached_) return MEDIA_REMOVABLE;
    return is_removable_disk(tree, sysfs_name_) ? MEDIA_REMOVABLE : MEDIA_FIXED;
}

std::unique_ptr<DriveHandle> LinuxBlockSource::open(Access access, bool unbuffered) {
    if (access == READ_WRITE && !clear_for_writing()) return nullptr;
    bool direct = false;
    const bool exclusive = access == READ_WRITE && !BlockWriteHandle::held(device_path_);
    int fd = open_block_node(device_path_, access, unbuffered, exclusive, &direct);
    OpenRefusal refusal;
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        if (access == READ) {
            // No permission on the node: the probe's questions are answered from sysfs,
            // and udisks2 is asked for the device only when sectors are read.
            return std::make_unique<DeferredReadHandle>(device_path_, unbuffered, descriptor(), media_type(),
                                                        sysfs_sectors());
        }
        fd = open_block_through_udisks(device_path_, access, unbuffered, exclusive, &direct, &refusal);
    } else if (fd < 0) {
        refusal = refusal_for_errno(device_path_, errno);
    }
    if (fd >= 0 && access == READ_WRITE)
        return std::make_unique<BlockWriteHandle>(device_path_, fd, direct, descriptor(), media_type());
    if (fd >= 0) return std::make_unique<FdDriveHandle>(fd, direct, descriptor(), media_type());
    // Writes tell why they cannot go ahead; probes and reads of absent media stay quiet.
    if (access == READ_WRITE) report_open_refusal(refusal);
    return nullptr;
}

uint64_t LinuxBlockSource::sysfs_sectors() const {
    return sysfs_name_.empty() ? 0 : std::strtoull(attribute(sysfs_name_, "size").c_str(), nullptr, 10);
}

DriveState LinuxBlockSource::state() const {
    if (sysfs_name_.empty()) return {};
    DriveState state;
    state.mount_points = disk_use(host_tree(), sysfs_name_).mount_points;
    const std::string ro = attribute(sysfs_name_, "ro");
    if (!ro.empty()) state.read_only = ro == "1";
    return state;
}

bool LinuxBlockSource::clear_for_writing() const {
    if (sysfs_name_.empty()) return true;  // nothing to tell by; the exclusive open still guards
    const BlockTree tree = host_tree();
    DiskUse use = disk_use(tree, sysfs_name_);
    if (use.system()) {
        report_open_refusal({OpenProblem::SystemDisk, device_path_, use.mount_points, {}});
        return false;
    }
    if (!use.mounted()) return true;
    const UnmountPolicy policy = unmount_policy();
    if (policy == UnmountPolicy::Refuse) {
        report_open_refusal({OpenProblem::Mounted, device_path_, use.mount_points, {}});
        return false;
    }
    if (policy == UnmountPolicy::Ask) {
        // The answer waits in a nested event loop: keep the drive watch off the volume.
        VolumeBusy busy;
        const Message question{fill_message(drive_msg::ASK_UNMOUNT, device_path_, join_mount_points(use.mount_points)),
                               drive_msg::TITLE, MsgIcon::Question, MsgButtons::YesNo};
        if (show_message(question) != MsgResult::Yes) return false;
    }
    if (!unmount_all(use)) return false;
    use = disk_use(tree, sysfs_name_);
    if (use.mounted()) {
        report_open_refusal({OpenProblem::Mounted, device_path_, use.mount_points, {}});
        return false;
    }
    return true;
}

}  // namespace drive_layer
