// Failed writes and failed flushes at every position of every operation that changes a
// card: put of a new file, put replacing a file (the new run beside the old one, and
// the new run over the old one's clusters), rm, format, set-speed, update-savelist,
// install-menu, install-moonshell, check --repair, and a clone from a second card in the
// same process onto this one (the faults hit the target; the source is only read).
//
// A clean run on a copy of the prepared card counts the operation's device writes and
// flushes; then, for each k, a fresh copy fails its k-th write (and, in a second
// round, its k-th flush) while the operation runs. Afterwards the operation has either
// said so (false, a failure box, a stopped copy) and every file that was on the card
// before and that it does not write still reads back byte for byte — or it reported
// success and the card is exactly in its success state. Success with anything else on
// the card is the fault this sweep is here to find.
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "maintenance/card_clone.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_commands.h"
#include "maintenance/maintenance_messages.h"
#include "maintenance/menu_install.h"
#include "maintenance/side_files.h"
#include "obfs/allocator.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/card_object.h"
#include "support/card_surgery.h"
#include "support/prepared_card.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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

// The menu program area as an installation of `program` leaves it: the program, then
// zeros to the end of its last 32 KiB chunk.
Bytes menu_area_with(const Bytes& program) {
    Bytes area(program);
    area.resize((program.size() + MENU_CHUNK_BYTES - 1) / MENU_CHUNK_BYTES * MENU_CHUNK_BYTES, 0);
    return area;
}

struct Operation {
    std::string what;
    std::function<bool()> run;        // true when the operation reported success
    Files written;                    // what it writes, with the final bytes
    std::set<std::string> deleted;
    bool formats = false;             // nothing from before survives a success
    Bytes menu_area;                  // the menu area a success leaves (empty: untouched)
    // A written file whose old bytes must survive a failure (a replace beside the old run).
    std::set<std::string> keeps_old_on_failure;
};

Operation operation(const std::string& what, std::function<bool()> run, Files written = {}) {
    Operation op;
    op.what = what;
    op.run = std::move(run);
    op.written = std::move(written);
    return op;
}

