// Backup and restore of whole cards on fake drives and image files: a backup is a
// sparse card image with the card's files, a restore brings them back, and every way
// a restore can stop leaves a card that does not mount.
#include "maintenance/card_backup.h"

#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/test_cards.h"

#include "platform/host_file.h"

#include <gtest/gtest.h>

#include <algorithm>

using drive_layer::FakeDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint8_t OTHER = 2;
constexpr uint32_t CARD_BYTES = 64u << 20;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

using Contents = std::map<std::string, std::vector<uint8_t>>;

Contents files_on(uint8_t drive) {
    Contents out;
    for (const auto& [name, file] : testcards::card_contents(drive)) out[name] = file.bytes;
    return out;
}

class CardBackup : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(DRIVE, CARD_BYTES);
        ASSERT_TRUE(volume().mount(DRIVE));
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(testcards::put_card_file("game" + std::to_string(i) + ".nds", pattern_bytes(size_t(i + 1) * K + 99, uint32_t(i + 1))));
        ASSERT_TRUE(delete_file("game2.nds") && disk_flush());
        want = files_on(DRIVE);
        image = dir.file("card.img");
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }

    std::shared_ptr<FakeDrive> card;
    Contents want;
    testcards::TempDir dir;
    std::string image;
};

TEST_F(CardBackup, ABackupIsASparseCardImageWithTheCardsFiles) {
    const CardImageReport r = backup_card(DRIVE, image, nullptr);
    ASSERT_EQ(r.outcome, CardImageOutcome::Done) << r.why;
    host::FileStatus st;
    ASSERT_TRUE(host::status_of(image, &st));
    EXPECT_EQ(st.size, CARD_BYTES);
    // Used: the area before the data (about 4.5 MiB) and 2+3+5+6 clusters of files.
    const uint64_t used = uint64_t(volume().data_start()) * 512 + 16ull * K;
    // Each used area is read widened to whole 4 KiB blocks, for direct transfers.
    EXPECT_GE(r.bytes_read, used);
    EXPECT_LE(r.bytes_read, used + 5 * 8192);
    EXPECT_LE(st.allocated, used + (1u << 20));
    EXPECT_EQ(host::kind_of(image + ".part"), host::Kind::Missing);
    ASSERT_TRUE(drive_layer::drive_table().attach_path(OTHER, image));
    EXPECT_EQ(files_on(OTHER), want);
    EXPECT_TRUE(check_card(OTHER, false).clean());
}

TEST_F(CardBackup, ABackupWhoseLastPieceReadsBackChangedLeavesNothing) {
    // The block with the superblock is written last: the progress call that follows
    // its write comes before its read-back, and changes a byte of it on the host.
    const std::string part = image + ".part";
    bool changed = false;
    const CardImageReport r = backup_card(DRIVE, image, nullptr, [&](uint64_t, uint64_t) {
        uint8_t first[SECTOR_BYTES] = {};
        const host::Descriptor fd = host::open_file(part, host::OPEN_READ_WRITE);
        ASSERT_NE(fd, host::NO_DESCRIPTOR);
        if (!changed && host::read_all_at(fd, first, sizeof first, 0) &&
            std::any_of(first, first + sizeof first, [](uint8_t b) { return b != 0; })) {
            first[200] ^= 0x01;
            changed = host::write_all_at(fd, first, sizeof first, 0);
        }
        host::close_file(fd);
    });
    ASSERT_TRUE(changed);
    EXPECT_EQ(r.outcome, CardImageOutcome::VerifyFailed) << r.why;
    EXPECT_EQ(r.why, "the backup does not read back as written");
    EXPECT_EQ(host::kind_of(image), host::Kind::Missing);
    EXPECT_EQ(host::kind_of(part), host::Kind::Missing);
}

TEST_F(CardBackup, ARestoreBringsTheFilesBackOntoAnotherCard) {
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    auto other = testcards::blank_card(OTHER, CARD_BYTES + (8u << 20));
    ASSERT_TRUE(volume().mount(OTHER) && testcards::put_card_file("stranger.bin", pattern_bytes(3 * K, 9)));
    uint64_t last_done = 0, total = 0;
    const CardImageReport r = restore_card(OTHER, image, nullptr, [&](uint64_t done, uint64_t all) {
        EXPECT_GE(done, last_done);
        last_done = done;
        total = all;
    });
    ASSERT_EQ(r.outcome, CardImageOutcome::Done) << r.why;
    EXPECT_EQ(last_done, total);
    EXPECT_EQ(files_on(OTHER), want);
    EXPECT_TRUE(check_card(OTHER, false).clean());
}

