// Compacting cards on the fake drive: files keep their bytes, each region ends up with
// one free run at its end, a cancel stops between files, a damaged card is refused,
// and a write that fails at any point leaves every file readable.
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "maintenance/card_care_commands.h"
#include "maintenance/compact_card.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/card_files.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

using Files = std::map<std::string, std::vector<uint8_t>>;

class CompactCard : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(DRIVE, 16u << 20);
        // Eight files, then every other one deleted: four holes below four files.
        for (int i = 0; i < 8; ++i) {
            const std::string name = "file" + std::to_string(i) + ".bin";
            const auto bytes = pattern_bytes(size_t(1 + i % 3) * K + 777 * size_t(i), uint32_t(i + 1));
            ASSERT_TRUE(testcards::put_card_file(DRIVE, name, bytes));
            if (i % 2 == 1) want[name] = bytes;
        }
        for (int i = 0; i < 8; i += 2) ASSERT_TRUE(volume().mount(DRIVE) && delete_file("file" + std::to_string(i) + ".bin"));
        ASSERT_TRUE(disk_flush());
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }

    std::string files_intact() {
        const auto now = testcards::card_contents(DRIVE);
        std::string why;
        for (const auto& [name, bytes] : want) {
            const auto it = now.find(name);
            if (it == now.end() || it->second.bytes != bytes) why += name + " differs; ";
        }
        if (now.size() != want.size()) why += "other files appeared; ";
        return why;
    }

    // Free runs of the data area (the card has no fences).
    unsigned free_runs() {
        EXPECT_TRUE(volume().mount(DRIVE));
        unsigned runs = 0;
        bool in_run = false;
        for (uint32_t c = 0; c < allocatable_clusters(); ++c) {
            const bool free = volume().cluster_map[c] == MAP_FREE;
            runs += free && !in_run;
            in_run = free;
        }
        return runs;
    }

    std::shared_ptr<FakeDrive> card;
    Files want;
};

TEST_F(CompactCard, MovesFilesDownAndLeavesOneFreeRunWithEveryByteIntact) {
    ASSERT_GT(free_runs(), 1u);
    CompactPlan plan;
    ASSERT_TRUE(plan_card_compaction(DRIVE, plan));
    EXPECT_FALSE(plan.moves.empty());
    const CompactReport report = compact_card(DRIVE, nullptr);
    EXPECT_EQ(report.outcome, CompactOutcome::Done);
    EXPECT_EQ(report.moves_done, plan.moves.size());
    EXPECT_EQ(report.bytes_done, plan.bytes_moved);
    EXPECT_EQ(files_intact(), "");
    EXPECT_EQ(free_runs(), 1u);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    CompactPlan again;
    ASSERT_TRUE(plan_card_compaction(DRIVE, again));
    EXPECT_TRUE(again.moves.empty());
}

TEST_F(CompactCard, PlanningChangesNothing) {
    const auto before = card->peek(0, 12u << 20);
    card->reset_counters();
    CompactPlan plan;
    ASSERT_TRUE(plan_card_compaction(DRIVE, plan));
    EXPECT_EQ(card->counters().writes, 0u);
    EXPECT_EQ(card->peek(0, 12u << 20), before);
}

