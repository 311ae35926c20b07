// Verify after write: the checksum, and copies both ways whose written bytes are
// changed on the medium behind the program's back or never reach it.
#include "transfer/verify.h"

#include "device/sector_io.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/hooked_drive.h"
#include "support/test_cards.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

using drive_layer::FakeDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

uint64_t checksum(const std::vector<uint8_t>& bytes) {
    StreamChecksum sum;
    sum.add(bytes.data(), bytes.size());
    return sum.value();
}

TEST(StreamChecksum, PiecesOfAnySizeGiveXxh3OfTheWholeStream) {
    EXPECT_EQ(StreamChecksum().value(), 0x2D06800538D394C2ull);  // XXH3-64 of nothing, as published
    const auto bytes = pattern_bytes(10007, 1);
    for (size_t piece : {1u, 3u, 7u, 8u, 9u, 240u, 241u, 4096u, 10007u}) {
        StreamChecksum sum;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            sum.add(bytes.data() + at, std::min(piece, bytes.size() - at));
            const StreamChecksum copy = sum;  // a copy goes on from the same state
            EXPECT_EQ(copy.value(), sum.value());
        }
        EXPECT_EQ(sum.value(), XXH3_64bits(bytes.data(), bytes.size())) << "pieces of " << piece;
        EXPECT_EQ(sum.value(), StreamChecksum::of(bytes.data(), bytes.size()));
        EXPECT_EQ(sum.length(), bytes.size());
    }
}

TEST(StreamChecksum, AnyChangedBitOrAppendedZeroChangesTheSum) {
    const auto bytes = pattern_bytes(4099, 2);
    const uint64_t whole = checksum(bytes);
    for (size_t at : {size_t(0), size_t(7), size_t(8), size_t(2048), size_t(4095), size_t(4098)})
        for (int bit = 0; bit < 8; ++bit) {
            auto changed = bytes;
            changed[at] ^= uint8_t(1u << bit);
            EXPECT_NE(checksum(changed), whole) << "byte " << at << " bit " << bit;
        }
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_NE(checksum(longer), whole);
    EXPECT_NE(checksum({}), checksum({0}));
}

TEST(ChunkedChecksum, PiecesAndSumsWorkedOutElsewhereGiveTheSameValue) {
    constexpr uint32_t C = ChunkedChecksum::CHUNK;
    const auto bytes = pattern_bytes(3 * C + 777, 8);
    ChunkedChecksum whole;
    whole.add(bytes.data(), bytes.size());
    // As the copy feeds it: whole chunks with their sums from the read-ahead, the rest
    // as bytes; and in odd pieces.
    ChunkedChecksum fed;
    for (size_t at = 0; at < bytes.size(); at += C) {
        const size_t n = std::min<size_t>(C, bytes.size() - at);
        const uint64_t sum = ChunkedChecksum::chunk_sum(bytes.data() + at, n);
        fed.add(bytes.data() + at, n, n == C ? &sum : nullptr);
    }
    ChunkedChecksum odd;
    for (size_t at = 0; at < bytes.size(); at += 100003) odd.add(bytes.data() + at, std::min<size_t>(100003, bytes.size() - at));
    EXPECT_EQ(fed.value(), whole.value());
    EXPECT_EQ(odd.value(), whole.value());
    EXPECT_EQ(fed.length(), bytes.size());
    // Any changed byte, in any chunk, and a zero byte more change it.
    for (size_t at : {size_t(0), size_t(C - 1), size_t(C), size_t(2 * C + 5), bytes.size() - 1}) {
        auto changed = bytes;
        changed[at] ^= 0x40;
        ChunkedChecksum other;
        other.add(changed.data(), changed.size());
        EXPECT_NE(other.value(), whole.value()) << at;
    }
    ChunkedChecksum longer = whole;
    const uint8_t zero = 0;
    longer.add(&zero, 1);
    EXPECT_NE(longer.value(), whole.value());
    EXPECT_NE(ChunkedChecksum().value(), longer.value());
}

class VerifyAfterWrite : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        card = testcards::blank_card(DRIVE, 32u << 20);
        set_verify_after_write(true);
    }
    void TearDown() override {
        set_verify_after_write(false);
        disk_close();
        drive_layer::drive_table().clear();
    }
    std::string host_file(const std::string& name, const std::vector<uint8_t>& bytes) {
        testcards::write_host_file(host.file(name), bytes);
        return host.file(name);
    }

    // Once a copy has written its file, the medium changes one byte of it at the
    // first read of the data area that follows (the read-back): the program's read
    // window and the drive's caches still hold the right bytes.
    void change_a_byte_before_the_read_back() {
        ASSERT_TRUE(volume().mount(DRIVE));
        const uint64_t data_start = uint64_t(volume().data_start()) * SECTOR_BYTES;
        testcards::hook_drive(DRIVE, card, [this, data_start](bool write, uint64_t offset, uint32_t) {
            if (copied && !write && !corrupted && offset >= data_start) {
                corrupted = true;
                uint8_t b = 0;
                card->peek(data_start + K + 5, &b, 1);
                b ^= 0x10;
                card->poke(data_start + K + 5, &b, 1);
            }
        });
        set_copy_callback([](void* done, uint32_t) { *static_cast<bool*>(done) = true; }, &copied);
    }

    std::shared_ptr<FakeDrive> card;
    testcards::TempDir host;
    bool copied = false, corrupted = false;
};

