#include "support/card_image_exercise.h"

#include "views/card_rows.h"
#include "testing/fake_drive.h"
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr uint8_t DRIVE = 1;

// The fake drive holding the image, attached as drive 1.
void attach_image(const uint8_t* data, size_t size) {
    const uint32_t word = get_le32(data);
    uint64_t capacity = word % (64u << 20);
    capacity = (capacity / 512 + 1) * 512;
    auto drive = std::make_shared<drive_layer::FakeDrive>(capacity);
    for (size_t at = 4; at + 4 + 512 <= size; at += 4 + 512) {
        const uint64_t sector = get_le32(data + at);
        if ((sector + 1) * 512 <= capacity) drive->poke(sector * 512, data + at + 4, 512);
    }
    if (word & 0x80000000u) {
        uint8_t s0[512];
        drive->peek(0, s0, sizeof s0);
        put_le16(s0 + SB_HEADER_CRC, crc16(0, s0, SB_HEADER_CRC_SPAN));
        drive->poke(0, s0, sizeof s0);
    }
    drive_layer::drive_table().attach(DRIVE, drive);
}

std::vector<std::string> listed_names() {
    AF_FIND_DATA_T record;
    std::vector<std::string> names;
    for (int s = find_first(record); s != -1; s = find_next(s + 1, record)) {
        const void* nul = std::memchr(record.name, 0, sizeof record.name);
        names.emplace_back(reinterpret_cast<const char*>(record.name),
                           nul ? static_cast<const uint8_t*>(nul) - record.name : sizeof record.name);
    }
    return names;
}

void read_everything() {
    if (!volume().mount(DRIVE)) return;
    std::vector<uint8_t> buffer(300000);
    for (const std::string& name : listed_names()) {
        cAFFile f;
        if (!f.open(name, "r", 0)) continue;
        for (int rounds = 0; rounds < 8 && f.read(buffer.data(), uint32_t(buffer.size())) > 0; ++rounds) {
        }
        f.close();
    }
}

void write(const std::string& name, const char* mode, uint32_t bytes) {
    static const std::vector<uint8_t> data(3 * OBFS_CLUSTER_BYTES + 1000, 0x5A);
    cAFFile f;
    if (!f.open(name, mode, bytes)) return;
    f.write(data.data(), std::min<uint32_t>(bytes, uint32_t(data.size())));
    f.close();
}

void write_things() {
    if (!volume().mount(DRIVE)) return;
    const std::vector<std::string> names = listed_names();
    if (!names.empty()) write(names[0], "w+", 200000);
    if (names.size() > 1) delete_file(names[1]);
    if (names.size() > 2) write(names[2], "a", 1000);
    write("fuzz.new", "w", 3 * OBFS_CLUSTER_BYTES + 1000);
}

}  // namespace

void exercise_card_image(const uint8_t* data, size_t size) {
    if (size < 4) return;
    attach_image(data, size);
    read_everything();
    (void)card_rows(DRIVE);
    (void)check_card(DRIVE, false);
    (void)check_card(DRIVE, true);
    (void)check_card(DRIVE, false);
    disk_close();

    attach_image(data, size);
    write_things();
    (void)check_card(DRIVE, false);
    disk_close();
    drive_layer::drive_table().detach(DRIVE);
}

std::vector<uint8_t> compact_image(uint64_t capacity,
                                   const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sectors) {
    std::vector<uint8_t> out(4);
    put_le32(out.data(), uint32_t(capacity));
    for (const auto& [sector, bytes] : sectors) {
        uint8_t head[4];
        put_le32(head, sector);
        out.insert(out.end(), head, head + 4);
        std::vector<uint8_t> padded = bytes;
        padded.resize(512, 0);
        out.insert(out.end(), padded.begin(), padded.end());
    }
    return out;
}
