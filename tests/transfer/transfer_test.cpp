// The transfer routines on fake-drive cards: results, diagnostics, progress, the
// refusals that must change nothing, failures in the middle of a copy, cancelling and
// durability.
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include "platform/host_console.h"
#include "platform/host_file.h"
#include "platform/host_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using drive_layer::FakeDrive;
using testcards::pattern_bytes;
using testcards::read_host_file;
using testcards::write_host_file;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;
constexpr uint32_t CLUSTER = 131072;

// Catches the routines' diagnostic lines.
class Diagnostics {
public:
    Diagnostics() { set_transfer_diagnostics(capture_.stream()); }
    ~Diagnostics() { set_transfer_diagnostics(stdout); }
    std::string text() {
        set_transfer_diagnostics(stdout);
        return capture_.take();
    }

private:
    host::TextCapture capture_;
};

// Records every progress report; an optional hook runs after each one.
struct Progress {
    std::vector<uint32_t> chunks;
    std::function<void(size_t)> after_chunk;
    static void on_chunk(void* context, uint32_t bytes) {
        auto* self = static_cast<Progress*>(context);
        self->chunks.push_back(bytes);
        if (self->after_chunk) self->after_chunk(self->chunks.size());
    }
    uint64_t total() const {
        uint64_t sum = 0;
        for (uint32_t c : chunks) sum += c;
        return sum;
    }
};

std::string percentage_line(const char* percent) {
    return std::string(32, '\b') + "Copying " + percent + "%";
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(DRIVE, CARD_BYTES);
        set_copy_callback(&Progress::on_chunk, &progress);
    }
    void TearDown() override {
        set_copy_callback(nullptr, nullptr);
        set_copy_cancel_flag(nullptr);
        drive_layer::drive_table().detach(DRIVE);
    }

    std::string host(const std::string& name) const { return dir.file(name); }

    std::vector<uint8_t> card_file(const std::string& name) {
        EXPECT_TRUE(volume().mount(DRIVE));
        cAFFile f;
        if (!f.open(name, "r", 0)) return {};
        std::vector<uint8_t> bytes(f.get_size());
        if (!bytes.empty()) {
            EXPECT_EQ(f.read(bytes.data(), uint32_t(bytes.size())), bytes.size());
        }
        return bytes;
    }

    bool card_has(const std::string& name) { return volume().mount(DRIVE) && file_exists(name); }

    void put_card_file(const std::string& name, const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(volume().mount(DRIVE));
        cAFFile f;
        ASSERT_TRUE(f.open(name, "w", uint32_t(bytes.size())));
        if (!bytes.empty()) {
            ASSERT_EQ(f.write(bytes.data(), uint32_t(bytes.size())), bytes.size());
        }
        f.close();
    }

    uint32_t free_run_for(uint32_t bytes) {
        EXPECT_TRUE(volume().mount(DRIVE));
        return find_free_run(bytes);
    }

    testcards::TempDir dir;
    std::shared_ptr<FakeDrive> card;
    Progress progress;
};

