#include "device/disk_info.h"

#include "common/byte_order.h"

#include <vector>

namespace {

// Descriptor offsets of the three strings the probe uses.
constexpr size_t VENDOR_OFFSET_AT = 12;
constexpr size_t PRODUCT_OFFSET_AT = 16;
constexpr size_t SERIAL_OFFSET_AT = 24;

// The NUL-terminated text at `offset`, never read past the returned bytes. An offset
// of 0 or one outside the returned bytes means the string is absent.
bool text_at(const std::vector<uint8_t>& d, size_t field, std::string* out) {
    if (field + 4 > d.size()) return false;
    uint32_t offset = get_le32(d.data() + field);
    if (offset == 0 || offset >= d.size()) return false;
    out->clear();
    for (size_t i = offset; i < d.size() && d[i] != 0; ++i) out->push_back(char(d[i]));
    return true;
}

}  // namespace

bool c_disk_info::probe(uint8_t drive_number) {
    if (!query(drive_number) || media_type != drive_layer::MEDIA_REMOVABLE ||
        capacity > MAX_CARD_CAPACITY) {
        reset();
        return false;
    }
    return true;
}

bool c_disk_info::query(uint8_t drive_number) {
    drive = drive_number;
    // A short-lived read-only handle: probes may run while the sector layer holds the
    // same drive open for writing.
    auto handle = drive_layer::open_drive(drive_number, drive_layer::READ, true);
    if (!handle) return false;
    return read_identity(*handle) && read_geometry(*handle);
}

bool c_disk_info::read_identity(drive_layer::DriveHandle& handle) {
    std::vector<uint8_t> d;
    if (!handle.query_descriptor(d, drive_layer::DESCRIPTOR_BUFFER_BYTES)) return false;
    if (d.size() > drive_layer::DESCRIPTOR_BUFFER_BYTES) d.resize(drive_layer::DESCRIPTOR_BUFFER_BYTES);
    identity.clear();
    std::string text;
    if (text_at(d, VENDOR_OFFSET_AT, &text))
        identity = text.size() > 2 ? text.substr(0, text.size() - 2) : std::string();
    if (text_at(d, PRODUCT_OFFSET_AT, &text)) identity += text;
    if (text_at(d, SERIAL_OFFSET_AT, &text)) serial = text;
    return true;
}

bool c_disk_info::read_geometry(drive_layer::DriveHandle& handle) {
    geometry = drive_layer::DiskGeometry{};
    if (!handle.query_geometry(geometry)) return false;
    media_type = geometry.media_type;
    if (media_type == drive_layer::MEDIA_UNKNOWN) return false;
    capacity = uint64_t(geometry.cylinders) * geometry.tracks_per_cylinder * geometry.sectors_per_track *
               geometry.bytes_per_sector;
    return true;
}

void c_disk_info::reset() {
    drive = 255;
    media_type = 0;
    identity.clear();
    serial.clear();
    capacity = 0;
}
