// What a table flush sends to the card: only the map and hash sectors that changed
// since the card's copy was read or written, neighbours joined into one write, the
// superblock only when it changed, and a whole table again once a write to it failed. And the
// card always ends up holding the tables and checksums the volume holds in memory.
#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/obfs.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;

namespace {

constexpr uint32_t CARD_BYTES = 2048u << 20;  // 32 map sectors, so spans can be apart

class TableWrites : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(1, CARD_BYTES);
        ASSERT_TRUE(volume().mount(1));
        sb = volume().header();
        drive_layer::CardModel counting;  // no costs: only the jumps are wanted
        counting.name = "counting";
        card->set_card_model(counting);
        card->reset_counters();
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    // The card holds what the volume holds: map, hash table and a superblock whose
    // checksums fit them.
    void expect_card_matches_memory() {
        const cOBFS& vol = volume();
        EXPECT_EQ(card->peek(uint64_t(sb.map_start) * 512, sb.map_bytes), vol.cluster_map);
        const auto hash = card->peek(uint64_t(sb.hash_start) * 512, OBFS_HASH_BYTES);
        for (uint32_t i = 0; i < OBFS_DIR_COUNT; ++i) ASSERT_EQ(get_le32(hash.data() + 4 * i), vol.hash_table[i]) << i;
        const auto s = card->peek(0, 512);
        const Superblock on_card = Superblock::decode(s.data());
        EXPECT_EQ(on_card.map_crc, crc16(0, vol.cluster_map.data(), sb.map_bytes));
        EXPECT_EQ(on_card.header_crc, crc16(0, s.data(), SB_HEADER_CRC_SPAN));
    }
    uint64_t map_sector_byte(uint32_t i) const { return (uint64_t(sb.map_start) + i) * 512; }

    std::shared_ptr<FakeDrive> card;
    Superblock sb;
};

}  // namespace

TEST_F(TableWrites, UnchangedTablesWriteNothing) {
    ASSERT_TRUE(volume().flush());
    EXPECT_EQ(card->counters().writes, 0u);
}

TEST_F(TableWrites, OneChangedMapSectorAndTheSuperblock) {
    volume().cluster_map[3 * 512 + 7] = 0xAC;  // map sector 3
    ASSERT_TRUE(volume().flush());
    const auto c = card->counters();
    EXPECT_EQ(c.writes, 2u);
    EXPECT_EQ(c.bytes_written, 1024u);
    EXPECT_EQ(c.write_sizes.at(512), 2u);
    expect_card_matches_memory();
}

TEST_F(TableWrites, HashChangeAloneLeavesTheSuperblockAlone) {
    volume().hash_table[300] = 0x12345678;  // hash sector 2
    ASSERT_TRUE(volume().flush());
    EXPECT_EQ(card->counters().writes, 1u);
    EXPECT_EQ(card->counters().bytes_written, 512u);
    expect_card_matches_memory();
}

TEST_F(TableWrites, ChangesAShortWayApartGoInOneWrite) {
    volume().cluster_map[1 * 512] = 0xAC;
    volume().cluster_map[4 * 512] = 0x02;  // a gap of two unchanged sectors: joined
    ASSERT_TRUE(volume().flush());
    const auto c = card->counters();
    EXPECT_EQ(c.writes, 2u);  // map 1..4, superblock
    EXPECT_EQ(c.write_sizes.at(4 * 512), 1u);
    expect_card_matches_memory();
}

TEST_F(TableWrites, HashWriteFollowsOnFromAMapWriteNearTheBoundary) {
    // The last map sector and the first hash sector: the map write reaches its end and
    // the hash write, after the flush between them, continues it.
    volume().cluster_map[sb.map_bytes - 600] = 0xAC;
    volume().hash_table[0] = 0x77;
    ASSERT_TRUE(volume().flush());
    const auto cc = card->card_counters();
    EXPECT_EQ(cc.nonsequential_writes, 2u);  // the map write and the superblock
    EXPECT_EQ(card->counters().flushes, 1u);
    expect_card_matches_memory();
}

TEST_F(TableWrites, WithoutOrderingMapAndHashMeetInOneWrite) {
    // write_tables: nothing to order between map and hash, so the two spans that meet
    // at the boundary are one command, and no flush is made; the superblock follows.
    volume().cluster_map[sb.map_bytes - 600] = 0xAC;
    volume().hash_table[0] = 0x77;
    ASSERT_TRUE(volume().write_tables(true));
    const auto c = card->counters();
    EXPECT_EQ(c.writes, 2u);
    EXPECT_EQ(c.write_sizes.at(3 * 512), 1u);  // the last two map sectors and the first hash sector
    EXPECT_EQ(c.flushes, 0u);
    expect_card_matches_memory();
    // The card's copies followed: nothing is left to write.
    card->reset_counters();
    ASSERT_TRUE(volume().flush());
    EXPECT_EQ(card->counters().writes, 0u);
}

TEST_F(TableWrites, SuperblockCanWaitForALaterWrite) {
    volume().cluster_map[5] = 0xAC;
    ASSERT_TRUE(volume().write_tables(false));
    EXPECT_EQ(card->counters().writes, 1u);  // the map sector only
    EXPECT_NE(Superblock::decode(card->peek(0, 512).data()).map_crc, crc16(0, volume().cluster_map.data(), sb.map_bytes));
    ASSERT_TRUE(volume().write_tables(true));
    EXPECT_EQ(card->counters().writes, 2u);  // now the superblock, with the map's CRC
    expect_card_matches_memory();
}

