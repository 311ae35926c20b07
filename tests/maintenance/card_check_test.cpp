// The card check on hand-damaged volumes: each problem is reported, repair mends what
// it can without touching file bytes, and a second check comes back clean.
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_surgery.h"
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
    // Entries, hash entries and map codes laid directly on the card.
    void put_file(uint32_t slot, const std::string& name, uint32_t first, uint32_t last, uint32_t size,
                  bool mark = true, uint32_t hash = 0xFFFFFFFFu) {
        testcards::CardSurgery(*card).entry(slot, name, first, last, size, mark, hash);
    }
    void set_hash(uint32_t slot, uint32_t h) { testcards::CardSurgery(*card).hash(slot, h); }
    void set_map(uint32_t c, uint8_t code) { testcards::CardSurgery(*card).map(c, code); }
    uint8_t map_at(uint32_t c) { return testcards::CardSurgery(*card).map_at(c); }

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

TEST_F(CardCheckTest, LeftoversOfAnInterruptedCreateOrDeleteAreHarmless) {
    put_file(0, "kept", 0, 0, 10);
    put_file(1, "half-made", 1, 1, 0, true, 0);  // entry written, hash not: invisible
    set_hash(2, 0x1234);                           // entry cleared, hash not yet
    const CardCheckReport r = check_card(1, false);
    EXPECT_EQ(r.serious, 0u);
    EXPECT_EQ(r.leftover_slots, 2u);
    EXPECT_EQ(r.orphan_clusters, 1u);
    check_card(1, true);
    EXPECT_TRUE(check_card(1, false).clean());
}

TEST_F(CardCheckTest, NameWithoutTerminatorIsCutSoTheFileCanBeReachedAgain) {
    const std::string full(260, 'n');
    put_file(4, full, 30, 30, 3);
    put_file(5, std::string(259, 'm'), 31, 31, 3);
    put_file(6, std::string(259, 'm') + "m", 32, 32, 3);  // cut, it would take slot 5's name
    CardCheckReport r = check_card(1, false);
    EXPECT_EQ(r.serious, 2u);
    r = check_card(1, true);
    ASSERT_EQ(r.repairs.size(), 2u);
    EXPECT_TRUE(check_card(1, false).clean());
    ASSERT_TRUE(volume().mount(1));
    EXPECT_EQ(find_file_sector(std::string(259, 'n')), sb.dir_start + 4);
    EXPECT_EQ(find_file_sector(std::string(259, 'm')), sb.dir_start + 5);
    const uint32_t renamed = sb.dir_start + 6;
    AF_FIND_DATA_T rec;
    ASSERT_EQ(find_next(6, rec), 6);
    const std::string name(reinterpret_cast<const char*>(rec.name));
    EXPECT_LE(name.size(), 259u);
    EXPECT_NE(name.find(" (2)"), std::string::npos);
    EXPECT_EQ(find_file_sector(name), renamed);
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
    CardCheckReport r = check_card(1, true);
    EXPECT_GE(r.serious, 3u);
    const auto before = card->peek(uint64_t(sb.dir_start) * 512, 4 * 512);
    CardCheckReport again = check_card(1, true);
    EXPECT_EQ(card->peek(uint64_t(sb.dir_start) * 512, 4 * 512), before);
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
