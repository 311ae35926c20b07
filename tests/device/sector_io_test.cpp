// Sector access: the 2 GiB reach, counts of 0 meaning 256, and the read window.
#include "device/sector_io.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using drive_layer::FakeDrive;

namespace {

class SectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive = testcards::attach_fake(1, 64ull << 20);
        ASSERT_TRUE(disk_open(1));
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    std::shared_ptr<FakeDrive> drive;
};

TEST_F(SectorTest, CountZeroMovesTwoHundredFiftySixSectors) {
    auto bytes = testcards::pattern_bytes(131072, 1);
    drive->reset_counters();
    ASSERT_TRUE(disk_write_sectors(100, 0, bytes.data()));
    EXPECT_EQ(drive->counters().bytes_written, 131072u);
    std::vector<uint8_t> back(131072);
    ASSERT_TRUE(disk_read_sectors(100, 0, back.data()));
    EXPECT_EQ(back, bytes);
}

TEST_F(SectorTest, WindowServesSingleSectorsAndReloadsAtTheMissedSector) {
    uint8_t s[512];
    const uint32_t S = 1000;
    ASSERT_TRUE(disk_read_sector(S, s));
    EXPECT_EQ(disk_window_start(), S);
    drive->reset_counters();
    ASSERT_TRUE(disk_read_sector(S + 255, s));
    EXPECT_EQ(drive->counters().reads, 0u);
    ASSERT_TRUE(disk_read_sector(S + 256, s));
    EXPECT_EQ(disk_window_start(), S + 256);
    ASSERT_TRUE(disk_read_sector(S + 255, s));
    EXPECT_EQ(disk_window_start(), S + 255);
    EXPECT_EQ(drive->counters().reads, 2u);
    EXPECT_EQ(drive->counters().bytes_read, 2u * 131072);
}

TEST_F(SectorTest, WritesThatTouchTheWindowShowInItWithoutARead) {
    uint8_t s[512];
    const uint32_t S = 2000;
    ASSERT_TRUE(disk_read_sector(S, s));
    struct Case { uint32_t sector; uint8_t count; bool touches; };
    const Case cases[] = {
        {S, 0, true},           // 256 sectors from the window start
        {S - 1, 2, true},       // covers the first sector
        {S + 255, 1, true},     // the last sector
        {S + 10, 3, true},      // inside
        {S - 3, 3, false},      // ends right before the window
        {S + 256, 4, false},    // starts right after it
    };
    uint32_t seed = 20;
    for (const Case& c : cases) {
        const uint32_t n = c.count ? c.count : 256;
        const auto bytes = testcards::pattern_bytes(512 * n, ++seed);
        drive->reset_counters();
        ASSERT_TRUE(disk_write_sectors(c.sector, c.count, bytes.data()));
        EXPECT_EQ(drive->counters().reads, 0u) << "write at " << c.sector;
        EXPECT_EQ(disk_window_start(), S);
        // Every sector of the window equals the drive's, written or not.
        for (uint32_t k = 0; k < 256; ++k) {
            ASSERT_TRUE(disk_read_sector(S + k, s));
            ASSERT_EQ(std::vector<uint8_t>(s, s + 512), drive->peek(uint64_t(S + k) * 512, 512))
                << "write at " << c.sector << ", window sector " << k;
        }
        EXPECT_EQ(drive->counters().reads, 0u);
    }
}

TEST_F(SectorTest, WriteWithEmptyWindowNeverReads) {
    auto bytes = testcards::pattern_bytes(512, 3);
    drive->reset_counters();
    ASSERT_TRUE(disk_write_sectors(5, 1, bytes.data()));
    EXPECT_EQ(drive->counters().reads, 0u);
}

TEST_F(SectorTest, ReachEndsAtTwoGiB) {
    auto big = testcards::attach_fake(2, 0x80000000ull);
    ASSERT_TRUE(disk_open(2));
    auto bytes = testcards::pattern_bytes(512, 9);
    uint8_t s[512];
    EXPECT_TRUE(disk_write_sectors(0x3FFFFF, 1, bytes.data()));
    EXPECT_TRUE(disk_read_sector(0x3FFFFF, s));
    EXPECT_EQ(0, memcmp(s, bytes.data(), 512));
    EXPECT_FALSE(disk_write_sectors(0x400000, 1, bytes.data()));
    EXPECT_FALSE(disk_read_sectors(0x400000, 1, s));
    EXPECT_FALSE(disk_read_sector(0x400000, s));
}

TEST_F(SectorTest, WindowNearTheEndHoldsOnlyExistingSectors) {
    // 64 MiB drive: the last sector is 131071; a miss there still delivers it.
    auto tail = testcards::pattern_bytes(512, 11);
    drive->poke(131071ull * 512, tail.data(), 512);
    uint8_t s[512];
    ASSERT_TRUE(disk_read_sector(131071, s));
    EXPECT_EQ(0, memcmp(s, tail.data(), 512));
    ASSERT_TRUE(disk_read_sector(131000, s));
    EXPECT_FALSE(disk_read_sector(131072, s));
}

