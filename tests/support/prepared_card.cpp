#include "support/prepared_card.h"

#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "maintenance/menu_install.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"
#include "support/card_contents.h"
#include "support/test_cards.h"

#include <sstream>

namespace testcards {

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<std::pair<std::string, Bytes>> standard_files(const std::vector<std::pair<std::string, Bytes>>& more) {
    constexpr uint32_t K = OBFS_CLUSTER_BYTES;
    std::vector<std::pair<std::string, Bytes>> files = {
        {"keep_a.nds", pattern_bytes(K + K / 2, 1)}, {"old.sav", pattern_bytes(2 * K, 2)},
        {"victim.dat", pattern_bytes(K + 7, 3)},     {"keep_b.txt", pattern_bytes(300, 4)},
        {"sd_speed.ini", text_bytes("14")},          {"small.bin", pattern_bytes(K + 5000, 5)}};
    files.insert(files.end(), more.begin(), more.end());
    return files;
}

std::shared_ptr<drive_layer::FakeDrive> prepare_card(uint8_t drive, uint32_t card_bytes,
                                                     const std::vector<std::pair<std::string, Bytes>>& files,
                                                     Files* before) {
    auto card = blank_card(drive, card_bytes);
    before->clear();
    if (!volume().mount(drive)) return nullptr;
    for (const auto& [name, bytes] : files) {
        if (!put_card_file(name, bytes)) return nullptr;
        (*before)[name] = bytes;
    }
    if (!disk_flush()) return nullptr;
    disk_close();
    return card;
}

std::shared_ptr<drive_layer::FakeDrive> attach_copy(uint8_t drive, const drive_layer::FakeDrive& prepared) {
    disk_close();
    close_menu_drive();
    auto card = prepared.clone();
    drive_layer::drive_table().attach(drive, card);
    return card;
}

Files files_after(const Files& before, const Files& written, const std::set<std::string>& deleted, bool formats) {
    Files out = formats ? Files{} : before;
    for (const std::string& name : deleted) out.erase(name);
    for (const auto& [name, bytes] : written) out[name] = bytes;
    return out;
}

std::string differences_from(uint8_t drive, const Files& want) {
    std::ostringstream why;
    bool mounted = false;
    const std::map<std::string, CardFile> now = card_contents(drive, &mounted);
    if (!mounted) return "the volume does not mount";
    for (const auto& [name, bytes] : want) {
        const auto it = now.find(name);
        if (it == now.end())
            why << name << " missing; ";
        else if (it->second.bytes != bytes || it->second.size != bytes.size())
            why << name << " differs (" << it->second.size << " bytes); ";
    }
    for (const auto& [name, file] : now)
        if (!want.count(name)) why << "unexpected " << name << "; ";
    const CardCheckReport r = check_card(drive, false);
    if (!r.clean()) {
        why << "check:";
        for (const std::string& p : r.problems) why << " [" << p << "]";
    }
    return why.str();
}

}  // namespace testcards