struct Tally {
    unsigned tried = 0, failed = 0, succeeded = 0;
};

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        // The standard files in clusters 0-9, then savelist.bin in 10; free from 11 on.
        prepared = testcards::prepare_card(
            DRIVE, CARD_BYTES, testcards::standard_files({{"savelist.bin", pattern_bytes(900, 6)}}), &before);
        ASSERT_TRUE(prepared);
    }
    void TearDown() override {
        disk_close();
        close_menu_drive();
        drive_layer::drive_table().clear();
    }

    // Fills every free cluster but one with a file, so a replace finds no room beside
    // the old run and must reuse its clusters.
    void fill_card() {
        drive_layer::drive_table().attach(DRIVE, prepared);
        ASSERT_TRUE(volume().mount(DRIVE));
        const uint32_t free_clusters = allocatable_clusters() - 11;
        before["filler.bin"] = pattern_bytes(size_t(free_clusters - 1) * K, 7);
        ASSERT_TRUE(testcards::put_card_file("filler.bin", before["filler.bin"]));
        ASSERT_TRUE(disk_flush());
        disk_close();
    }

    std::string host_file(const std::string& name, const Bytes& bytes) {
        testcards::write_host_file(host.file(name), bytes);
        return host.file(name);
    }

    std::shared_ptr<FakeDrive> fresh_card() { return testcards::attach_copy(DRIVE, *prepared); }

    // The card is exactly what a success leaves.
    std::string judge_success(FakeDrive& card, const Operation& op) {
        const Files want = testcards::files_after(before, op.written, op.deleted, op.formats);
        std::string why = testcards::differences_from(DRIVE, want);
        if (!op.menu_area.empty() && card.peek(MENU_AREA_OFFSET, op.menu_area.size()) != op.menu_area)
            why += "menu area differs; ";
        return why;
    }

    // After a reported failure: what was committed before and is not the operation's
    // business reads back unchanged.
    std::string judge_failure(const Operation& op) {
        if (op.formats) return {};  // a failed format may leave no volume at all
        std::ostringstream why;
        bool mounted = false;
        const std::map<std::string, CardFile> now = testcards::card_contents(DRIVE, &mounted);
        if (!mounted) return "the volume does not mount";
        for (const auto& [name, bytes] : before) {
            const bool touched = op.written.count(name) || op.deleted.count(name);
            const auto it = now.find(name);
            const bool same = it != now.end() && it->second.bytes == bytes && it->second.size == bytes.size();
            if (!touched && !same) why << name << " lost or changed; ";
            if (op.keeps_old_on_failure.count(name) && !same) {
                const bool new_bytes = it != now.end() && it->second.bytes == op.written.at(name);
                if (!new_bytes) why << name << " holds neither its old nor its new bytes; ";
            }
        }
        return why.str();
    }

    // One faulty run: the k-th write (or flush) fails.
    std::string fault_once(const Operation& op, uint64_t k, bool flush, bool* reported_failure) {
        auto card = fresh_card();
        if (flush)
            card->fail_flush_at(k);
        else
            card->fail_write_at(k);
        const bool ok = op.run();
        card->fail_flush_at(0);
        card->fail_write_at(0);
        *reported_failure = !ok;
        disk_close();
        close_menu_drive();
        const std::string why = ok ? judge_success(*card, op) : judge_failure(op);
        if (why.empty()) return why;
        return std::string(ok ? "reported success, but " : "reported failure, and ") + why;
    }

    void sweep(const Operation& op) {
        auto clean = fresh_card();
        ASSERT_TRUE(op.run()) << op.what << ": the clean run failed";
        const drive_layer::FakeCounters counts = clean->counters();
        ASSERT_EQ(judge_success(*clean, op), "") << op.what << ": the clean run";
        ASSERT_GT(counts.writes, 0u);

        Tally writes, flushes;
        for (int round = 0; round < 2; ++round) {
            const bool flush = round == 1;
            const uint64_t positions = flush ? counts.flushes : counts.writes;
            Tally& t = flush ? flushes : writes;
            for (uint64_t k = 1; k <= positions; ++k) {
                bool failed = false;
                const std::string why = fault_once(op, k, flush, &failed);
                ++t.tried;
                (failed ? t.failed : t.succeeded) += 1;
                EXPECT_EQ(why, "") << op.what << ": " << (flush ? "flush " : "write ") << k << " of " << positions
                                   << " failed";
            }
        }
        std::printf("[fault sweep] %s: %u write positions, %u reported failure; %u flush positions, "
                    "%u reported failure\n",
                    op.what.c_str(), writes.tried, writes.failed, flushes.tried, flushes.failed);
        RecordProperty("write_positions", int(writes.tried));
        RecordProperty("write_failures_reported", int(writes.failed));
        RecordProperty("flush_positions", int(flushes.tried));
        RecordProperty("flush_failures_reported", int(flushes.failed));
    }

    // A copy through a batch of one, as obtool put makes it.
    static bool put(const std::string& path) {
        CopyBatch batch;
        const bool complete = batch.copy_to_card(path, DRIVE) == CopyEnd::Complete;
        return batch.end().empty() && complete;
    }

    // Whether a Tools command showed its success box and nothing else.
    static bool only_box(const testcards::RecordingSink& sink, const MaintMessage& success) {
        return sink.messages.size() == 1 && sink.messages[0].text.rfind(success.text, 0) == 0 &&
               sink.messages[0].icon == success.icon;
    }
    // A command must not show its success box after a failure box, nor both.
    static bool success_box_alone(const testcards::RecordingSink& sink, const MaintMessage& success, bool result) {
        bool success_shown = false, failure_shown = false;
        for (const Message& m : sink.messages) {
            if (m.text.rfind(success.text, 0) == 0) success_shown = true;
            if (m.icon == MsgIcon::Error) failure_shown = true;
        }
        EXPECT_FALSE(success_shown && failure_shown) << "both a success and a failure box";
        EXPECT_EQ(success_shown, result) << "the result and the boxes disagree";
        return result && only_box(sink, success);
    }

    std::shared_ptr<FakeDrive> prepared;
    Files before;
    testcards::TempDir host;
};

TEST_F(FaultSweep, PutOfANewFile) {
    const Bytes game = pattern_bytes(2 * K + 5000, 10);
    const std::string path = host_file("new.nds", game);
    sweep(operation("put of a new file", [&] { return put(path); }, {{"new.nds", game}}));
}

TEST_F(FaultSweep, PutReplacingAFileBesideItsOldRun) {
    const Bytes save = pattern_bytes(2 * K + 100, 11);
    const std::string path = host_file("old.sav", save);
    Operation op = operation("put replacing a file, new run beside the old", [&] { return put(path); },
                             {{"old.sav", save}});
    op.keeps_old_on_failure = {"old.sav"};
    sweep(op);
}

// The copy's space test counts only clusters that are free before the old file goes,
// so a put always finds room beside the old run; a stream opened for writing on a
// full card (as the default speed file is) is what takes the old run's clusters.
TEST_F(FaultSweep, ReplaceOfAFileInItsOldRun) {
    fill_card();
    const Bytes grown = pattern_bytes(2 * K, 12);
    sweep(operation("replace of a file, new run over the old (a stream on a full card)",
                    [&] { return volume().mount(DRIVE) && testcards::put_card_file("small.bin", grown); },
                    {{"small.bin", grown}}));
}

TEST_F(FaultSweep, Rm) {
    Operation op = operation("rm", [&] { return delete_ob_file(DRIVE, "victim.dat") == 0; });
    op.deleted = {"victim.dat"};
    sweep(op);
}

