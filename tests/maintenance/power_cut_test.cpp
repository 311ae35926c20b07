// Power cuts at every write of every operation that changes a card: a copy of a new
// file (also with verify after write), a copy that replaces a file beside its old run
// (the old file stays until the new one is committed), a copy that replaces a file in
// its old run and grows it past its cluster (a nearly full card), a delete, a format,
// the default speed write, a compaction, a restore from a backup, and a clone from a
// second card in the same process onto this one (every write of the target cut; the
// source, a card object of its own, is never written).
//
// A new file's entry goes out last but one, into a slot that may still hold an old
// name: both orders are cut here.
//
// For each operation a clean run on a copy of the prepared card counts its device
// writes; then, for every k from 1 to that count, a fresh copy of the card loses power
// after its k-th write: with the writes up to k on the medium in program order, and
// again for every way a drive with a volatile cache may have reordered the writes
// since its last flush (any of them lost, the k-th kept). On what survives: the volume mounts (a format may instead have
// left no volume); the check finds nothing worse than leftovers of the interrupted
// operation; every file that was complete before reads back byte for byte; the files
// the operation writes are absent, as before, or a prefix of their new bytes that fits
// their run; repair leaves a clean card; and the operation, run again, completes.
#include "device/sector_io.h"
#include "maintenance/card_backup.h"
#include "maintenance/card_check.h"
#include "maintenance/card_clone.h"
#include "maintenance/card_models.h"
#include "maintenance/format_card.h"
#include "maintenance/maintenance_commands.h"
#include "maintenance/compact_card.h"
#include "maintenance/menu_install.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/card_object.h"
#include "support/card_surgery.h"
#include "support/prepared_card.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>

using drive_layer::FakeDrive;
using testcards::CardFile;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 16u << 20;  // 91 data clusters
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

using testcards::Bytes;
using testcards::Files;
using testcards::text_bytes;

bool is_prefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// One operation under test and what the card holds when it completes.
struct Operation {
    std::string what;
    std::function<void()> run;
    Files written;                 // files it writes, with their final bytes
    std::set<std::string> deleted; // files it removes
    bool formats = false;          // everything before it is gone
    // Reordered cuts per cut point at most (0: all of them). A restore's long runs of
    // unflushed data writes are read back before anything makes them count, so a few
    // orders stand for all.
    size_t reorder_sample = 0;
};

