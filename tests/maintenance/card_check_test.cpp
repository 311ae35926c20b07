// The card check on hand-damaged volumes: each problem is reported, repair mends what
// it can without touching file bytes, and a second check comes back clean.
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstring>

using drive_layer::FakeDrive;

namespace {

constexpr uint32_t DISK = 64u << 20;

class CardCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(1, DISK);
        sb = Superblock::layout_for(DISK);
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    // Lays a file entry and its map marks directly on the card.
    void put_file(uint32_t slot, const std::string& name, uint32_t first, uint32_t last, uint32_t size,
                  bool mark = true, uint32_t hash = 0xFFFFFFFFu) {
        uint8_t e[512] = {};
        std::memcpy(e, name.data(), name.size());
        put_le16(e + DE_ATTRIBUTES, ATTR_ARCHIVE);
        put_le32(e + DE_FIRST_CLUSTER, first);
        put_le32(e + DE_LAST_CLUSTER, last);
        put_le32(e + DE_SIZE, size);
        card->poke(uint64_t(sb.dir_start + slot) * 512, e, 512);
        set_hash(slot, hash == 0xFFFFFFFFu ? name_hash(name) : hash);
        if (mark && first != NO_CLUSTER)
            for (uint32_t c = first; c <= last; ++c) set_map(c, c == first ? 0xAC : 0x02);
    }
    void set_hash(uint32_t slot, uint32_t h) {
        uint8_t b[4];
        put_le32(b, h);
        card->poke(uint64_t(sb.hash_start) * 512 + 4 * slot, b, 4);
    }
    // Marks a cluster and keeps the map CRC true, as a flush would: a CRC that does
    // not match is a problem of its own.
    void set_map(uint32_t c, uint8_t code) {
        card->poke(uint64_t(sb.map_start) * 512 + c, &code, 1);
        const auto map = card->peek(uint64_t(sb.map_start) * 512, sb.map_bytes);
        auto super = card->peek(0, 512);
        put_le16(super.data() + SB_MAP_CRC, crc16(0, map.data(), map.size()));
        put_le16(super.data() + SB_HEADER_CRC, crc16(0, super.data(), SB_HEADER_CRC_SPAN));
        card->poke(0, super.data(), 512);
    }
    uint8_t map_at(uint32_t c) { return card->peek(uint64_t(sb.map_start) * 512 + c, 1)[0]; }

    std::shared_ptr<FakeDrive> card;
    Superblock sb;
};

TEST_F(CardCheckTest, FreshVolumeIsClean) {
    put_file(0, "a.nds", 0, 2, 300000);
    put_file(1, "b.sav", 5, 5, 10);
    put_file(2, "empty", NO_CLUSTER, NO_CLUSTER, 0);
    CardCheckReport r = check_card(1, false);
    EXPECT_TRUE(r.clean()) << (r.problems.empty() ? "" : r.problems[0]);
}

TEST_F(CardCheckTest, NoVolumeIsReportedAndNothingWritten) {
    auto other = testcards::attach_fake(2, DISK);
    CardCheckReport r = check_card(2, true);
    EXPECT_FALSE(r.volume_found);
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(other->counters().writes, 0u);
}

TEST_F(CardCheckTest, OrphansAreFreedAndFilesKeepTheirRuns) {
    put_file(0, "keep.nds", 0, 3, 4 * 131072);
    set_map(4, 0x02);  // grown by a stream whose close never happened
    set_map(5, 0x02);
    set_map(9, 0xAC);  // claimed by an open whose entry never reached the card
    CardCheckReport r = check_card(1, false);
    EXPECT_EQ(r.orphan_clusters, 3u);
    EXPECT_EQ(r.serious, 0u);
    EXPECT_EQ(r.problems.size(), 2u);  // two runs of orphans
    r = check_card(1, true);
    EXPECT_EQ(r.repairs.size(), 2u);
    EXPECT_EQ(map_at(4), 0x00);
    EXPECT_EQ(map_at(9), 0x00);
    EXPECT_EQ(map_at(3), 0x02);
    EXPECT_TRUE(check_card(1, false).clean());
}

TEST_F(CardCheckTest, CommittedRunNotMarkedInTheMapIsMarkedSoNothingOverwritesIt) {
    put_file(0, "game.nds", 10, 12, 3 * 131072, /*mark=*/false);
    set_map(10, 0xAC);
    CardCheckReport r = check_card(1, true);
    EXPECT_GE(r.serious, 1u);
    EXPECT_EQ(map_at(11), 0x02);
    EXPECT_EQ(map_at(12), 0x02);
    EXPECT_TRUE(check_card(1, false).clean());
}

