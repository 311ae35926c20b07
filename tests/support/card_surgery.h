// Hand-made damage on a card that holds a volume: entries, hash entries, map codes and
// superblock fields written straight onto the medium, past every check of the program,
// the way a foreign tool, a broken card or a hostile image could leave them.
#pragma once

#include "testing/fake_drive.h"
#include "obfs/superblock.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testcards {

class CardSurgery {
public:
    explicit CardSurgery(drive_layer::FakeDrive& card);

    // Lays a directory entry into `slot`: `name` goes into the 260-byte name field as
    // given (260 bytes without a 0 leave it unterminated). Its hash entry becomes
    // name_hash(name), or `hash` when that is not 0xFFFFFFFF; with `mark` the run is
    // marked in the map (0xAC, then 0x02).
    void entry(uint32_t slot, const std::string& name, uint32_t first, uint32_t last, uint32_t size,
               bool mark = true, uint32_t hash = 0xFFFFFFFFu);
    void hash(uint32_t slot, uint32_t h);
    // Sets a map code and keeps the map CRC true, as a flush would.
    void map(uint32_t cluster, uint8_t code);
    uint8_t map_at(uint32_t cluster) const;
    // Bytes at the start of a data cluster.
    void data(uint32_t cluster, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> data_at(uint32_t cluster, size_t length) const;
    // Changes superblock fields and writes it back with a matching header CRC.
    void superblock(const std::function<void(Superblock&)>& change);

    const Superblock& sb() const { return sb_; }

private:
    void reseal();
    drive_layer::FakeDrive& card_;
    Superblock sb_;
};

}  // namespace testcards
