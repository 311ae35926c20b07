#include "views/drive_list.h"

#include "views/drive_caption.h"
#include "device/disk_info.h"
#include "device/drive_layer.h"

std::vector<DriveEntry> list_card_drives() {
    std::vector<DriveEntry> entries;
    for (unsigned n = 0; n < drive_layer::DRIVE_COUNT; ++n) {
        c_disk_info info;
        if (info.probe(uint8_t(n))) entries.push_back({drive_caption(info), uint8_t(n)});
    }
    return entries;
}

uint8_t count_card_drives() {
    uint8_t count = 0;
    for (unsigned n = 0; n < drive_layer::DRIVE_COUNT; ++n) {
        c_disk_info info;
        if (info.probe(uint8_t(n))) ++count;
    }
    return count;
}