TEST_F(SectorTest, DriveSizeLimitsAndFailedOpen) {
    testcards::attach_fake(3, 0x80000000ull);
    EXPECT_TRUE(disk_open(3));
    EXPECT_EQ(disk_get_size(), 0x80000000u);
    testcards::attach_fake(4, 0x80000000ull + 512);
    EXPECT_FALSE(disk_open(4));
    // After a failed open nothing works, although a drive was open before.
    uint8_t s[512] = {};
    EXPECT_FALSE(disk_read_sector(0, s));
    EXPECT_FALSE(disk_write_sectors(0, 1, s));
    // Sizes are taken modulo 4 GiB: 4.5 GiB opens as 512 MiB, 6.25 GiB is refused.
    testcards::attach_fake(5, 0x120000000ull);
    EXPECT_TRUE(disk_open(5));
    EXPECT_EQ(disk_get_size(), 0x20000000u);
    testcards::attach_fake(6, 0x190000000ull);
    EXPECT_FALSE(disk_open(6));
}

TEST_F(SectorTest, FailuresAreReportedAndTheWindowRecovers) {
    uint8_t s[512];
    drive->fail_read_at(1);
    EXPECT_FALSE(disk_read_sector(50, s));
    EXPECT_EQ(disk_window_start(), 0xFFFFFFFFu);
    EXPECT_TRUE(disk_read_sector(50, s));  // the next read tries again
    drive->fail_write_at(1);
    EXPECT_FALSE(disk_write_sectors(10, 1, s));
    EXPECT_FALSE(disk_read_sectors(1, 1, nullptr));
}

TEST_F(SectorTest, ShortTransfersStillMoveEverySector) {
    auto bytes = testcards::pattern_bytes(131072, 5);
    drive->set_short_transfers(4096);
    ASSERT_TRUE(disk_write_sectors(300, 0, bytes.data()));
    std::vector<uint8_t> back(131072);
    ASSERT_TRUE(disk_read_sectors(300, 0, back.data()));
    EXPECT_EQ(back, bytes);
}

}  // namespace