TEST_F(TableWrites, ANewFileReachesTheCardAtItsCloseInFourWritesAndTwoFlushes) {
    // Nothing at the open; at the close the data is out already, then map and hash in
    // one write, the superblock, a flush, the entry, a flush.
    cAFFile f;
    ASSERT_TRUE(f.open("new.bin", "w", 1 << 20));
    EXPECT_EQ(card->counters().writes, 0u);
    const auto bytes = testcards::pattern_bytes(1 << 20, 5);
    ASSERT_EQ(f.write(bytes.data(), uint32_t(bytes.size())), bytes.size());
    ASSERT_TRUE(f.close());
    const auto c = card->counters();
    EXPECT_EQ(c.writes, 4u);  // data, map and hash, superblock, entry
    EXPECT_EQ(c.flushes, 2u);
    EXPECT_EQ(card->card_counters().nonsequential_writes, 4u);
    expect_card_matches_memory();
    cAFFile back;
    ASSERT_TRUE(back.open("new.bin", "r", 0));
    std::vector<uint8_t> got(bytes.size());
    ASSERT_EQ(back.read(got.data(), uint32_t(got.size())), got.size());
    EXPECT_EQ(got, bytes);
}

TEST_F(TableWrites, MountAndAWholeSectorReadLoadTheWindowOnlyForTheTables) {
    // Sector 0 is read on its own (a window there would hold the menu program area),
    // and a file read in whole sectors never needs its first sector in the window.
    const auto bytes = testcards::pattern_bytes(3 * OBFS_CLUSTER_BYTES, 6);
    {
        cAFFile f;
        ASSERT_TRUE(f.open("r.bin", "w", uint32_t(bytes.size())));
        ASSERT_EQ(f.write(bytes.data(), uint32_t(bytes.size())), bytes.size());
        ASSERT_TRUE(f.close());
    }
    const uint64_t before = disk_window_loads();
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(disk_window_loads() - before, 1u);
    EXPECT_EQ(disk_window_start(), sb.map_start);
    card->reset_counters();
    cAFFile in;
    ASSERT_TRUE(in.open("r.bin", "r", 0));  // its entry lies in the window already
    std::vector<uint8_t> got(bytes.size());
    ASSERT_EQ(in.read(got.data(), uint32_t(got.size())), got.size());
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(disk_window_loads() - before, 1u);
    EXPECT_EQ(card->counters().reads, 1u);
}

TEST_F(TableWrites, AfterAFailedWriteThatTableGoesOutWhole) {
    volume().cluster_map[5] = 0xAC;
    card->fail_write_at(1);
    EXPECT_FALSE(volume().flush());
    card->reset_counters();
    ASSERT_TRUE(volume().flush());
    // Part of the failed write may have landed anywhere in the map: all of it, then the
    // superblock; the hash table was not touched.
    EXPECT_EQ(card->counters().bytes_written, uint64_t(sb.map_bytes) + 512);
    expect_card_matches_memory();
}

TEST_F(TableWrites, CardChangedBehindTheVolumeIsReadAfreshAtTheNextMount) {
    // Another writer changes a map sector; the next mount takes it as the card's copy,
    // so a change of the same sector afterwards is written, and one that restores the
    // mounted value is not forgotten either.
    card->poke(map_sector_byte(2), std::vector<uint8_t>(512, 0x02).data(), 512);
    ASSERT_TRUE(volume().mount(1));
    volume().cluster_map[2 * 512] = 0x00;
    ASSERT_TRUE(volume().flush());
    expect_card_matches_memory();
}

TEST(JoinedTransfers, AStreamMovesAWholeCallInOneCommand) {
    auto card = testcards::blank_card(1, 64u << 20);
    ASSERT_TRUE(volume().mount(1));
    const auto bytes = testcards::pattern_bytes(512u << 10, 9);  // four clusters
    cAFFile out;
    ASSERT_TRUE(out.open("four.bin", "w", uint32_t(bytes.size())));
    card->reset_counters();
    ASSERT_EQ(out.write(bytes.data(), uint32_t(bytes.size())), bytes.size());
    EXPECT_EQ(card->counters().write_sizes.at(512u << 10), 1u);
    EXPECT_EQ(out.last_cluster, out.first_cluster + 3);
    // The stream's position is where one cluster at a time would have left it.
    EXPECT_EQ(out.cur_cluster, out.first_cluster + 3);
    EXPECT_EQ(out.cur_sector, 256u);
    out.close();

    cAFFile in;
    ASSERT_TRUE(in.open("four.bin", "r", 0));
    std::vector<uint8_t> back(bytes.size());
    card->reset_counters();
    ASSERT_EQ(in.read(back.data(), uint32_t(back.size())), back.size());
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(card->counters().read_sizes.at(512u << 10), 1u);
    disk_close();
    drive_layer::drive_table().clear();
}

TEST(JoinedTransfers, AWriteThatMeetsATakenClusterStopsAtTheRunsEnd) {
    auto card = testcards::blank_card(1, 64u << 20);
    ASSERT_TRUE(volume().mount(1));
    cAFFile out;
    ASSERT_TRUE(out.open("first.bin", "w", 1));
    volume().cluster_map[out.first_cluster + 2] = 0xAC;  // another file two clusters on
    const auto bytes = testcards::pattern_bytes(512u << 10, 3);
    EXPECT_EQ(out.write(bytes.data(), uint32_t(bytes.size())), 256u << 10);
    EXPECT_EQ(out.last_cluster, out.first_cluster + 1);
    EXPECT_EQ(card->peek(uint64_t(volume().cluster_to_sector(out.first_cluster)) * 512, 256u << 10),
              std::vector<uint8_t>(bytes.begin(), bytes.begin() + (256u << 10)));
    out.close();
    disk_close();
    drive_layer::drive_table().clear();
}