TEST_F(TransferTest, RoundTripKeepsEveryByteAndReportsEachChunk) {
    const auto bytes = pattern_bytes(0x80000 * 5 + 1000, 7);  // 5 whole host chunks and a tail
    write_host_file(host("game.nds"), bytes);
    Diagnostics diag;
    ASSERT_TRUE(copy_win_to_ob(host("game.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_EQ(progress.chunks, (std::vector<uint32_t>{0x80000, 0x80000, 0x80000, 0x80000, 0x80000, 1000}));
    EXPECT_EQ(card_file("game.nds"), bytes);

    progress.chunks.clear();
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "game.nds", host("back.nds")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_EQ(read_host_file(host("back.nds")), bytes);
    // Card to host moves 2 MiB chunks.
    EXPECT_EQ(progress.chunks, (std::vector<uint32_t>{0x0200000, uint32_t(bytes.size() - 0x200000)}));
    // Only the host-to-card direction prints its percentage, rewritten in place.
    const std::string expected = percentage_line("20.0") + percentage_line("40.0") + percentage_line("60.0") +
                                 percentage_line("80.0") + percentage_line("100.0") + percentage_line("100.0") + "\n";
    EXPECT_EQ(diag.text().substr(0, expected.size()), expected);
}

TEST_F(TransferTest, CardNameIsTheTextAfterTheLastSlashOrBackslash) {
    // On Linux a backslash is an ordinary byte of a file name, yet it still separates;
    // on Windows it separates the folder "pre".
    std::filesystem::create_directory(testcards::fs_path(host("pre")));
    write_host_file(host("pre\\a.sav"), pattern_bytes(100, 1));
    ASSERT_TRUE(copy_win_to_ob(host("pre\\a.sav"), DRIVE));
    EXPECT_TRUE(card_has("a.sav"));
    EXPECT_FALSE(card_has("pre\\a.sav"));
}

TEST_F(TransferTest, DriveZeroIsRefusedByAllThreeBeforeAnythingIsOpened) {
    write_host_file(host("x.nds"), pattern_bytes(10, 1));
    card->reset_counters();
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(host("x.nds"), 0));
    EXPECT_FALSE(copy_ob_to_win(0, "x.nds", host("y.nds")));
    EXPECT_EQ(delete_ob_file(0, "x.nds"), 1);
    EXPECT_EQ(diag.text(), "invalid drive number.\ninvalid drive number.\ninvalid drive number.\n");
    EXPECT_EQ(card->counters().opens, 0u);
    EXPECT_EQ(host::kind_of(host("y.nds")), host::Kind::Missing);
}

TEST_F(TransferTest, ADriveWithoutVolumeIsRefused) {
    testcards::attach_fake(2, CARD_BYTES);  // zeros: no superblock
    write_host_file(host("x.nds"), pattern_bytes(10, 1));
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(host("x.nds"), 2));
    EXPECT_FALSE(copy_ob_to_win(2, "x.nds", host("y.nds")));
    EXPECT_EQ(delete_ob_file(2, "x.nds"), 1);
    EXPECT_EQ(diag.text(), "fail to initialize disk.\nfail to initialize disk.\nfail to initialize disk.\n");
    EXPECT_EQ(last_copy_end(), CopyEnd::Refused);
    drive_layer::drive_table().detach(2);
}

TEST_F(TransferTest, MissingSourceOrFolderIsNoSourceFile) {
    std::filesystem::create_directory(testcards::fs_path(host("folder.nds")));
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(host("missing.nds"), DRIVE));
    EXPECT_FALSE(copy_win_to_ob(host("folder.nds"), DRIVE));
    EXPECT_EQ(diag.text(), "source file does not exist.\nsource file does not exist.\n");
    EXPECT_FALSE(card_has("folder.nds"));
}

TEST_F(TransferTest, ZeroLengthFileWarnsAndBecomesAnEmptyCardFile) {
    write_host_file(host("empty.txt"), {});
    Diagnostics diag;
    ASSERT_TRUE(copy_win_to_ob(host("empty.txt"), DRIVE));
    EXPECT_EQ(diag.text(), "warning: source file has zero length.\n\n");
    EXPECT_TRUE(progress.chunks.empty());
    EXPECT_TRUE(card_has("empty.txt"));
    EXPECT_TRUE(card_file("empty.txt").empty());
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
}

TEST_F(TransferTest, ReplacingAFileOnAFullCardIsRefusedAndKeepsTheOldFile) {
    ASSERT_TRUE(volume().mount(DRIVE));
    const uint32_t all = volume().cluster_count() * CLUSTER;
    const auto old_bytes = pattern_bytes(all, 3);
    put_card_file("big.bin", old_bytes);
    ASSERT_EQ(free_run_for(0), NO_RUN);

    write_host_file(host("big.bin"), pattern_bytes(CLUSTER, 4));  // would fit in the old place
    write_host_file(host("tiny.bin"), {});
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(host("big.bin"), DRIVE));
    EXPECT_FALSE(copy_win_to_ob(host("tiny.bin"), DRIVE));  // even an empty file needs a cluster
    EXPECT_EQ(diag.text(),
              "no enough space on ob disk.\nwarning: source file has zero length.\nno enough space on ob disk.\n");
    EXPECT_EQ(card_file("big.bin"), old_bytes);
    EXPECT_FALSE(card_has("tiny.bin"));
}

