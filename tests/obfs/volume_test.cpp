// Mounting a volume: the checks on sector 0, the layout limits, the tables and flush.
#include "device/sector_io.h"
#include "obfs/obfs.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using drive_layer::FakeDrive;

namespace {

class VolumeTest : public ::testing::Test {
protected:
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    // Rewrites the superblock of `d` after `edit`, with a valid header CRC.
    static void edit_superblock(FakeDrive& d, const std::function<void(Superblock&)>& edit) {
        uint8_t s[512];
        d.peek(0, s, 512);
        Superblock sb = Superblock::decode(s);
        edit(sb);
        sb.encode(s);
        put_le16(s + SB_HEADER_CRC, crc16(0, s, SB_HEADER_CRC_SPAN));
        d.poke(0, s, 512);
    }
};

TEST(Crc16, IsCrc16Arc) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16(0, check, sizeof check), 0xBB3D);
    EXPECT_EQ(crc16(0, nullptr, 0), 0);
    // The start value carries a CRC across pieces.
    EXPECT_EQ(crc16(crc16(0, check, 4), check + 4, 5), 0xBB3D);
}

TEST_F(VolumeTest, TwoGiBWorkedExampleMounts) {
    auto d = testcards::blank_card(1, 0x80000000u);
    ASSERT_TRUE(volume().mount(1));
    Superblock sb = volume().header();
    EXPECT_EQ(sb.map_bytes, 16384u);
    EXPECT_EQ(sb.hash_start, 8225u);
    EXPECT_EQ(sb.dir_start, 8233u);
    EXPECT_EQ(sb.data_start, 9257u);
    EXPECT_EQ(volume().cluster_count(), 16347u);
    EXPECT_EQ(volume().cluster_to_sector(0), 9257u);
    EXPECT_EQ(volume().cluster_to_sector(0xFFFFFFFFu), 9257u - 256);
    int beyond = 0;
    for (uint32_t i = 0; i < 16384; ++i) beyond += volume().cluster_map[i] == 0xFF;
    EXPECT_EQ(beyond, 37);
    EXPECT_EQ(volume().cluster_map[16346], 0x00);
}

TEST_F(VolumeTest, SmallVolumeLayout) {
    testcards::blank_card(1, 256u << 20);
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(volume().map_bytes(), 2048u);
    EXPECT_EQ(volume().data_start(), 9229u);
    EXPECT_EQ(volume().cluster_count(), 2011u);
}

TEST_F(VolumeTest, SectorZeroMustBeAnIntactVolume) {
    auto d = testcards::blank_card(1, 64u << 20);
    ASSERT_TRUE(volume().mount(1));
    for (uint32_t bit : {0u, 8u * 0x10 + 3, 8u * 0x75 + 7}) {
        uint8_t s[512];
        d->peek(0, s, 512);
        s[bit / 8] ^= uint8_t(1u << (bit % 8));
        d->poke(0, s, 512);
        EXPECT_FALSE(volume().mount(1)) << "bit " << bit;
        EXPECT_EQ(volume().mounted, 0);
        s[bit / 8] ^= uint8_t(1u << (bit % 8));
        d->poke(0, s, 512);
        EXPECT_TRUE(volume().mount(1));
    }
}

