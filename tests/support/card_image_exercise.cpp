#include "support/card_image_exercise.h"

#include "app/card_rows.h"
#include "device/fake_drive.h"
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"

#include <cstring>
#include <string>

void exercise_card_image(const uint8_t* data, size_t size) {
    if (size < 4) return;
    uint64_t capacity = get_le32(data);
    capacity = capacity % (64u << 20);
    capacity = (capacity / 512 + 1) * 512;
    auto drive = std::make_shared<drive_layer::FakeDrive>(capacity);
    for (size_t at = 4; at + 4 + 512 <= size; at += 4 + 512) {
        const uint64_t sector = get_le32(data + at);
        if ((sector + 1) * 512 <= capacity) drive->poke(sector * 512, data + at + 4, 512);
    }
    drive_layer::drive_table().attach(1, drive);

    if (volume().mount(1)) {
        AF_FIND_DATA_T record;
        std::vector<std::string> names;
        for (int s = find_first(record); s != -1; s = find_next(s + 1, record)) {
            const void* nul = std::memchr(record.name, 0, sizeof record.name);
            names.emplace_back(reinterpret_cast<const char*>(record.name),
                               nul ? static_cast<const uint8_t*>(nul) - record.name : sizeof record.name);
        }
        std::vector<uint8_t> buffer(300000);
        for (const std::string& name : names) {
            cAFFile f;
            if (!f.open(name, "r", 0)) continue;
            for (int rounds = 0; rounds < 8 && f.read(buffer.data(), uint32_t(buffer.size())) > 0; ++rounds) {
            }
            f.close();
        }
    }
    (void)card_rows(1);
    (void)check_card(1, false);
    (void)check_card(1, true);
    (void)check_card(1, false);
    disk_close();
    drive_layer::drive_table().detach(1);
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