TEST_F(CompactCard, CancelStopsAfterTheFileBeingMoved) {
    std::atomic<bool> cancel{false};
    const CompactReport report = compact_card(DRIVE, &cancel, [&](uint64_t, uint64_t, const std::string&) { cancel = true; });
    EXPECT_EQ(report.outcome, CompactOutcome::Cancelled);
    EXPECT_EQ(report.moves_done, 1u);
    EXPECT_EQ(files_intact(), "");
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(CompactCard, ADamagedCardIsRefusedUntouched) {
    // Two entries naming the same clusters: moving either would be a guess.
    ASSERT_TRUE(volume().mount(DRIVE));
    AF_FIND_DATA_T found;
    const int slot = find_first(found);
    ASSERT_GE(slot, 0);
    const int other = find_next(slot + 1, found);
    ASSERT_GE(other, 0);
    DirSector entry{};
    ASSERT_TRUE(disk_read_sector(volume().dir_start() + uint32_t(other), entry.data()));
    put_le32(entry.data() + DE_FIRST_CLUSTER, 0);
    ASSERT_TRUE(disk_write_sectors(volume().dir_start() + uint32_t(other), 1, entry.data()));
    ASSERT_TRUE(disk_flush());
    const auto before = card->peek(0, 12u << 20);
    EXPECT_EQ(compact_card(DRIVE, nullptr).outcome, CompactOutcome::Damaged);
    EXPECT_EQ(card->peek(0, 12u << 20), before);
}

TEST_F(CompactCard, OrphanClustersAreFreedAndFilledIn) {
    ASSERT_TRUE(volume().mount(DRIVE));
    const uint32_t hole = find_free_run(0);
    volume().cluster_map[hole] = MAP_NEXT;  // what a cut copy leaves
    ASSERT_TRUE(volume().flush() && disk_flush());
    EXPECT_EQ(compact_card(DRIVE, nullptr).outcome, CompactOutcome::Done);
    EXPECT_EQ(files_intact(), "");
    EXPECT_EQ(free_runs(), 1u);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(CompactCard, AFailedWriteAnywhereLeavesEveryFileReadable) {
    auto clean = card->clone();
    drive_layer::drive_table().attach(DRIVE, clean);
    compact_card(DRIVE, nullptr);
    const uint64_t writes = clean->counters().writes;
    ASSERT_GT(writes, 0u);
    unsigned tried = 0;
    for (uint64_t k = 1; k <= writes; ++k) {
        disk_close();
        auto faulty = card->clone();
        drive_layer::drive_table().attach(DRIVE, faulty);
        faulty->fail_write_at(k);
        const CompactReport report = compact_card(DRIVE, nullptr);
        ++tried;
        EXPECT_EQ(report.outcome, CompactOutcome::Failed) << "write " << k;
        faulty->fail_write_at(0);
        EXPECT_EQ(files_intact(), "") << "write " << k;
        EXPECT_EQ(check_card(DRIVE, false).serious, 0u) << "write " << k;
        // Run again, it completes.
        EXPECT_EQ(compact_card(DRIVE, nullptr).outcome, CompactOutcome::Done) << "write " << k;
        EXPECT_EQ(files_intact(), "") << "write " << k;
        EXPECT_EQ(free_runs(), 1u) << "write " << k;
    }
    std::printf("[write faults] compaction: %u failing writes tried\n", tried);
}

TEST_F(CompactCard, AFileThatNeedsCompactionIsToldFromOneThatFitsOrNeverWill) {
    ASSERT_TRUE(volume().mount(DRIVE));
    uint32_t free_clusters = 0, largest = 0;
    for (uint32_t c = 0, run = 0; c < allocatable_clusters(); ++c) {
        free_clusters += volume().cluster_map[c] == MAP_FREE;
        run = volume().cluster_map[c] == MAP_FREE ? run + 1 : 0;
        largest = std::max(largest, run);
    }
    const uint64_t too_long = uint64_t(largest + 1) * K;
    ASSERT_LE(too_long, uint64_t(free_clusters) * K);  // the holes make up the difference
    EXPECT_EQ(first_needing_compaction({{"a.bin", K}, {"big.bin", too_long}}), 1);
    EXPECT_EQ(first_needing_compaction({{"a.bin", K}}), -1);                                  // fits as it is
    EXPECT_EQ(first_needing_compaction({{"huge.bin", uint64_t(free_clusters + 1) * K}}), -1);  // never fits
    // Files before it take room first: the end run goes to the first, the second then
    // finds only holes (of at most 4 clusters).
    EXPECT_EQ(first_needing_compaction({{"x.bin", uint64_t(largest) * K}, {"y.bin", 5 * K}}), 1);
    // A file it replaces gives its run (3 clusters) back: all the free space would hold it.
    EXPECT_EQ(first_needing_compaction({{"file1.bin", uint64_t(free_clusters + 3) * K}}), 0);
}

}  // namespace