TEST_F(TransferTest, HostFileOfFourGiBOrMoreIsRefusedWhateverItsLow32Bits) {
    // 4 GiB + 100 bytes: its low 32 bits (100) would fit easily.
    const std::string path = host("huge.iso");
    write_host_file(path, {});
    std::filesystem::resize_file(testcards::fs_path(path), (uint64_t(1) << 32) + 100);
    card->reset_counters();
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(path, DRIVE));
    EXPECT_EQ(diag.text(), "no enough space on ob disk.\n");
    EXPECT_EQ(card->counters().writes, 0u);
    EXPECT_FALSE(card_has("huge.iso"));
}

TEST_F(TransferTest, ReadOnlyCardFileIsNotReplaced) {
    const auto old_bytes = pattern_bytes(5000, 5);
    put_card_file("ro.sav", old_bytes);
    ASSERT_TRUE(volume().mount(DRIVE));
    const uint32_t sector = find_file_sector("ro.sav");
    ASSERT_NE(sector, 0xFFFFFFFFu);
    uint8_t attributes = 0x21;
    card->poke(uint64_t(sector) * 512 + DE_ATTRIBUTES, &attributes, 1);

    write_host_file(host("ro.sav"), pattern_bytes(100, 6));
    Diagnostics diag;
    EXPECT_FALSE(copy_win_to_ob(host("ro.sav"), DRIVE));
    EXPECT_EQ(diag.text(), "fail to create destination file.\n");
    EXPECT_EQ(card_file("ro.sav"), old_bytes);
}

TEST_F(TransferTest, CardNamesThatCouldEscapeTheFolderAreRefusedBeforeTheHostIsTouched) {
    // Names no copy onto the card would give, as another tool could leave them.
    testcards::CardSurgery(*card).entry(0, "../evil.nds", 0, 0, 100);
    testcards::CardSurgery(*card).entry(1, "a\\b.nds", 1, 1, 100);
    std::filesystem::create_directory(testcards::fs_path(host("sub")));
    Diagnostics diag;
    for (const std::string name : {"", ".", "..", "../evil.nds", "a\\b.nds", "x\x01y"})
        EXPECT_FALSE(copy_ob_to_win(DRIVE, name, host("sub/") + name)) << name;
    std::string expected;
    for (int i = 0; i < 6; ++i) expected += "invalid file name.\n";
    EXPECT_EQ(diag.text(), expected);
    EXPECT_EQ(host::kind_of(host("evil.nds")), host::Kind::Missing);
    EXPECT_EQ(host::kind_of(host("sub/a\\b.nds")), host::Kind::Missing);
}

TEST_F(TransferTest, MissingCardFileLeavesAnExistingHostFileAlone) {
    const auto precious = pattern_bytes(3000, 10);
    write_host_file(host("keep.sav"), precious);
    Diagnostics diag;
    EXPECT_FALSE(copy_ob_to_win(DRIVE, "keep.sav", host("keep.sav")));
    EXPECT_EQ(diag.text(), "source file does not exist.\n");
    EXPECT_EQ(read_host_file(host("keep.sav")), precious);
    EXPECT_FALSE(copy_ob_to_win(DRIVE, "none.sav", host("none.sav")));
    EXPECT_EQ(host::kind_of(host("none.sav")), host::Kind::Missing);
}

TEST_F(TransferTest, OnlyARegularFileIsWrittenAtTheDestination) {
    put_card_file("g.nds", pattern_bytes(100, 11));
    const auto outside = pattern_bytes(50, 12);
    write_host_file(host("outside.txt"), outside);
    std::error_code linked;
    std::filesystem::create_symlink(testcards::fs_path(host("outside.txt")), testcards::fs_path(host("link.nds")),
                                    linked);
    if (linked) GTEST_SKIP() << "no symbolic links here: " << linked.message();
    std::filesystem::create_directory(testcards::fs_path(host("dir.nds")));
    Diagnostics diag;
    EXPECT_FALSE(copy_ob_to_win(DRIVE, "g.nds", host("link.nds")));
    EXPECT_FALSE(copy_ob_to_win(DRIVE, "g.nds", host("dir.nds")));
    EXPECT_FALSE(copy_ob_to_win(DRIVE, "g.nds", host("no/such/folder/g.nds")));
    EXPECT_EQ(diag.text(), "fail to create destination file.\nfail to create destination file.\n"
                           "fail to create destination file.\n");
    EXPECT_EQ(read_host_file(host("outside.txt")), outside);
}

