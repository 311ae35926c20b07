// Drive commands: list the card drives, describe a drive's volume, make an image file.
#include "views/drive_caption.h"
#include "cli/obtool_commands.h"
#include "device/disk_info.h"
#include "device/sector_io.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdint>
#include <cstring>

namespace {

int cmd_drives(ObtoolContext& ctx) {
    if (!ctx.args.empty()) return obtool_fail("drives takes no arguments");
    unsigned found = 0;
    for (unsigned n = 0; n < drive_layer::DRIVE_COUNT; ++n) {
        c_disk_info info;
        if (!info.probe(uint8_t(n))) continue;
        std::printf("%s\n", drive_caption(info).c_str());
        ++found;
    }
    // An empty list is said, not left to look like a tool that did nothing.
    if (found == 0) return obtool_fail("no card drives found (insert a card reader, or attach an image with --drive N=PATH)");
    return 0;
}

// Why a drive that the probe accepted holds no usable volume, found by looking at
// its superblock the way the mount does.
std::string why_no_volume(uint8_t drive) {
    if (!disk_open(drive))
        return "the drive cannot be opened for reading and writing, or measures more than 2 GiB";
    uint8_t sector[SECTOR_BYTES];
    if (!disk_read_sector(0, sector)) return "sector 0 cannot be read";
    switch (check_superblock_header(sector)) {
    case SuperblockHeader::NoMagic: return "no OBFS volume (the card is not formatted)";
    case SuperblockHeader::BadCrc: return "the superblock's checksum does not match";
    case SuperblockHeader::Valid: break;
    }
    if (const char* problem = superblock_layout_problem(Superblock::decode(sector), disk_get_size()))
        return std::string("unusable layout: ") + problem;
    return "the cluster map or the name-hash table cannot be read";
}

void print_superblock(const Superblock& sb, uint32_t clusters) {
    std::printf("disk_size        %" PRIu32 " bytes\n", sb.disk_size);
    std::printf("cluster_sectors  %" PRIu32 "\n", sb.cluster_sectors);
    std::printf("partition_start ");
    for (uint32_t start : sb.partition_start) std::printf(" %08" PRIx32, start);
    std::printf("\n");
    std::printf("map_start        %" PRIu32 "\n", sb.map_start);
    std::printf("map_bytes        %" PRIu32 "\n", sb.map_bytes);
    std::printf("map_crc          0x%04x\n", unsigned(sb.map_crc));
    std::printf("hash_start       %" PRIu32 "\n", sb.hash_start);
    std::printf("hash_bytes       %" PRIu32 "\n", sb.hash_bytes);
    std::printf("dir_start        %" PRIu32 "\n", sb.dir_start);
    std::printf("dir_count        %" PRIu32 "\n", sb.dir_count);
    std::printf("data_start       %" PRIu32 "\n", sb.data_start);
    std::printf("header_crc       0x%04x\n", unsigned(sb.header_crc));
    std::printf("clusters         %" PRIu32 "\n", clusters);
}

int cmd_info(ObtoolContext& ctx) {
    if (!ctx.args.empty()) return obtool_fail("info takes no arguments");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    c_disk_info info;
    if (!info.probe(drive))
        return obtool_fail("drive " + std::to_string(drive) +
                           " is not a card drive (not removable, no medium, unreadable, or over 21 GiB)");
    std::printf("drive            %s\n", drive_caption(info).c_str());
    if (!volume().mount(drive)) {
        std::printf("volume           not mounted: %s\n", why_no_volume(drive).c_str());
        return 0;
    }
    std::printf("volume           OBFS, mounted\n");
    print_superblock(volume().header(), volume().cluster_count());
    return 0;
}

// "268435456", "256M", "64k", "1G": bytes, or binary kilo-, mega- or gigabytes.
bool parse_size(const std::string& text, uint64_t* bytes) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 15) return false;
    const uint64_t value = std::stoull(text.substr(0, digits));
    const std::string suffix = text.substr(digits);
    int shift = 0;
    if (suffix == "K" || suffix == "k") shift = 10;
    else if (suffix == "M" || suffix == "m") shift = 20;
    else if (suffix == "G" || suffix == "g") shift = 30;
    else if (!suffix.empty()) return false;
    if (value > (uint64_t(INT64_MAX) >> shift)) return false;  // beyond any file size
    *bytes = value << shift;
    return true;
}

int cmd_mkimage(ObtoolContext& ctx) {
    // "--" before the operands lets PATH begin with "-".
    std::vector<std::string> operands = ctx.args;
    if (!operands.empty() && operands.front() == "--") operands.erase(operands.begin());
    if (operands.size() != 2) return obtool_fail("usage: obtool mkimage PATH SIZE");
    const std::string& path = operands[0];
    uint64_t size = 0;
    if (!parse_size(operands[1], &size) || size == 0)
        return obtool_fail("SIZE must be a number of bytes, optionally with K, M or G: '" + operands[1] + "'");
    if (size % SECTOR_BYTES != 0) return obtool_fail("SIZE must be a whole number of 512-byte sectors");
    // Never over an existing file: making an image must not destroy anything.
    const host::Descriptor fd = host::open_file(path, host::OPEN_WRITE | host::OPEN_CREATE_NEW);
    if (fd == host::NO_DESCRIPTOR) return obtool_fail(path + ": " + host::error_text(errno));
    // Sizing leaves a hole: the image takes no space until sectors are written.
    const bool sized = host::set_size(fd, size);
    const int why = errno;
    if (!host::close_file(fd) || !sized) {
        host::remove_file(path);
        return obtool_fail(path + ": " + host::error_text(sized ? errno : why));
    }
    std::printf("created %s: %" PRIu64 " bytes\n", path.c_str(), size);
    return 0;
}

}  // namespace

OBTOOL_COMMAND("drives", "drives", "list the drives that may hold a card", cmd_drives);
OBTOOL_COMMAND("info", "info", "describe the selected drive and its volume", cmd_info);
OBTOOL_COMMAND("mkimage", "mkimage PATH SIZE", "make an empty (sparse) card image of SIZE bytes (K/M/G)",
               cmd_mkimage);