namespace {

TEST_F(SectorTest, FlushReachesTheMediumOnlyAfterAWrite) {
    auto bytes = testcards::pattern_bytes(512, 4);
    drive->reset_counters();
    EXPECT_TRUE(disk_flush());
    EXPECT_EQ(drive->counters().flushes, 0u);
    ASSERT_TRUE(disk_write_sectors(9, 1, bytes.data()));
    EXPECT_TRUE(disk_flush());
    EXPECT_TRUE(disk_flush());
    EXPECT_EQ(drive->counters().flushes, 1u);
    disk_close();
    EXPECT_FALSE(disk_flush());
}

TEST_F(SectorTest, DeferredFlushesBecomeOneAtTheEnd) {
    auto bytes = testcards::pattern_bytes(512, 5);
    drive->reset_counters();
    {
        DeferredFlushes deferred;
        for (uint32_t s = 9; s < 12; ++s) {
            ASSERT_TRUE(disk_write_sectors(s, 1, bytes.data()));
            EXPECT_TRUE(disk_flush());
        }
        EXPECT_EQ(drive->counters().flushes, 0u);
        EXPECT_TRUE(deferred.end());
        EXPECT_EQ(drive->counters().flushes, 1u);
    }
    // Flushes count again afterwards, and opening a drive ends a deferral left behind.
    ASSERT_TRUE(disk_write_sectors(12, 1, bytes.data()));
    EXPECT_TRUE(disk_flush());
    EXPECT_EQ(drive->counters().flushes, 2u);
    DeferredFlushes left_open;
    ASSERT_TRUE(disk_open(1));
    ASSERT_TRUE(disk_write_sectors(13, 1, bytes.data()));
    EXPECT_TRUE(disk_flush());
    EXPECT_EQ(drive->counters().flushes, 3u);
}

// A deferred flush never passes for one that happened: the scope's end reports the
// real flush, and a write that failed meanwhile fails every flush owed after it.
TEST_F(SectorTest, ADeferredFlushReportsWhatReallyHappened) {
    auto bytes = testcards::pattern_bytes(512, 6);
    {
        DeferredFlushes deferred;
        ASSERT_TRUE(disk_write_sectors(9, 1, bytes.data()));
        drive->fail_flush_at(1);
        EXPECT_TRUE(disk_flush());  // owed to the end, which is where it fails
        EXPECT_FALSE(deferred.end());
    }
    {
        DeferredFlushes deferred;
        drive->fail_write_at(1);
        EXPECT_FALSE(disk_write_sectors(10, 1, bytes.data()));
        EXPECT_FALSE(disk_flush());
        ASSERT_TRUE(disk_write_sectors(11, 1, bytes.data()));
        EXPECT_FALSE(deferred.end());
    }
    EXPECT_TRUE(disk_flush());
}

// A write that fails part-way may have changed some of its sectors: the read window
// must not go on serving what it held before.
TEST_F(SectorTest, AFailedWriteLeavesNoStaleWindow) {
    auto old_bytes = testcards::pattern_bytes(4 * 512, 7), new_bytes = testcards::pattern_bytes(4 * 512, 8);
    ASSERT_TRUE(disk_write_sectors(20, 4, old_bytes.data()));
    uint8_t sector[512];
    ASSERT_TRUE(disk_read_sector(21, sector));  // the window now holds sectors 20 on
    drive->set_short_transfers(1024);           // two of the four sectors land...
    drive->fail_write_at(2);                    // ...then the drive gives up
    EXPECT_FALSE(disk_write_sectors(20, 4, new_bytes.data()));
    drive->set_short_transfers(0);
    ASSERT_TRUE(disk_read_sector(21, sector));
    EXPECT_TRUE(std::equal(sector, sector + 512, new_bytes.begin() + 512));
    ASSERT_TRUE(disk_read_sector(22, sector));
    EXPECT_TRUE(std::equal(sector, sector + 512, old_bytes.begin() + 1024));
}

// Sectors read ahead are served from memory only inside the range read, and never
// after anything could have changed them: a write anywhere, or the drive reopened.
TEST_F(SectorTest, ReadAheadServesItsRangeUntilAWriteOrReopen) {
    const auto bytes = testcards::pattern_bytes(64 * 512, 9);
    ASSERT_TRUE(disk_write_run(3000, 64, bytes.data()));
    drive->reset_counters();
    ASSERT_TRUE(disk_read_ahead(3000, 64));
    EXPECT_EQ(drive->counters().reads, 1u);
    std::vector<uint8_t> part(16 * 512);
    ASSERT_TRUE(disk_read_run(3040, 16, part.data()));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), bytes.begin() + 40 * 512));
    EXPECT_EQ(drive->counters().reads, 1u) << "served from memory";
    ASSERT_TRUE(disk_read_run(3056, 16, part.data()));  // runs past the end: from the drive
    EXPECT_EQ(drive->counters().reads, 2u);
    // The edges exactly: the held range's first and last sectors come from memory, the
    // sectors just outside it from the drive.
    struct Edge { uint32_t sector, count; bool held; };
    for (const Edge e : {Edge{3000, 64, true}, Edge{3000, 1, true}, Edge{3063, 1, true}, Edge{3062, 2, true},
                         Edge{3063, 2, false}, Edge{3064, 1, false}, Edge{2999, 1, false}, Edge{2999, 2, false},
                         Edge{3001, 64, false}}) {
        SCOPED_TRACE(testing::Message() << e.count << " at " << e.sector);
        EXPECT_EQ(disk_holds_read_ahead(e.sector, e.count), e.held);
        std::vector<uint8_t> got(size_t(e.count) * 512);
        const uint64_t reads = drive->counters().reads;
        ASSERT_TRUE(disk_read_run(e.sector, e.count, got.data()));
        EXPECT_EQ(drive->counters().reads, reads + (e.held ? 0 : 1));
        EXPECT_EQ(got, drive->peek(uint64_t(e.sector) * 512, got.size()));
    }
    EXPECT_FALSE(disk_read_ahead(0, READ_AHEAD_SECTORS + 1));
    EXPECT_FALSE(disk_holds_read_ahead(3000, 1)) << "a refused read-ahead holds nothing";

    // Any write lets the range go, inside it or elsewhere, whichever call makes it: the
    // next read reaches the drive.
    const auto other = testcards::pattern_bytes(512, 10);
    const std::function<bool()> writes[] = {
        [&] { return disk_write_run(3010, 1, other.data()); },
        [&] { return disk_write_run(100, 1, other.data()); },
        [&] { return disk_write_sectors(3063, 1, other.data()); },
        [&] { return disk_write_sectors(5000, 1, other.data()); },
    };
    for (size_t k = 0; k < std::size(writes); ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(disk_read_ahead(3000, 64));
        ASSERT_TRUE(writes[k]());
        EXPECT_FALSE(disk_holds_read_ahead(3000, 1));
    }
    ASSERT_TRUE(disk_read_run(3010, 1, part.data()));
    EXPECT_TRUE(std::equal(other.begin(), other.end(), part.begin()));

    ASSERT_TRUE(disk_read_ahead(3000, 64));
    ASSERT_TRUE(disk_open(1));
    EXPECT_FALSE(disk_holds_read_ahead(3000, 1));

    // A failed read-ahead holds nothing, and the card's own error shows at the read.
    drive->fail_reads_from(1);
    EXPECT_FALSE(disk_read_ahead(3000, 64));
    EXPECT_FALSE(disk_read_run(3000, 1, part.data()));
}

}  // namespace