TEST_F(VolumeTest, WrongMapCrcMountsAndFlushMendsIt) {
    auto d = testcards::blank_card(1, 64u << 20);
    edit_superblock(*d, [](Superblock& sb) { sb.map_crc ^= 0x5555; });
    ASSERT_TRUE(volume().mount(1));
    const uint16_t old_header = get_le16(volume().superblock + SB_HEADER_CRC);
    volume().cluster_map[3] = 0xAC;
    ASSERT_TRUE(volume().flush());
    uint8_t s[512];
    d->peek(0, s, 512);
    Superblock sb = Superblock::decode(s);
    auto map = d->peek(uint64_t(sb.map_start) * 512, sb.map_bytes);
    EXPECT_EQ(sb.map_crc, crc16(0, map.data(), map.size()));
    EXPECT_EQ(map[3], 0xAC);
    EXPECT_NE(sb.header_crc, old_header);
    EXPECT_EQ(sb.header_crc, crc16(0, s, SB_HEADER_CRC_SPAN));
    // The hash table goes out little-endian.
    volume().hash_table[1] = 0x11223344;
    ASSERT_TRUE(volume().flush());
    auto hash = d->peek(uint64_t(sb.hash_start) * 512 + 4, 4);
    EXPECT_EQ(hash, (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
}

TEST_F(VolumeTest, FailedMountOfAnotherDriveLeavesNothingMounted) {
    auto a = testcards::blank_card(1, 64u << 20);
    testcards::attach_fake(2, 64u << 20);  // no volume
    ASSERT_TRUE(volume().mount(1));
    EXPECT_FALSE(volume().mount(2));
    EXPECT_EQ(volume().mounted, 0);
    EXPECT_FALSE(volume().flush());
    // A's tables are read afresh.
    uint8_t s[512];
    a->peek(0, s, 512);
    Superblock sb = Superblock::decode(s);
    uint8_t ac = 0xAC;
    a->poke(uint64_t(sb.map_start) * 512 + 7, &ac, 1);
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(volume().cluster_map[7], 0xAC);
}

TEST_F(VolumeTest, LayoutsThisSystemCannotHandleAreRefused) {
    const std::vector<std::pair<const char*, std::function<void(Superblock&)>>> hostile = {
        {"cluster sectors", [](Superblock& sb) { sb.cluster_sectors = 128; }},
        {"hash bytes", [](Superblock& sb) { sb.hash_bytes = 8192; }},
        {"dir count", [](Superblock& sb) { sb.dir_count = 2048; }},
        {"map not whole sectors", [](Superblock& sb) { sb.map_bytes += 1; }},
        {"map smaller than data", [](Superblock& sb) { sb.map_bytes = 0; }},
        {"map huge", [](Superblock& sb) { sb.map_bytes = 0x7FFFFE00; }},
        {"map over menu area", [](Superblock& sb) { sb.map_start = 1; }},
        {"hash overlaps map", [](Superblock& sb) { sb.hash_start -= 1; }},
        {"dir overlaps hash", [](Superblock& sb) { sb.dir_start -= 1; }},
        {"data overlaps dir", [](Superblock& sb) { sb.data_start -= 1; }},
        {"beyond reach", [](Superblock& sb) { sb.data_start = 0x3FFFFFF0; }},
        {"larger than drive", [](Superblock& sb) { sb.disk_size += 512; }},
        {"no data cluster", [](Superblock& sb) { sb.disk_size = sb.data_start * 512 + 1000; }},
    };
    for (const auto& [what, edit] : hostile) {
        auto d = testcards::blank_card(1, 64u << 20);
        edit_superblock(*d, edit);
        EXPECT_FALSE(volume().mount(1)) << what;
        EXPECT_EQ(volume().mounted, 0) << what;
    }
}

TEST_F(VolumeTest, DriveSmallerThanTheFixedAreasHoldsNoVolume) {
    // 4 MiB: disk_open accepts it, but no volume fits.
    auto d = testcards::attach_fake(1, 4u << 20);
    EXPECT_TRUE(disk_open(1));
    Superblock sb = Superblock::layout_for(4u << 20);
    uint8_t s[512] = {};
    sb.encode(s);
    put_le16(s + SB_HEADER_CRC, crc16(0, s, SB_HEADER_CRC_SPAN));
    d->poke(0, s, 512);
    EXPECT_FALSE(volume().mount(1));
}

TEST_F(VolumeTest, UnreadableTablesFailTheMount) {
    auto d = testcards::blank_card(1, 64u << 20);
    d->fail_reads_from(2);  // sector 0 reads, the map does not
    EXPECT_FALSE(volume().mount(1));
    EXPECT_EQ(volume().mounted, 0);
}

TEST_F(VolumeTest, PartitionStartsAreCopiedAtMount) {
    auto d = testcards::attach_fake(1, 1u << 30);
    testcards::write_blank_volume(*d, 1u << 30, {}, {0x10000000, 0x20000000});
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(current_partition_table[0], 0u);
    EXPECT_EQ(current_partition_table[1], 0x10000000u);
    EXPECT_EQ(current_partition_table[2], 0x20000000u);
    EXPECT_EQ(current_partition_table[3], 0xFFFFFFFFu);
}

}  // namespace