TEST_F(TransferTest, ExistingHostFileIsReplacedWhole) {
    const auto bytes = pattern_bytes(1000, 13);
    put_card_file("s.sav", bytes);
    write_host_file(host("s.sav"), pattern_bytes(500000, 14));
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "s.sav", host("s.sav")));
    EXPECT_EQ(read_host_file(host("s.sav")), bytes);
}

TEST_F(TransferTest, CardReadErrorMidCopyEndsWithAShorterHostFile) {
    const auto bytes = pattern_bytes(5u << 20, 15);
    put_card_file("movie.dat", bytes);
    progress.after_chunk = [&](size_t) { card->fail_reads_from(1); };
    Diagnostics diag;
    EXPECT_TRUE(copy_ob_to_win(DRIVE, "movie.dat", host("movie.dat")));
    card->fail_reads_from(0);
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_EQ(diag.text(), "read source file error\n");
    const auto got = read_host_file(host("movie.dat"));
    ASSERT_EQ(got.size(), 0x200000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin()));
}

TEST_F(TransferTest, HostReadErrorMidCopyStopsTheCopy) {
    // Reading /proc/self/mem at offset 0 fails with an I/O error.
    if (std::string(host::path_separators()) != "/" || !host::is_regular_file("/proc/self/mem"))
        GTEST_SKIP() << "no /proc/self/mem here";
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob("/proc/self/mem", DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_EQ(diag.text(), "warning: source file has zero length.\nread source file error\n\n");
    EXPECT_TRUE(card_has("mem"));
}

TEST_F(TransferTest, CardWriteErrorMidCopyStopsAndTheCardStillMounts) {
    write_host_file(host("w.nds"), pattern_bytes(3u << 20, 16));
    progress.after_chunk = [&](size_t) { card->fail_writes_from(1); };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("w.nds"), DRIVE));
    card->fail_writes_from(0);
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_NE(diag.text().find("no enough continual space on ob disk\n"), std::string::npos);
    EXPECT_TRUE(volume().mount(DRIVE));
}

TEST_F(TransferTest, FileThatGrowsBeyondItsRunStopsAtTheRunsEnd) {
    // A fence after three clusters: the run the copy gets holds 393,216 bytes.
    testcards::write_blank_volume(*card, CARD_BYTES, {3});
    const auto bytes = pattern_bytes(300000, 17);
    write_host_file(host("grow.nds"), bytes);
    const auto more = pattern_bytes(200000, 18);
    progress.after_chunk = [&](size_t n) {
        if (n != 1) return;
        std::FILE* f = std::fopen(host("grow.nds").c_str(), "ab");
        std::fwrite(more.data(), 1, more.size(), f);
        std::fclose(f);
    };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("grow.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_EQ(progress.chunks, (std::vector<uint32_t>{300000, 3 * CLUSTER - 300000}));
    EXPECT_NE(diag.text().find("no enough continual space on ob disk\n"), std::string::npos);
    const auto got = card_file("grow.nds");
    ASSERT_EQ(got.size(), 3 * CLUSTER);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 300000, got.end(), more.begin()));
}