class PowerCut : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        prepared = testcards::prepare_card(DRIVE, CARD_BYTES, testcards::standard_files(), &before);
        ASSERT_TRUE(prepared);
    }
    void TearDown() override {
        disk_close();
        close_menu_drive();
        drive_layer::drive_table().clear();
    }

    // A host file to copy, in the scratch folder.
    std::string host_file(const std::string& name, const Bytes& bytes) {
        testcards::write_host_file(host.file(name), bytes);
        return host.file(name);
    }

    // Leaves the prepared card nearly full: the only free clusters are the two after
    // small.bin (10-11), so a file replacing it that needs more must take its clusters.
    void fill_all_but_two_after_small_bin() {
        drive_layer::drive_table().attach(DRIVE, prepared);
        ASSERT_TRUE(volume().mount(DRIVE));
        ASSERT_TRUE(testcards::put_card_file("gap.tmp", pattern_bytes(2 * K, 8)));
        const uint32_t rest = allocatable_clusters() - 12;
        before["filler.bin"] = pattern_bytes(size_t(rest) * K, 9);
        ASSERT_TRUE(testcards::put_card_file("filler.bin", before["filler.bin"]));
        ASSERT_TRUE(delete_file("gap.tmp"));
        ASSERT_TRUE(disk_flush());
        disk_close();
    }

    std::shared_ptr<FakeDrive> fresh_card() { return testcards::attach_copy(DRIVE, *prepared); }

    Files expected_after(const Operation& op) const {
        return testcards::files_after(before, op.written, op.deleted, op.formats);
    }

    // What is wrong with the card after a cut (empty when nothing is).
    std::string judge_cut(const Operation& op) {
        std::ostringstream why;
        bool mounted = false;
        const std::map<std::string, CardFile> now = testcards::card_contents(DRIVE, &mounted);
        if (!mounted) {
            const CardCheckReport r = check_card(DRIVE, false);
            if (!op.formats || r.volume_found) why << "the volume does not mount; ";
            return why.str();  // a format cut before its superblock: cleanly no volume
        }
        const CardCheckReport report = check_card(DRIVE, false);
        if (report.serious != 0) {
            why << "serious problems:";
            for (const std::string& p : report.problems) why << " [" << p << "]";
            why << "; ";
        }
        for (const auto& [name, file] : now) {
            if (!file.opened || !file.size_fits_run() || file.bytes.size() != file.size) {
                why << name << " unreadable or larger than its run; ";
                continue;
            }
            const bool was_there = !op.formats && before.count(name);
            const bool old_bytes = was_there && file.bytes == before.at(name);
            const auto w = op.written.find(name);
            const bool new_prefix = w != op.written.end() && is_prefix(file.bytes, w->second);
            if (!old_bytes && !new_prefix) why << name << " holds neither its old bytes nor a prefix of its new; ";
        }
        // Files complete before the operation that it neither writes nor deletes.
        if (!op.formats)
            for (const auto& [name, bytes] : before)
                if (!op.written.count(name) && !op.deleted.count(name) && !now.count(name))
                    why << name << " lost; ";
        // Repair mends every leftover.
        check_card(DRIVE, true);
        const CardCheckReport again = check_card(DRIVE, false);
        if (!again.clean()) {
            why << "not clean after repair:";
            for (const std::string& p : again.problems) why << " [" << p << "]";
            why << "; ";
        }
        return why.str();
    }

    // The card holds exactly the files the completed operation leaves, and is clean.
    std::string judge_complete(const Operation& op) { return testcards::differences_from(DRIVE, expected_after(op)); }

    // One cut: the power goes after write k, keeping the unflushed writes in `survivors`.
    // Returns what is wrong (empty when nothing) and the number of unflushed writes.
    std::string cut_once(const Operation& op, uint64_t k, uint64_t survivors, uint64_t* unflushed) {
        auto card = fresh_card();
        card->set_power_cut_survivors(survivors);
        card->power_cut_after_write(k);
        op.run();
        card->restore_power();
        if (unflushed) *unflushed = card->unflushed_at_cut();
        std::string why = judge_cut(op);
        if (!why.empty()) return why;
        // Then the operation once more, to its end, on the repaired card.
        op.run();
        why = judge_complete(op);
        return why.empty() ? why : "run again: " + why;
    }

    // The subsets of a window of n unflushed writes that a reordering cache may leave,
    // the last write always among them (losing it too is a cut one write earlier), and
    // all of them left out (that is the in-order cut). Small windows get every subset;
    // large ones (only runs of data clusters) each single loss and the last write alone.
    static std::vector<uint64_t> reordered_survivors(uint64_t n) {
        std::vector<uint64_t> out;
        if (n < 2) return out;
        const uint64_t all = n >= 64 ? ~0ull : (1ull << n) - 1;
        if (n <= 10) {
            for (uint64_t m = 1; m < all; m += 2) out.push_back(m);
        } else {
            out.push_back(1);
            for (uint64_t j = 1; j < n && j < 64; ++j) out.push_back(all & ~(1ull << j));
        }
        return out;
    }

    void cut_at_every_write(const Operation& op) {
        // The clean run: how many writes and flushes the operation makes.
        auto clean = fresh_card();
        op.run();
        const drive_layer::FakeCounters counts = clean->counters();
        const uint64_t writes = counts.writes;
        ASSERT_GT(writes, 0u);
        ASSERT_EQ(judge_complete(op), "") << op.what << ": the clean run";

        unsigned tried = 0, passed = 0, reordered = 0, reordered_passed = 0;
        for (uint64_t k = 1; k <= writes; ++k) {
            uint64_t window = 0;
            std::string why = cut_once(op, k, ~0ull, &window);
            ++tried;
            passed += why.empty();
            EXPECT_EQ(why, "") << op.what << ", cut after write " << k << " of " << writes;
            std::vector<uint64_t> orders = reordered_survivors(window);
            if (op.reorder_sample && orders.size() > op.reorder_sample) {
                std::vector<uint64_t> sample;
                for (size_t i = 0; i < op.reorder_sample; ++i)
                    sample.push_back(orders[i * (orders.size() - 1) / (op.reorder_sample - 1)]);
                orders = sample;
            }
            for (uint64_t survivors : orders) {
                why = cut_once(op, k, survivors, nullptr);
                ++reordered;
                reordered_passed += why.empty();
                EXPECT_EQ(why, "") << op.what << ", cut after write " << k << " of " << writes
                                   << " keeping only unflushed writes " << std::hex << survivors
                                   << " (bit 0 = write " << std::dec << k << ")";
            }
        }
        std::printf("[power cut] %s: %llu writes, %llu drive flushes; %u cut points, %u passed; "
                    "%u reordered cuts, %u passed\n",
                    op.what.c_str(), static_cast<unsigned long long>(writes),
                    static_cast<unsigned long long>(counts.flushes), tried, passed, reordered, reordered_passed);
        RecordProperty("cut_points", int(tried));
        RecordProperty("reordered_cuts", int(reordered));
    }

    std::shared_ptr<FakeDrive> prepared;
    Files before;
    testcards::TempDir host;
};

TEST_F(PowerCut, CopyOfANewFile) {
    const Bytes game = pattern_bytes(2 * K + 5000, 10);
    const std::string path = host_file("new.nds", game);
    cut_at_every_write({"copy of a new file", [&] { copy_win_to_ob(path, DRIVE); }, {{"new.nds", game}}, {}});
}

TEST_F(PowerCut, CopyOfANewFileIntoASlotThatStillHoldsAName) {
    // The lowest free slot holds the named entry a cut create left (its hash entry 0):
    // the new file's hash must not reach the card before its own entry has replaced
    // that one, or the old entry would show with clusters the map calls free.
    testcards::CardSurgery(*prepared).entry(6, "ghost.nds", 60, 61, K + 1, false, 0);
    const Bytes game = pattern_bytes(K + 4000, 15);
    const std::string path = host_file("new.nds", game);
    cut_at_every_write({"copy of a new file into a slot that still holds a name", [&] { copy_win_to_ob(path, DRIVE); },
                        {{"new.nds", game}}, {}});
}

