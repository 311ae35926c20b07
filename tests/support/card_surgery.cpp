#include "support/card_surgery.h"

#include "obfs/directory.h"
#include "obfs/obfs.h"

#include <algorithm>
#include <cstring>

namespace testcards {

CardSurgery::CardSurgery(drive_layer::FakeDrive& card) : card_(card) {
    sb_ = Superblock::decode(card_.peek(0, 512).data());
}

void CardSurgery::entry(uint32_t slot, const std::string& name, uint32_t first, uint32_t last, uint32_t size,
                        bool mark, uint32_t h) {
    uint8_t e[512] = {};
    std::memcpy(e + DE_NAME, name.data(), std::min<size_t>(name.size(), NAME_FIELD_BYTES));
    put_le16(e + DE_ATTRIBUTES, ATTR_ARCHIVE);
    put_le32(e + DE_FIRST_CLUSTER, first);
    put_le32(e + DE_LAST_CLUSTER, last);
    put_le32(e + DE_SIZE, size);
    card_.poke(uint64_t(sb_.dir_start + slot) * 512, e, sizeof e);
    hash(slot, h == 0xFFFFFFFFu ? name_hash(name) : h);
    if (mark && first != NO_CLUSTER)
        for (uint32_t c = first; c <= last; ++c) map(c, c == first ? 0xAC : 0x02);
}

void CardSurgery::hash(uint32_t slot, uint32_t h) {
    uint8_t b[4];
    put_le32(b, h);
    card_.poke(uint64_t(sb_.hash_start) * 512 + 4 * slot, b, sizeof b);
}

void CardSurgery::map(uint32_t cluster, uint8_t code) {
    card_.poke(uint64_t(sb_.map_start) * 512 + cluster, &code, 1);
    reseal();
}

uint8_t CardSurgery::map_at(uint32_t cluster) const {
    return card_.peek(uint64_t(sb_.map_start) * 512 + cluster, 1)[0];
}

void CardSurgery::data(uint32_t cluster, const std::vector<uint8_t>& bytes) {
    card_.poke((uint64_t(sb_.data_start) + uint64_t(cluster) * OBFS_CLUSTER_SECTORS) * 512, bytes.data(), bytes.size());
}

std::vector<uint8_t> CardSurgery::data_at(uint32_t cluster, size_t length) const {
    return card_.peek((uint64_t(sb_.data_start) + uint64_t(cluster) * OBFS_CLUSTER_SECTORS) * 512, length);
}

void CardSurgery::superblock(const std::function<void(Superblock&)>& change) {
    change(sb_);
    reseal();
}

void CardSurgery::reseal() {
    auto s0 = card_.peek(0, 512);
    const auto map = card_.peek(uint64_t(sb_.map_start) * 512, std::min<uint32_t>(sb_.map_bytes, 1u << 20));
    sb_.map_crc = crc16(0, map.data(), map.size());
    sb_.encode(s0.data());
    sb_.header_crc = crc16(0, s0.data(), SB_HEADER_CRC_SPAN);
    sb_.encode(s0.data());
    card_.poke(0, s0.data(), s0.size());
}

}  // namespace testcards
