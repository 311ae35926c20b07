#include "support/card_object.h"

#include "device/drive_layer.h"
#include "maintenance/menu_install.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "support/prepared_card.h"
#include "support/test_cards.h"

namespace testcards {

CardOnDrive::CardOnDrive(uint8_t n, std::shared_ptr<drive_layer::FakeDrive> drive) : n_(n), drive_(std::move(drive)) {
    drive_layer::drive_table().attach(n_, drive_);
}

CardOnDrive::~CardOnDrive() {
    card_.disk().close();
    drive_layer::drive_table().detach(n_);
}

bool CardOnDrive::put(const std::string& name, const std::vector<uint8_t>& bytes) {
    cAFFile out(card_);
    if (!out.open(name, "w+", uint32_t(bytes.size()))) return false;
    if (out.write(bytes.data(), uint32_t(bytes.size())) != bytes.size()) return false;
    return out.close() && card_.disk().flush();
}

bool CardOnDrive::files(std::map<std::string, std::vector<uint8_t>>* out) {
    out->clear();
    AF_FIND_DATA_T d;
    for (int slot = find_first(card_, d); slot >= 0; slot = find_next(card_, slot + 1, d)) {
        const std::string name(reinterpret_cast<const char*>(d.name));
        cAFFile in(card_);
        if (!in.open(name, "r", 0)) return false;
        std::vector<uint8_t> bytes(in.get_size());
        if (!bytes.empty() && in.read(bytes.data(), uint32_t(bytes.size())) != bytes.size()) return false;
        (*out)[name] = std::move(bytes);
    }
    return true;
}

namespace {

std::shared_ptr<drive_layer::FakeDrive> blank_drive(uint32_t bytes) {
    auto drive = std::make_shared<drive_layer::FakeDrive>(bytes);
    write_blank_volume(*drive, bytes);
    return drive;
}

}  // namespace

CloneSource::CloneSource(uint8_t n) : card(n, blank_drive(24u << 20)), menu(pattern_bytes(MENU_AREA_BYTES, 17)) {
    if (!card.mount()) return;
    for (const auto& [name, bytes] : standard_files({{"big.nds", pattern_bytes(3 * OBFS_CLUSTER_BYTES + 99, 16)}}))
        if (card.put(name, bytes)) files[name] = bytes;
    card.drive().poke(MENU_AREA_OFFSET, menu.data(), menu.size());
    card.drive().reset_counters();
}

}  // namespace testcards
