#include "support/card_object.h"

#include "device/drive_layer.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"

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

}  // namespace testcards
