// A batch of copies keeps the volume mounted from one copy to the next on the same
// drive, checking only the superblock sector before each file; a card that changed
// in between (its superblock differs) is mounted afresh, so no copy works on tables
// that are no longer the card's.
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <span>

using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;

class BatchMount : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        card = testcards::blank_card(DRIVE, CARD_BYTES);
        for (int i = 0; i < 3; ++i) {
            const std::string name = "f" + std::to_string(i) + ".bin";
            bytes.push_back(pattern_bytes(200000 + 1000 * i, 40 + i));
            testcards::write_host_file(host.file(name), bytes.back());
            paths.push_back(host.file(name));
        }
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    std::string next(size_t i) const { return i + 1 < paths.size() ? paths[i + 1] : std::string(); }

    std::shared_ptr<drive_layer::FakeDrive> card;
    testcards::TempDir host;
    std::vector<std::string> paths;
    std::vector<std::vector<uint8_t>> bytes;
};

}  // namespace

TEST_F(BatchMount, LaterCopiesReadOnlyTheSuperblockSectorToMount) {
    CopyBatch batch;
    ASSERT_EQ(batch.copy_to_card(paths[0], DRIVE, paths[1]), CopyEnd::Complete);
    card->reset_counters();
    ASSERT_EQ(batch.copy_to_card(paths[1], DRIVE), CopyEnd::Complete);
    EXPECT_EQ(card->counters().opens, 0u) << "the drive stays open";
    EXPECT_EQ(card->counters().read_sizes.at(512), 1u) << "sector 0, past the window";
    EXPECT_TRUE(batch.end().empty());

    // A new batch mounts afresh.
    CopyBatch again;
    card->reset_counters();
    ASSERT_EQ(again.copy_to_card(paths[2], DRIVE), CopyEnd::Complete);
    EXPECT_GT(card->counters().opens, 0u);
    EXPECT_TRUE(again.end().empty());

    const auto files = testcards::card_contents(DRIVE);
    ASSERT_EQ(files.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(files.at("f" + std::to_string(i) + ".bin").bytes, bytes[i]);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(BatchMount, ACardChangedBetweenTwoCopiesIsMountedAfresh) {
    CopyBatch batch;
    ASSERT_EQ(batch.copy_to_card(paths[0], DRIVE, paths[1]), CopyEnd::Complete);
    // Another volume in the same reader: an empty one, whose superblock differs from
    // the one the batch wrote (its map checksum covers f0.bin's clusters).
    testcards::write_blank_volume(*card, CARD_BYTES);
    ASSERT_EQ(batch.copy_to_card(paths[1], DRIVE), CopyEnd::Complete);
    EXPECT_TRUE(batch.end().empty());
    // Had the old tables been used, f0.bin's hash entry and clusters would have gone
    // back onto the new card without its directory entry.
    const auto files = testcards::card_contents(DRIVE);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.at("f1.bin").bytes, bytes[1]);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(BatchMount, CopiesToTheHostKeepTheVolumeAndSeeAChangedCard) {
    {
        CopyBatch put;
        for (size_t i = 0; i < paths.size(); ++i) ASSERT_EQ(put.copy_to_card(paths[i], DRIVE, next(i)), CopyEnd::Complete);
        EXPECT_TRUE(put.end().empty());
    }
    CopyBatch get;
    ASSERT_EQ(get.copy_to_host(DRIVE, "f0.bin", host.file("back0"), std::vector<std::string>{"f1.bin"}), CopyEnd::Complete);
    card->reset_counters();
    ASSERT_EQ(get.copy_to_host(DRIVE, "f1.bin", host.file("back1"), std::vector<std::string>{"f2.bin"}), CopyEnd::Complete);
    EXPECT_EQ(card->counters().opens, 0u);
    // The card is emptied behind the batch: the next copy must not find f2.bin.
    testcards::write_blank_volume(*card, CARD_BYTES);
    EXPECT_EQ(get.copy_to_host(DRIVE, "f2.bin", host.file("back2")), CopyEnd::Refused);
    get.end();
    EXPECT_EQ(testcards::read_host_file(host.file("back0")), bytes[0]);
    EXPECT_EQ(testcards::read_host_file(host.file("back1")), bytes[1]);
}

TEST(MountKept, FallsBackToAWholeMountWhenItCannotTrustTheTables) {
    auto a = testcards::blank_card(1, 64u << 20);
    auto b = testcards::blank_card(2, 64u << 20);
    // Nothing mounted yet: a whole mount.
    ASSERT_TRUE(volume().mount_kept(1));
    EXPECT_EQ(volume().drive(), 1);
    // Another drive: a whole mount of that one.
    ASSERT_TRUE(volume().mount_kept(2));
    EXPECT_EQ(volume().drive(), 2);
    // A table write that failed: the card's copy is unknown, so the next mount reads it.
    volume().cluster_map[0] = 0xAC;
    b->fail_write_at(1);
    EXPECT_FALSE(volume().flush());
    b->reset_counters();
    ASSERT_TRUE(volume().mount_kept(2));
    EXPECT_GT(b->counters().opens, 0u);
    EXPECT_EQ(volume().cluster_map[0], 0x00);  // the card's map, not the memory's
    // A sector 0 that cannot be read: the whole mount fails, and says so.
    b->fail_reads_from(1);
    EXPECT_FALSE(volume().mount_kept(2));
    EXPECT_FALSE(volume().mounted);
    disk_close();
    drive_layer::drive_table().clear();
}

// Small card files that lie back to back come off the card in one read by the first
// copy among them; each later copy reads only the superblock sector, and when that
// shows another card the bytes read before are not used.
TEST_F(BatchMount, FilesBackToBackComeInOneReadAndEachCopyStillChecksTheCard) {
    const std::vector<std::string> names{"g0.bin", "g1.bin", "g2.bin"};
    const std::vector<std::vector<uint8_t>> sizes_in_clusters{pattern_bytes(131072, 50), pattern_bytes(262144, 51),
                                                              pattern_bytes(100000, 52)};
    {
        CopyBatch put;
        for (size_t i = 0; i < names.size(); ++i) {
            testcards::write_host_file(host.file(names[i]), sizes_in_clusters[i]);
            ASSERT_EQ(put.copy_to_card(host.file(names[i]), DRIVE), CopyEnd::Complete);
        }
        EXPECT_TRUE(put.end().empty());
    }
    const auto following = [&](size_t i) { return std::span<const std::string>(names).subspan(i + 1); };
    CopyBatch get;
    card->reset_counters();
    ASSERT_EQ(get.copy_to_host(DRIVE, names[0], host.file("back0"), following(0)), CopyEnd::Complete);
    EXPECT_EQ(card->counters().read_sizes.count(131072 + 262144 + 100352), 1u) << "the three files in one read";
    for (size_t i = 1; i < names.size(); ++i) {
        card->reset_counters();
        ASSERT_EQ(get.copy_to_host(DRIVE, names[i], host.file("back" + std::to_string(i)), following(i)),
                  CopyEnd::Complete);
        EXPECT_EQ(card->counters().reads, 1u) << names[i] << ": only the superblock sector";
    }
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(testcards::read_host_file(host.file("back" + std::to_string(i))), sizes_in_clusters[i]);

    // Read ahead once more; then g1.bin's bytes change on the card behind the batch
    // and so does its superblock sector (a byte past the header): the copy of g1.bin
    // mounts afresh and takes the card's new bytes, not the ones read before.
    ASSERT_EQ(get.copy_to_host(DRIVE, names[0], host.file("back0"), following(0)), CopyEnd::Complete);
    DirSector entry{};
    ASSERT_NE(find_file_entry(names[1], entry), NO_SECTOR);
    const uint64_t g1_at = uint64_t(volume().cluster_to_sector(get_le32(entry.data() + DE_FIRST_CLUSTER))) * 512;
    const auto changed = pattern_bytes(262144, 53);
    card->poke(g1_at, changed.data(), changed.size());
    const uint8_t other_card = 0xA5;
    card->poke(511, &other_card, 1);
    ASSERT_EQ(get.copy_to_host(DRIVE, names[1], host.file("again1"), following(1)), CopyEnd::Complete);
    EXPECT_EQ(testcards::read_host_file(host.file("again1")), changed);
    get.end();
}