TEST_F(VerifyAfterWrite, AGoodCopyToTheCardPasses) {
    const auto bytes = pattern_bytes(3 * K + 999, 3);
    EXPECT_TRUE(copy_win_to_ob(host_file("game.nds", bytes), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
}

TEST_F(VerifyAfterWrite, BytesChangedOnTheMediumFailTheCopyAndTheCardFileStays) {
    const std::string path = host_file("game.nds", pattern_bytes(2 * K + 10, 4));
    change_a_byte_before_the_read_back();
    EXPECT_TRUE(copy_win_to_ob(path, DRIVE));
    set_copy_callback(nullptr, nullptr);
    EXPECT_TRUE(corrupted);
    EXPECT_EQ(last_copy_end(), CopyEnd::VerifyFailed);
    EXPECT_TRUE(volume().mount(DRIVE) && file_exists("game.nds"));
}

TEST_F(VerifyAfterWrite, ABatchEndsWithTheCopyThatDidNotVerify) {
    // What obtool and the copy window report after a batch comes from end().
    const std::string good = host_file("good.nds", pattern_bytes(K, 11));
    const std::string bad = host_file("bad.nds", pattern_bytes(2 * K + 10, 12));
    CopyBatch batch;
    EXPECT_EQ(batch.copy_to_card(good, DRIVE, bad), CopyEnd::Complete);
    change_a_byte_before_the_read_back();
    EXPECT_EQ(batch.copy_to_card(bad, DRIVE), CopyEnd::VerifyFailed);
    set_copy_callback(nullptr, nullptr);
    ASSERT_TRUE(corrupted);
    const std::vector<CopyFailure> failures = batch.end();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].kind, CopyFailure::Kind::Unverified);
    EXPECT_EQ(failures[0].host_path, bad);
}

TEST_F(VerifyAfterWrite, AWriteLostAnywhereNeverEndsAsACompleteCopy) {
    const auto bytes = pattern_bytes(2 * K + 4000, 5);
    const std::string path = host_file("game.nds", bytes);
    auto clean = card->clone();
    drive_layer::drive_table().attach(DRIVE, clean);
    ASSERT_TRUE(copy_win_to_ob(path, DRIVE));
    const uint64_t writes = clean->counters().writes;
    for (uint64_t k = 1; k < writes; ++k) {
        disk_close();
        auto lossy = card->clone();
        drive_layer::drive_table().attach(DRIVE, lossy);
        lossy->power_cut_after_write(k);  // later writes report success and are lost
        copy_win_to_ob(path, DRIVE);
        EXPECT_NE(last_copy_end(), CopyEnd::Complete) << "writes after " << k << " of " << writes << " lost";
    }
}

TEST_F(VerifyAfterWrite, CopiesToTheHostAreReadBackFresh) {
    const auto bytes = pattern_bytes(5 * K + 3, 6);
    ASSERT_TRUE(copy_win_to_ob(host_file("game.nds", bytes), DRIVE));
    const std::string out = host.file("back.nds");
    EXPECT_TRUE(copy_ob_to_win(DRIVE, "game.nds", out));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_EQ(testcards::read_host_file(out), bytes);
    // The same check on a host file that changed since.
    ChunkedChecksum sum;
    sum.add(bytes.data(), bytes.size());
    EXPECT_TRUE(verify_host_file(out, sum));
    auto changed = bytes;
    changed[K] ^= 1;
    testcards::write_host_file(out, changed);
    EXPECT_FALSE(verify_host_file(out, sum));
    EXPECT_FALSE(verify_host_file(host.file("missing"), sum));
}

TEST_F(VerifyAfterWrite, TheCheckReadsTheFileOnceMoreAndNothingWhenOff) {
    const auto bytes = pattern_bytes(3 * K, 7);
    set_verify_after_write(false);
    card->reset_counters();
    ASSERT_TRUE(copy_win_to_ob(host_file("a.bin", bytes), DRIVE));
    const uint64_t reads_without = card->counters().bytes_read;
    set_verify_after_write(true);
    card->reset_counters();
    ASSERT_TRUE(copy_win_to_ob(host_file("b.bin", bytes), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    // The file once more, and its entry sector.
    EXPECT_EQ(card->counters().bytes_read, reads_without + 3 * K + SECTOR_BYTES);
}

}  // namespace
