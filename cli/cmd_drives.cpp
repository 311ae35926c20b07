// Drive commands: list the card drives, describe a drive's volume, make an image file.
#include "views/drive_caption.h"
#include "cli/obtool_commands.h"
#include "cli/obtool_json.h"
#include "device/disk_info.h"
#include "device/sector_io.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

int cmd_drives(ObtoolContext& ctx) {
    const bool json = take_json_option(ctx.args);
    if (!ctx.args.empty()) return obtool_fail("drives takes no arguments");
    unsigned found = 0;
    Json drives = Json::array();
    for (unsigned n = 0; n < drive_layer::DRIVE_COUNT; ++n) {
        c_disk_info info;
        if (!info.probe(uint8_t(n))) continue;
        if (json)
            drives.push_back(drive_json(info));
        else
            std::printf("%s\n", drive_caption(info).c_str());
        ++found;
    }
    if (json) print_json({{"drives", drives}});
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

// The superblock's fields as info shows them, in order; partition_start comes after
// cluster_sectors.
struct SuperblockField {
    const char* name;
    uint32_t value;
    enum Shown { Number, Bytes, Crc } shown = Number;
};
std::vector<SuperblockField> superblock_fields(const Superblock& sb, uint32_t clusters) {
    return {{"disk_size", sb.disk_size, SuperblockField::Bytes}, {"cluster_sectors", sb.cluster_sectors},
            {"map_start", sb.map_start}, {"map_bytes", sb.map_bytes},
            {"map_crc", sb.map_crc, SuperblockField::Crc}, {"hash_start", sb.hash_start},
            {"hash_bytes", sb.hash_bytes}, {"dir_start", sb.dir_start}, {"dir_count", sb.dir_count},
            {"data_start", sb.data_start}, {"header_crc", sb.header_crc, SuperblockField::Crc},
            {"clusters", clusters}};
}

void print_superblock(const Superblock& sb, uint32_t clusters) {
    for (const SuperblockField& f : superblock_fields(sb, clusters)) {
        if (f.shown == SuperblockField::Crc)
            std::printf("%-16s 0x%04x\n", f.name, unsigned(f.value));
        else
            std::printf("%-16s %" PRIu32 "%s\n", f.name, f.value, f.shown == SuperblockField::Bytes ? " bytes" : "");
        if (std::strcmp(f.name, "cluster_sectors") == 0) {
            std::printf("partition_start ");
            for (uint32_t start : sb.partition_start) std::printf(" %08" PRIx32, start);
            std::printf("\n");
        }
    }
}

Json superblock_json(const Superblock& sb, uint32_t clusters) {
    Json volume{{"mounted", true}};
    for (const SuperblockField& f : superblock_fields(sb, clusters)) {
        volume[f.name] = f.value;
        if (std::strcmp(f.name, "cluster_sectors") == 0) volume["partition_start"] = sb.partition_start;
    }
    return volume;
}

int cmd_info(ObtoolContext& ctx) {
    const bool json = take_json_option(ctx.args);
    if (!ctx.args.empty()) return obtool_fail("info takes no arguments");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    c_disk_info info;
    if (!info.probe(drive))
        return obtool_fail("drive " + std::to_string(drive) +
                           " is not a card drive (not removable, no medium, unreadable, or over 21 GiB)");
    const bool mounted = volume().mount(drive);
    if (json) {
        const Json volume_part = mounted ? superblock_json(volume().header(), volume().cluster_count())
                                         : Json{{"mounted", false}, {"problem", why_no_volume(drive)}};
        print_json({{"drive", drive_json(info)}, {"volume", volume_part}});
        return 0;
    }
    std::printf("drive            %s\n", drive_caption(info).c_str());
    if (!mounted) {
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

OBTOOL_COMMAND("drives", "drives [--json]", "list the drives that may hold a card", cmd_drives);
OBTOOL_COMMAND("info", "info [--json]", "describe the selected drive and its volume", cmd_info);
OBTOOL_COMMAND("mkimage", "mkimage PATH SIZE", "make an empty (sparse) card image of SIZE bytes (K/M/G)",
               cmd_mkimage);