TEST_F(CardBackup, RefusalsChangeNothing) {
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    auto small = testcards::blank_card(OTHER, CARD_BYTES - (8u << 20));
    const auto before = small->peek(0, 8u << 20);
    EXPECT_EQ(check_restore(OTHER, image).outcome, CardImageOutcome::CardTooSmall);
    EXPECT_EQ(restore_card(OTHER, image, nullptr).outcome, CardImageOutcome::CardTooSmall);
    const std::string junk = dir.file("junk.img");
    testcards::write_host_file(junk, pattern_bytes(1u << 20, 3));
    EXPECT_EQ(restore_card(OTHER, junk, nullptr).outcome, CardImageOutcome::NotABackup);
    EXPECT_EQ(restore_card(OTHER, dir.file("missing.img"), nullptr).outcome, CardImageOutcome::NotABackup);
    EXPECT_EQ(small->counters().writes, 0u);
    EXPECT_EQ(small->peek(0, 8u << 20), before);
}

TEST_F(CardBackup, ABackupNeverOverwritesTheCardItself) {
    // The card is an image file attached as the drive.
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    ASSERT_TRUE(drive_layer::drive_table().attach_path(OTHER, image));
    const auto before = testcards::read_host_file(image);
    EXPECT_EQ(backup_card(OTHER, image, nullptr).outcome, CardImageOutcome::BadTarget);
    EXPECT_EQ(testcards::read_host_file(image), before);
    EXPECT_EQ(backup_card(DRIVE, dir.path(), nullptr).outcome, CardImageOutcome::BadTarget);
}

TEST_F(CardBackup, ACancelledBackupLeavesTheOlderOneAlone) {
    testcards::write_host_file(image, {1, 2, 3});
    std::atomic<bool> cancel{false};
    const CardImageReport r = backup_card(DRIVE, image, &cancel, [&](uint64_t, uint64_t) { cancel = true; });
    EXPECT_EQ(r.outcome, CardImageOutcome::Cancelled);
    EXPECT_EQ(testcards::read_host_file(image), std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(host::kind_of(image + ".part"), host::Kind::Missing);
}

TEST_F(CardBackup, ACancelledRestoreLeavesACardThatDoesNotMount) {
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    auto other = testcards::blank_card(OTHER, CARD_BYTES);
    std::atomic<bool> cancel{false};
    const CardImageReport r = restore_card(OTHER, image, &cancel, [&](uint64_t, uint64_t) { cancel = true; });
    EXPECT_EQ(r.outcome, CardImageOutcome::Cancelled);
    EXPECT_FALSE(volume().mount(OTHER));
    EXPECT_FALSE(check_card(OTHER, false).volume_found);
}

TEST_F(CardBackup, ARestoreThatFailsAtAnyWriteLeavesACardThatDoesNotMount) {
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    auto blank = testcards::blank_card(OTHER, CARD_BYTES);
    auto clean = blank->clone();
    drive_layer::drive_table().attach(OTHER, clean);
    ASSERT_EQ(restore_card(OTHER, image, nullptr).outcome, CardImageOutcome::Done);
    const uint64_t writes = clean->counters().writes;
    unsigned tried = 0;
    for (uint64_t k = 1; k <= writes; ++k) {
        disk_close();
        auto faulty = blank->clone();
        drive_layer::drive_table().attach(OTHER, faulty);
        faulty->fail_write_at(k);
        ++tried;
        EXPECT_EQ(restore_card(OTHER, image, nullptr).outcome, CardImageOutcome::Failed) << "write " << k;
        faulty->fail_write_at(0);
        // The first write takes the old superblock away (when it fails, the card is as
        // it was); every later one comes before the new superblock.
        EXPECT_EQ(volume().mount(OTHER), k == 1) << "write " << k;
        ASSERT_EQ(restore_card(OTHER, image, nullptr).outcome, CardImageOutcome::Done) << "write " << k;
        EXPECT_EQ(files_on(OTHER), want) << "write " << k;
    }
    std::printf("[write faults] restore: %u failing writes tried\n", tried);
}

TEST_F(CardBackup, ABackupThatCannotReadTheCardLeavesNoFile) {
    // The card's reads fail from the first one on, or from one part-way through while
    // earlier pieces are still being written and read back.
    disk_close();
    card->reset_counters();
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    ASSERT_TRUE(host::remove_file(image));
    const uint64_t reads = card->counters().reads;
    for (uint64_t k = 1; k <= reads; k += 1 + reads / 8) {
        disk_close();
        card->fail_reads_from(k);
        const CardImageReport r = backup_card(DRIVE, image, nullptr);
        card->fail_reads_from(0);
        EXPECT_NE(r.outcome, CardImageOutcome::Done) << "read " << k;
        EXPECT_EQ(host::kind_of(image), host::Kind::Missing) << "read " << k;
        EXPECT_EQ(host::kind_of(image + ".part"), host::Kind::Missing) << "read " << k;
    }
}

}  // namespace