TEST_F(CardCheckTest, HashEntriesAreMadeToMatch) {
    put_file(0, "x.bin", 0, 0, 1, true, 0x1234);  // wrong hash
    set_hash(7, 0x5555);                            // hash on an empty slot
    put_file(8, "ghost", 20, 20, 1, true, 0);       // entry without hash: invisible
    CardCheckReport r = check_card(1, false);
    EXPECT_EQ(r.problems.size(), 4u);  // wrong hash, stray hash, ghost entry, ghost's orphan
    r = check_card(1, true);
    EXPECT_TRUE(check_card(1, false).clean());
    ASSERT_TRUE(volume().mount(1));
    EXPECT_TRUE(file_exists("x.bin"));
    EXPECT_FALSE(file_exists("ghost"));
    EXPECT_EQ(volume().cluster_map[20], 0x00);
}

TEST_F(CardCheckTest, SizesAreCutToTheRun) {
    put_file(0, "big", 0, 0, 131073);
    put_file(1, "none", NO_CLUSTER, NO_CLUSTER, 5);
    EXPECT_EQ(check_card(1, false).problems.size(), 2u);
    check_card(1, true);
    EXPECT_TRUE(check_card(1, false).clean());
    auto e = card->peek(uint64_t(sb.dir_start) * 512, 512);
    EXPECT_EQ(get_le32(e.data() + DE_SIZE), 131072u);
}

TEST_F(CardCheckTest, DuplicateNamesKeepTheLowerSlotAndRenameTheOther) {
    put_file(3, "dup.nds", 0, 0, 10);
    put_file(9, "dup.nds", 1, 1, 20);
    CardCheckReport r = check_card(1, true);
    ASSERT_EQ(r.repairs.size(), 1u);
    EXPECT_NE(r.repairs[0].find("dup (2).nds"), std::string::npos);
    EXPECT_TRUE(check_card(1, false).clean());
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(find_file_sector("dup.nds"), sb.dir_start + 3);
    EXPECT_EQ(find_file_sector("dup (2).nds"), sb.dir_start + 9);
}

TEST_F(CardCheckTest, DamageThatWouldNeedAChoiceIsReportedNotMended) {
    put_file(0, "a", 0, 4, 10);
    put_file(1, "b", 3, 6, 10, false);              // overlaps a
    put_file(2, "c", 100000, 100001, 10, false);    // outside the data area
    put_file(3, "d", 9, 8, 10, false);              // last before first
    uint8_t unterminated[260];
    std::memset(unterminated, 'n', sizeof unterminated);
    put_file(4, "z", 30, 30, 1);
    card->poke(uint64_t(sb.dir_start + 4) * 512, unterminated, sizeof unterminated);
    CardCheckReport r = check_card(1, true);
    EXPECT_GE(r.serious, 4u);
    const auto before = card->peek(uint64_t(sb.dir_start) * 512, 5 * 512);
    CardCheckReport again = check_card(1, true);
    EXPECT_EQ(card->peek(uint64_t(sb.dir_start) * 512, 5 * 512), before);
    EXPECT_FALSE(again.clean());
}

TEST_F(CardCheckTest, FencesFollowThePartitionStarts) {
    auto c = testcards::attach_fake(3, 1u << 30);
    testcards::write_blank_volume(*c, 1u << 30, {2011, 4059}, {0x10000000, 0x20000000, 0x30000000});
    CardCheckReport r = check_card(3, false);
    ASSERT_EQ(r.problems.size(), 1u);  // 6107 should be a fence
    EXPECT_NE(r.problems[0].find("6107"), std::string::npos);
    check_card(3, true);
    EXPECT_TRUE(check_card(3, false).clean());
}

TEST_F(CardCheckTest, WrongMapCrcIsMendedByTheFlush) {
    uint8_t s[512];
    card->peek(0, s, 512);
    put_le16(s + SB_MAP_CRC, 0xBEEF);
    put_le16(s + SB_HEADER_CRC, crc16(0, s, SB_HEADER_CRC_SPAN));
    card->poke(0, s, 512);
    CardCheckReport r = check_card(1, false);
    EXPECT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.serious, 0u);
    check_card(1, true);
    EXPECT_TRUE(check_card(1, false).clean());
}

}  // namespace