TEST_F(TransferTest, CancelMidFileRemovesThePartialCardFile) {
    write_host_file(host("big.nds"), pattern_bytes(4u << 20, 19));
    std::atomic<bool> cancel{false};
    set_copy_cancel_flag(&cancel);
    progress.after_chunk = [&](size_t) { cancel = true; };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("big.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Cancelled);
    // The flag is seen before the next card write, which takes two progress steps.
    EXPECT_EQ(progress.chunks, (std::vector<uint32_t>{0x80000, 0x80000}));
    EXPECT_EQ(diag.text(), percentage_line("12.5") + percentage_line("25.0") + "\ncopy cancelled.\n");
    EXPECT_FALSE(card_has("big.nds"));
    EXPECT_EQ(free_run_for(0), 0u);
}

// The new bytes of a replace go beside the old file: a cancelled or failed copy
// leaves the old one as it was, and frees what the new one had taken.
TEST_F(TransferTest, ACancelledOrFailedReplaceKeepsTheOldFile) {
    const auto old_bytes = pattern_bytes(3 * CLUSTER + 11, 24);
    put_card_file("r.nds", old_bytes);
    const uint32_t free_before = free_run_for(0);
    write_host_file(host("r.nds"), pattern_bytes(4u << 20, 25));
    std::atomic<bool> cancel{false};
    set_copy_cancel_flag(&cancel);
    progress.after_chunk = [&](size_t) { cancel = true; };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("r.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Cancelled);
    EXPECT_EQ(card_file("r.nds"), old_bytes);
    EXPECT_EQ(free_run_for(0), free_before);

    set_copy_cancel_flag(nullptr);
    progress.after_chunk = [&](size_t) { card->fail_writes_from(1); };
    EXPECT_TRUE(copy_win_to_ob(host("r.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    card->fail_writes_from(0);
    EXPECT_EQ(card_file("r.nds"), old_bytes);
}

TEST_F(TransferTest, CancelBeforeTheCopyChangesNothing) {
    const auto old_bytes = pattern_bytes(1000, 20);
    put_card_file("keep.nds", old_bytes);
    write_host_file(host("keep.nds"), pattern_bytes(2000, 21));
    std::atomic<bool> cancel{true};
    set_copy_cancel_flag(&cancel);
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("keep.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Cancelled);
    EXPECT_EQ(card_file("keep.nds"), old_bytes);

    const auto host_bytes = pattern_bytes(10, 22);
    write_host_file(host("other.nds"), host_bytes);
    EXPECT_TRUE(copy_ob_to_win(DRIVE, "keep.nds", host("other.nds")));
    EXPECT_EQ(read_host_file(host("other.nds")), host_bytes);
    EXPECT_EQ(diag.text(), "copy cancelled.\ncopy cancelled.\n");
}

TEST_F(TransferTest, CancelMidFileRemovesThePartialHostFile) {
    put_card_file("big.dat", pattern_bytes(5u << 20, 23));
    std::atomic<bool> cancel{false};
    set_copy_cancel_flag(&cancel);
    progress.after_chunk = [&](size_t) { cancel = true; };
    Diagnostics diag;
    EXPECT_TRUE(copy_ob_to_win(DRIVE, "big.dat", host("big.dat")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Cancelled);
    EXPECT_EQ(diag.text(), "copy cancelled.\n");
    EXPECT_EQ(host::kind_of(host("big.dat")), host::Kind::Missing);
}

TEST_F(TransferTest, DeleteRemovesTheFileAndFreesItsRun) {
    put_card_file("a.nds", pattern_bytes(3 * CLUSTER, 24));
    put_card_file("b.nds", pattern_bytes(CLUSTER, 25));
    Diagnostics diag;
    EXPECT_EQ(delete_ob_file(DRIVE, "A.nds"), 1);  // names are case-sensitive
    EXPECT_EQ(delete_ob_file(DRIVE, "a.nds"), 0);
    EXPECT_EQ(delete_ob_file(DRIVE, "a.nds"), 1);
    EXPECT_EQ(delete_ob_file(DRIVE, ""), 1);
    EXPECT_EQ(diag.text(), "file does not exist.\nfile does not exist.\nfile does not exist.\n");
    EXPECT_FALSE(card_has("a.nds"));
    EXPECT_TRUE(card_has("b.nds"));
    EXPECT_EQ(free_run_for(3 * CLUSTER), 0u);
}

TEST_F(TransferTest, CopiesToTheCardAndDeletesEndFlushedToTheMedium) {
    write_host_file(host("d.nds"), pattern_bytes(1000, 26));
    card->reset_counters();
    ASSERT_TRUE(copy_win_to_ob(host("d.nds"), DRIVE));
    EXPECT_GE(card->counters().flushes, 1u);
    card->reset_counters();
    ASSERT_EQ(delete_ob_file(DRIVE, "d.nds"), 0);
    EXPECT_GE(card->counters().flushes, 1u);
}

// A batch names each copy's successor, which is opened and read ahead while the copy
// ends. What the successor's copy writes must still be the file at its path then.
TEST_F(TransferTest, BatchHeadStartsNeverCopyAStaleOrVanishedSource) {
    const auto a = pattern_bytes(0x80000 + 100, 30), b_old = pattern_bytes(3000, 31);
    const auto b_new = pattern_bytes(0x80000 * 2 + 7, 32), c = pattern_bytes(500, 33);
    write_host_file(host("a.nds"), a);
    write_host_file(host("b.nds"), b_old);
    write_host_file(host("c.nds"), c);
    Diagnostics diag;
    CopyBatch batch;
    ASSERT_EQ(batch.copy_to_card(host("a.nds"), DRIVE, host("b.nds")), CopyEnd::Complete);
    write_host_file(host("b.nds"), b_new);  // rewritten after its head start
    EXPECT_EQ(batch.copy_to_card(host("b.nds"), DRIVE, host("c.nds")), CopyEnd::Complete);
    ASSERT_TRUE(std::filesystem::remove(testcards::fs_path(host("c.nds"))));  // gone after its head start
    if (host::kind_of(host("c.nds")) != host::Kind::Missing)
        GTEST_SKIP() << "this host keeps the name of a deleted file while the head start holds it open";
    EXPECT_EQ(batch.copy_to_card(host("c.nds"), DRIVE), CopyEnd::Refused);
    const std::vector<CopyFailure> failures = batch.end();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].kind, CopyFailure::Kind::Refused);
    EXPECT_EQ(failures[0].host_path, host("c.nds"));
    EXPECT_NE(diag.text().find("source file does not exist.\n"), std::string::npos);
    EXPECT_EQ(card_file("a.nds"), a);
    EXPECT_EQ(card_file("b.nds"), b_new);
    EXPECT_FALSE(card_has("c.nds"));

    // From the card: the next card file's head start changes nothing either.
    EXPECT_EQ(batch.copy_to_host(DRIVE, "a.nds", host("a.back"), std::vector<std::string>{"b.nds"}), CopyEnd::Complete);
    EXPECT_EQ(batch.copy_to_host(DRIVE, "b.nds", host("b.back")), CopyEnd::Complete);
    EXPECT_TRUE(batch.end().empty());
    EXPECT_EQ(read_host_file(host("a.back")), a);
    EXPECT_EQ(read_host_file(host("b.back")), b_new);
}

TEST_F(TransferTest, AFlushThatFailsIsNotACompleteCopy) {
    write_host_file(host("f.nds"), pattern_bytes(1000, 27));
    progress.after_chunk = [&](size_t) { card->vanish_now(); };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("f.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_NE(diag.text().find("fail to flush disk.\n"), std::string::npos);
}

// A host file that shrinks while it is copied ends short: that is no complete copy.
TEST_F(TransferTest, ASourceThatShrinksWhileItIsReadIsNoCompleteCopy) {
    write_host_file(host("s.nds"), pattern_bytes(16 * 0x80000, 40));
    progress.after_chunk = [&](size_t) {
        std::error_code ec;
        std::filesystem::resize_file(testcards::fs_path(host("s.nds")), 0, ec);
        ASSERT_FALSE(ec) << ec.message();
    };
    Diagnostics diag;
    EXPECT_TRUE(copy_win_to_ob(host("s.nds"), DRIVE));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_NE(diag.text().find("read source file error\n"), std::string::npos);
}

// A batch its owner forgets to end still syncs its host files, and says which did
// not reach the disk.
TEST_F(TransferTest, ABatchNobodyEndedStillSyncsItsHostFiles) {
    put_card_file("a.nds", pattern_bytes(3000, 41));
    put_card_file("b.nds", pattern_bytes(5000, 42));
    {
        CopyBatch batch;
        EXPECT_EQ(batch.copy_to_host(DRIVE, "a.nds", host("a.back"), std::vector<std::string>{"b.nds"}), CopyEnd::Complete);
    }
    EXPECT_EQ(read_host_file(host("a.back")), pattern_bytes(3000, 41));
}

}  // namespace
