#include "device/linux_block_source.h"

#include "device/fd_drive_handle.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace drive_layer {

namespace {

const std::string SYS_BLOCK = "/sys/block/";
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

std::string attribute(const std::string& name, const std::string& relative) {
    return clean_text(read_raw(SYS_CLASS_BLOCK + name + "/" + relative));
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

std::vector<std::string> directory_names(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
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

std::string root_disk_name() {
    struct stat st {};
    if (::stat("/", &st) != 0) return {};
    std::string name = block_name_of(st.st_dev);
    // From a partition to its disk, and through device-mapper layers (LVM, encrypted
    // roots) to the device below; a few steps are plenty.
    for (int step = 0; step < 8 && !name.empty(); ++step) {
        if (is_listed_disk_name(name)) return name;
        const std::string entry = SYS_CLASS_BLOCK + name;
        struct stat part {};
        if (::stat((entry + "/partition").c_str(), &part) == 0) {
            const std::string path = real_path(entry);
            name = base_name(path.substr(0, path.find_last_of('/')));
            continue;
        }
        const std::vector<std::string> below = directory_names(entry + "/slaves");
        name = below.empty() ? std::string() : below.front();
    }
    return {};
}

std::vector<std::string> system_disk_names() {
    std::vector<std::string> names;
    for (const std::string& name : directory_names(SYS_BLOCK))
        if (attribute(name, "hidden") != "1") names.push_back(name);
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
    if (attached_) return MEDIA_REMOVABLE;
    if (sysfs_name_.empty()) return MEDIA_FIXED;
    if (attribute(sysfs_name_, "removable") == "1") return MEDIA_REMOVABLE;
    // Built-in card readers often report removable=0; what hangs off a USB hub or an
    // MMC host is a card or a stick all the same.
    const std::string path = real_path(SYS_CLASS_BLOCK + sysfs_name_) + "/";
    if (path.find("/usb") != std::string::npos || path.find("/mmc") != std::string::npos) return MEDIA_REMOVABLE;
    return MEDIA_FIXED;
}

std::unique_ptr<DriveHandle> LinuxBlockSource::open(Access access, bool unbuffered) {
    bool direct = false;
    const host::Descriptor fd = open_drive_fd(device_path_, access, unbuffered, &direct);
    if (fd == host::NO_DESCRIPTOR) return nullptr;  // absent, no permission, or a reader without a card
    return std::make_unique<FdDriveHandle>(fd, direct, descriptor(), media_type());
}

}  // namespace drive_layer