TEST_F(PowerCut, CopyReplacingAFileBesideItsOldRun) {
    // There is room after the last file: the new run lies there, and the old file
    // stays whole until the new one's entry names it.
    const Bytes save = pattern_bytes(2 * K + 100, 11);
    const std::string path = host_file("old.sav", save);
    cut_at_every_write({"copy replacing a file beside its old run", [&] { copy_win_to_ob(path, DRIVE); }, {{"old.sav", save}}, {}});
}

TEST_F(PowerCut, StreamGrowingAFilePastItsClusterInItsOldRun) {
    // No four free clusters anywhere but small.bin's two and the two after them: the new
    // run starts in the old file's first cluster and grows through its second into the
    // free ones after it. (A copy's space test would refuse this file on such a card;
    // a stream opened for writing takes the old run, as the default speed file does on
    // a full card.)
    fill_all_but_two_after_small_bin();
    const Bytes grown = pattern_bytes(3 * K + K / 2, 12);
    cut_at_every_write({"stream growing a file past its cluster in its old run",
                        [&] { volume().mount(DRIVE) && testcards::put_card_file("small.bin", grown); },
                        {{"small.bin", grown}}, {}});
}

TEST_F(PowerCut, Delete) {
    cut_at_every_write({"delete", [&] { delete_ob_file(DRIVE, "victim.dat"); }, {}, {"victim.dat"}});
}

TEST_F(PowerCut, DefaultSpeedWrite) {
    testcards::RecordingSink sink;
    cut_at_every_write({"default speed write", [&] { write_default_speed(DRIVE, 24); },
                        {{"sd_speed.ini", text_bytes("24")}}, {}});
}

TEST_F(PowerCut, CopyOfANewFileWithVerify) {
    const Bytes game = pattern_bytes(2 * K + 5000, 13);
    const std::string path = host_file("new.nds", game);
    set_verify_after_write(true);
    cut_at_every_write({"copy of a new file with verify", [&] { copy_win_to_ob(path, DRIVE); }, {{"new.nds", game}}, {}});
    set_verify_after_write(false);
}

TEST_F(PowerCut, Compaction) {
    // Holes where old.sav (2-3) and victim.dat (4-5) were: keep_b.txt, sd_speed.ini and
    // small.bin move down into them.
    auto card = fresh_card();
    ASSERT_TRUE(volume().mount(DRIVE));
    ASSERT_TRUE(delete_file("old.sav") && delete_file("victim.dat") && disk_flush());
    disk_close();
    prepared = card->clone();
    before.erase("old.sav");
    before.erase("victim.dat");
    cut_at_every_write({"compaction", [&] { compact_card(DRIVE, nullptr); }, {}, {}});
}

TEST_F(PowerCut, RestoreFromABackup) {
    // The backup: the prepared card with one file more and one less.
    auto card = fresh_card();
    ASSERT_TRUE(volume().mount(DRIVE));
    const Bytes extra = pattern_bytes(K + 321, 14);
    ASSERT_TRUE(testcards::put_card_file("extra.bin", extra) && delete_file("keep_b.txt") && disk_flush());
    const std::string image = host.file("backup.img");
    ASSERT_EQ(backup_card(DRIVE, image, nullptr).outcome, CardImageOutcome::Done);
    Files backed_up = before;
    backed_up.erase("keep_b.txt");
    backed_up["extra.bin"] = extra;
    cut_at_every_write({"restore", [&] { restore_card(DRIVE, image, nullptr); }, backed_up, {}, true, 3});
}

TEST_F(PowerCut, CloneFromASecondCard) {
    // The source: a larger card with other files and a menu program, open beside this
    // one in its own card object for the whole run.
    testcards::CloneSource source(2);
    const Files& moved = source.files;
    ASSERT_EQ(moved.size(), 7u);
    CopyJob quiet;
    quiet.diagnostics = nullptr;
    // A model named: run again after a cut, the target may hold no volume to take one from.
    CloneOptions options;
    options.model_row = 14;
    cut_at_every_write({"clone from a second card",
                        [&] {
                            cCard target;
                            clone_card(source.card.card(), 2, target, DRIVE, options, quiet);
                        },
                        moved, {}, true, 3});
    EXPECT_EQ(source.card.drive().counters().writes, 0u) << "the source is only read";
}

TEST_F(PowerCut, Format) {
    testcards::SideFiles side;
    testcards::RecordingSink sink;
    const PARTITION_INFO_T& model = card_model_table[14];
    Operation op{"format",
                 [&] {
                     testing::internal::CaptureStdout();
                     format_card(DRIVE, model.partition_start, 24);
                     testing::internal::GetCapturedStdout();
                 },
                 {{"savelist.bin", side.save_list}, {"save_info.dat", side.save_info}, {"sd_speed.ini", text_bytes("24")}},
                 {},
                 true};
    cut_at_every_write(op);
}

}  // namespace