TEST_F(FaultSweep, Format) {
    testcards::SideFiles side;
    const int row = 14;
    const uint8_t speed = card_model_table[row].speed;
    Operation op = operation(
        "format",
        [&] {
            testcards::RecordingSink sink;
            testing::internal::CaptureStdout();
            const bool ok = format_with_model(DRIVE, row);
            testing::internal::GetCapturedStdout();
            return success_box_alone(sink, maint_msg::FORMAT_DONE, ok);
        },
        {{"savelist.bin", side.save_list},
         {"save_info.dat", side.save_info},
         {"sd_speed.ini", text_bytes(std::to_string(speed))}});
    op.formats = true;
    op.menu_area = menu_area_with(side.menu);
    sweep(op);
}

TEST_F(FaultSweep, CloneFromASecondCard) {
    testcards::CloneSource source(2);
    const Files& moved = source.files;
    ASSERT_EQ(moved.size(), 7u);
    Operation op = operation(
        "clone from a second card",
        [&] {
            CopyJob quiet;
            quiet.diagnostics = nullptr;
            CloneOptions options;
            options.model_row = 14;
            cCard target;
            const CloneReport report = clone_card(source.card.card(), 2, target, DRIVE, options, quiet);
            if (report.outcome == CloneOutcome::Done) return true;
            // A failed clone leaves no volume, its old one as it was (a first write that
            // failed), or one of whole files of the source; the report says which.
            bool mounted = false;
            const auto now = testcards::card_contents(DRIVE, &mounted);
            EXPECT_EQ(mounted, !report.no_volume_left) << "the report and the card disagree";
            Files files;
            for (const auto& [name, file] : now) files[name] = file.bytes;
            const bool old_volume = files == before;
            EXPECT_EQ(old_volume, report.outcome == CloneOutcome::Refused && mounted);
            if (!old_volume)
                for (const auto& [name, bytes] : files)
                    EXPECT_TRUE(moved.count(name) && bytes == moved.at(name)) << name << " is not the source's";
            return false;
        },
        moved);
    op.formats = true;
    op.menu_area = source.menu;
    sweep(op);
    EXPECT_EQ(source.card.drive().counters().writes, 0u) << "the source is only read";
}

TEST_F(FaultSweep, SetSpeed) {
    sweep(operation("set-speed",
                    [&] {
                        testcards::RecordingSink sink;
                        return success_box_alone(sink, maint_msg::SPEED_SET, write_default_speed(DRIVE, 24));
                    },
                    {{"sd_speed.ini", text_bytes("24")}}));
}

TEST_F(FaultSweep, UpdateSavelist) {
    testcards::SideFiles side;
    Operation op = operation("update-savelist",
                             [&] {
                                 testcards::RecordingSink sink;
                                 return success_box_alone(sink, maint_msg::UPDATE_DONE, update_save_list(DRIVE));
                             },
                             {{"savelist.bin", side.save_list}});
    op.keeps_old_on_failure = {"savelist.bin"};
    sweep(op);
}

TEST_F(FaultSweep, InstallMenu) {
    testcards::SideFiles side;
    Operation op = operation("install-menu", [&] {
        testcards::RecordingSink sink;
        testing::internal::CaptureStdout();
        const bool ok = update_menu_program(DRIVE);
        testing::internal::GetCapturedStdout();
        return success_box_alone(sink, maint_msg::UPDATE_DONE, ok);
    });
    op.menu_area = menu_area_with(side.menu);
    sweep(op);
}

TEST_F(FaultSweep, InstallMoonshell) {
    testcards::SideFiles side;
    std::filesystem::create_directory(side.path(MOONSHELL_FOLDER));
    const Files shell = {{"moonshl.nds", pattern_bytes(K + 300, 20)},
                         {"old.sav", pattern_bytes(400, 21)},  // replaces a card file
                         {"zz.ini", text_bytes("[shell]")}};
    for (const auto& [name, bytes] : shell) side.write(std::string(MOONSHELL_FOLDER) + "/" + name, bytes);
    Operation op = operation("install-moonshell",
                             [&] {
                                 testcards::RecordingSink sink;
                                 const bool ok = install_moonshell(DRIVE) == MoonShellResult::Installed;
                                 return success_box_alone(sink, maint_msg::MOONSHELL_DONE, ok);
                             },
                             shell);
    op.keeps_old_on_failure = {"old.sav"};
    sweep(op);
}

TEST_F(FaultSweep, CheckRepair) {
    // A leftover that a cut copy may leave: clusters the map marks that no file owns.
    {
        testcards::CardSurgery cut(*prepared);
        cut.map(60, MAP_FIRST);
        cut.map(61, MAP_NEXT);
    }
    sweep(operation("check --repair", [&] {
        // As obtool check --repair decides its exit status.
        const CardCheckReport first = check_card(DRIVE, true);
        if (!first.volume_found) return false;
        return first.clean() || check_card(DRIVE, false).clean();
    }));
}

}  // namespace
