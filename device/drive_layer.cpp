// The drive table and the pieces every drive source shares: the geometry record, the
// storage descriptor bytes, and the --drive option.
#include "device/drive_layer.h"

#include "device/image_source.h"
#include "device/system_drives.h"
#include "platform/host_file.h"

#include <cerrno>

namespace drive_layer {

namespace {

void put_u32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// Appends a NUL-terminated string and stores its offset in the header field `field`.
void append_text(std::vector<uint8_t>& out, size_t field, const std::string* text) {
    if (!text) return;
    put_u32(out, field, uint32_t(out.size()));
    out.insert(out.end(), text->begin(), text->end());
    out.push_back(0);
}

}  // namespace

DiskGeometry geometry_for_capacity(uint64_t capacity, uint32_t media_type) {
    // One track of one sector per cylinder, so the cylinder count is the sector count.
    // A trailing partial sector (only possible for odd-sized image files) is not
    // addressable and is left out.
    DiskGeometry g;
    g.cylinders = int64_t(capacity / 512);
    g.media_type = media_type;
    g.tracks_per_cylinder = 1;
    g.sectors_per_track = 1;
    g.bytes_per_sector = 512;
    return g;
}

std::vector<uint8_t> make_descriptor(const std::string* vendor, const std::string* product,
                                     const std::string* serial, bool removable) {
    constexpr uint32_t DESCRIPTOR_VERSION = 40;  // the size of the fixed record, as the platform reports it
    constexpr uint8_t DIRECT_ACCESS_DEVICE = 0;
    std::vector<uint8_t> out(DESCRIPTOR_HEADER_BYTES, 0);
    put_u32(out, 0, DESCRIPTOR_VERSION);
    out[8] = DIRECT_ACCESS_DEVICE;
    out[10] = removable ? 1 : 0;
    append_text(out, 12, vendor);
    append_text(out, 16, product);
    append_text(out, 24, serial);
    put_u32(out, 4, uint32_t(out.size()));
    return out;
}

std::vector<uint8_t> make_identity_descriptor(const std::string& vendor, const std::string& product,
                                              const std::string& serial, bool removable) {
    const std::string padded_vendor = vendor + "   ";
    return make_descriptor(vendor.empty() ? nullptr : &padded_vendor, product.empty() ? nullptr : &product,
                           serial.empty() ? nullptr : &serial, removable);
}

// --- the drive table ---------------------------------------------------------------

void DriveTable::load_system_drives() {
    const std::vector<std::shared_ptr<DriveSource>> disks = system_drive_sources();
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < DRIVE_COUNT; ++i) {
        sources_[i] = i < disks.size() ? disks[i] : nullptr;
        attached_[i] = false;
    }
}

void DriveTable::reload_system_drives() {
    const std::vector<std::shared_ptr<DriveSource>> disks = system_drive_sources();
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < DRIVE_COUNT; ++i)
        if (!attached_[i]) sources_[i] = i < disks.size() ? disks[i] : nullptr;
}

void DriveTable::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < DRIVE_COUNT; ++i) {
        sources_[i].reset();
        attached_[i] = false;
    }
}

bool DriveTable::attach(unsigned n, std::shared_ptr<DriveSource> source) {
    if (n >= DRIVE_COUNT) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    attached_[n] = source != nullptr;
    sources_[n] = std::move(source);
    return true;
}

bool DriveTable::attach_path(unsigned n, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (n >= DRIVE_COUNT) return fail("drive number must be 0 to 15");
    if (path.empty()) return fail("empty path");
    host::FileStatus st;
    if (!host::status_of(path, &st)) return fail(path + ": " + host::error_text(errno));
    if (st.kind != host::Kind::Device && st.kind != host::Kind::Regular)
        return fail(path + ": not an image file or a block device");
    // Try the path now, so a mistyped or unreadable one is reported here rather than
    // turning into a drive that silently never shows up.
    // A block device the user may not open is opened through udisks2 when it is used.
    const host::Descriptor fd = host::open_file(path, host::OPEN_READ);
    const bool later = host::last_open_found_no_medium() ||
                       (st.kind == host::Kind::Device && (errno == EACCES || errno == EPERM));
    if (fd == host::NO_DESCRIPTOR && !later) return fail(path + ": " + host::error_text(errno));
    if (fd != host::NO_DESCRIPTOR) host::close_file(fd);
    std::shared_ptr<DriveSource> source;
    if (st.kind == host::Kind::Device)
        source = attached_device_source(path);
    else
        source = std::make_shared<ImageSource>(path);
    return attach(n, std::move(source));
}

void DriveTable::detach(unsigned n) {
    if (n >= DRIVE_COUNT) return;
    std::lock_guard<std::mutex> lock(mutex_);
    sources_[n].reset();
    attached_[n] = false;
}

std::shared_ptr<DriveSource> DriveTable::source(unsigned n) const {
    if (n >= DRIVE_COUNT) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_[n];
}

DriveTable& drive_table() {
    static DriveTable table;
    return table;
}

std::unique_ptr<DriveHandle> open_drive(unsigned n, Access access, bool unbuffered) {
    auto source = drive_table().source(n);
    return source ? source->open(access, unbuffered) : nullptr;
}

bool parse_drive_option(const std::string& text, unsigned* n, std::string* path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return fail("expected N=PATH, got '" + text + "'");
    const std::string number = text.substr(0, eq);
    if (number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos)
        return fail("drive number must be 1 to 15, got '" + number + "'");
    const unsigned value = unsigned(std::stoul(number));
    if (value < 1 || value >= DRIVE_COUNT)
        return fail("drive number must be 1 to 15 (drive 0 is the system disk), got " + number);
    if (eq + 1 == text.size()) return fail("missing path after '" + number + "='");
    if (n) *n = value;
    if (path) *path = text.substr(eq + 1);
    return true;
}

}  // namespace drive_layer
