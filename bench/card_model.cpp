// Card-model benchmark: each operation on a 2 GiB fake drive that times itself like a
// real card (testing/card_model.h), against its floor: the file data it moves at the
// card's sequential bandwidth, or, for operations that move no file data, the areas
// the volume format makes them read or write, once, in one sequential pass. Virtual
// time: the figures are the same on every run and every machine.
//
// in256v is in256 with verify after write: its floor adds one read of the file.
// compact closes the holes of 32 deleted files among 64: its floor is the bytes it
// moves, read once and written once.
// One line per preset and operation, to compare across commits:
//   card-model PRESET OPERATION time=SECONDS floor=SECONDS ratio=R flushes=N nonseq_writes=N
// then, per preset, the counts per file and the bytes written by kind.
//
//   card_model [PRESET...]          default: every preset
//   OB_BENCH_DIR=/some/folder        where the host files go (default /dev/shm)
#include "views/card_rows.h"
#include "bench/bench_support.h"
#include "device/drive_layer.h"
#include "testing/fake_drive.h"
#include "device/sector_io.h"
#include "maintenance/card_models.h"
#include "maintenance/compact_card.h"
#include "maintenance/format_card.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "testing/volume_areas.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using drive_layer::ByteKind;
using drive_layer::CardModel;
using drive_layer::CardModelCounters;
using drive_layer::FakeDrive;

namespace {

constexpr uint64_t CARD_BYTES = 2ull << 30;
constexpr uint8_t DRIVE = 1;
constexpr uint32_t LARGE_BYTES = 256u << 20;
constexpr int SMALL_FILES = 64;
constexpr uint32_t SMALL_BYTES = 1u << 20;

struct HostFiles {
    std::string dir, large, large_back, verified;
    std::vector<std::string> small, small_back;
};


std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

// What a format writes besides the fixed areas: the menu program and the three side
// files.
uint64_t format_file_bytes() {
    uint64_t n = 2;  // "sd_speed.ini" holds the speed as two digits
    for (const char* f : {MENU_PROGRAM_FILE, SAVE_LIST_FILE, SAVE_INFO_FILE}) {
        std::error_code ec;
        const auto size = fs::file_size(beside_program(f), ec);
        if (!ec) n += size;
    }
    return n;
}

class Run {
public:
    Run(const CardModel& model, const HostFiles& files) : model_(model), files_(files) {}

    bool all() {
        fill_card_model_table();
        card_ = fresh_card();
        const Superblock sb = Superblock::layout_for(uint32_t(CARD_BYTES));
        // Superblock, cluster map, name-hash table: what a change of the tables rewrites.
        const uint64_t tables = sb.map_bytes + OBFS_HASH_BYTES + 512;
        const uint64_t directory = uint64_t(OBFS_DIR_COUNT) * 512;
        const PARTITION_INFO_T& card_type = card_model_table[14];
        bool ok = measure("format2g", write_floor(tables + directory + format_file_bytes()), 0, [&] {
            return bench::silently([&] { return format_card(DRIVE, card_type.partition_start, card_type.speed); });
        });
        ok = measure("in256", write_floor(LARGE_BYTES), 1, [&] { return copy_in({files_.large}); }) && ok;
        ok = measure("out256", read_floor(LARGE_BYTES), 1, [&] { return copy_out({files_.large}, {files_.large_back}); }) && ok;
        // Verify after write: the copy, then one read of the file back from the card.
        ok = measure("in256v", write_floor(LARGE_BYTES) + read_floor(LARGE_BYTES), 1, [&] {
                 set_verify_after_write(true);
                 const bool copied = copy_in({files_.verified});
                 set_verify_after_write(false);
                 return copied;
             }) && ok;
        const uint64_t small_total = uint64_t(SMALL_FILES) * SMALL_BYTES;
        ok = measure("in64", write_floor(small_total), SMALL_FILES, [&] { return copy_in(files_.small); }) && ok;
        ok = measure("out64", read_floor(small_total), SMALL_FILES, [&] { return copy_out(files_.small, files_.small_back); }) && ok;
        ok = measure("replace64", write_floor(small_total), SMALL_FILES, [&] { return copy_in(files_.small); }) && ok;
        ok = measure("rm64", read_floor(tables) + write_floor(tables + SMALL_FILES * 512), SMALL_FILES, [&] {
                 bool all_deleted = true;
                 for (const std::string& f : files_.small) all_deleted = delete_ob_file(DRIVE, name_of(f)) == 0 && all_deleted;
                 return all_deleted;
             }) && ok;
        ok = compaction() && ok;
        ok = list_full_card(sb) && ok;
        return ok;
    }

    void print_per_file() const {
        std::printf("  per file (%s):\n", model_.name.c_str());
        for (const Measured& m : measured_) {
            if (m.files == 0) continue;
            const double n = m.files;
            std::printf("    %-10s flushes %.2f  nonseq writes %.2f  commands %.1f  written:", m.op.c_str(),
                        m.c.flushes / n, m.c.nonsequential_writes / n, m.c.commands / n);
            for (unsigned k = 0; k < unsigned(ByteKind::Count); ++k)
                if (m.c.bytes_written[k])
                    std::printf(" %s %.0f", drive_layer::byte_kind_name(ByteKind(k)), m.c.bytes_written[k] / n);
            std::printf("\n");
        }
        std::printf("    ls1024     window loads %llu, %llu of them for the directory (target <= 5)\n",
                    (unsigned long long)list_loads_, (unsigned long long)(list_loads_ - mount_loads_));
    }

private:
    struct Measured {
        std::string op;
        int files = 0;
        CardModelCounters c;
    };

    double write_floor(uint64_t bytes) const { return double(bytes) / model_.write_bytes_per_second; }
    double read_floor(uint64_t bytes) const { return double(bytes) / model_.read_bytes_per_second; }

    std::shared_ptr<FakeDrive> fresh_card() {
        disk_close();
        auto card = std::make_shared<FakeDrive>(CARD_BYTES);
        card->set_card_model(model_);
        card->set_card_areas(volume_areas(Superblock::layout_for(uint32_t(CARD_BYTES))));
        drive_layer::drive_table().attach(DRIVE, card);
        return card;
    }

    bool measure(const char* op, double floor, int files, const std::function<bool()>& work) {
        card_->reset_counters();
        const bool ok = work();
        const CardModelCounters c = card_->card_counters();
        measured_.push_back({op, files, c});
        std::printf("card-model %s %s time=%.4f floor=%.4f ratio=%.3f flushes=%llu nonseq_writes=%llu%s\n",
                    model_.name.c_str(), op, c.seconds, floor, floor > 0 ? c.seconds / floor : 0.0,
                    (unsigned long long)c.flushes, (unsigned long long)c.nonsequential_writes,
                    ok ? "" : " FAILED");
        std::fflush(stdout);
        return ok;
    }

    // A batch, as obtool put and the main window copy one: each copy names the next.
    bool copy_in(const std::vector<std::string>& sources) {
        CopyBatch batch;
        bool ok = true;
        for (size_t i = 0; i < sources.size(); ++i)
            ok = batch.copy_to_card(sources[i], DRIVE, i + 1 < sources.size() ? sources[i + 1] : std::string()) ==
                     CopyEnd::Complete &&
                 ok;
        return batch.end().empty() && ok;
    }

    bool copy_out(const std::vector<std::string>& names, const std::vector<std::string>& backs) {
        std::vector<std::string> card_names;
        for (const std::string& n : names) card_names.push_back(name_of(n));
        CopyBatch batch;
        bool ok = true;
        for (size_t i = 0; i < names.size(); ++i) {
            const auto following = std::span<const std::string>(card_names).subspan(i + 1);
            ok = batch.copy_to_host(DRIVE, card_names[i], backs[i], following) == CopyEnd::Complete && ok;
        }
        return batch.end().empty() && ok;
    }

    // The 64 files put back (not timed), every second one deleted, and the holes
    // closed: files above them move down. Its floor: the bytes moved, read once and
    // written once; its counts are per move.
    bool compaction() {
        bool ok = copy_in(files_.small);
        for (size_t i = 0; i < files_.small.size(); i += 2) ok = delete_ob_file(DRIVE, name_of(files_.small[i])) == 0 && ok;
        CompactPlan plan;
        ok = plan_card_compaction(DRIVE, plan) && !plan.moves.empty() && ok;
        const double floor = read_floor(plan.bytes_moved) + write_floor(plan.bytes_moved);
        return measure("compact", floor, int(plan.moves.size()), [&] {
                   return bench::silently([&] { return compact_card(DRIVE, nullptr).outcome == CompactOutcome::Done; });
               }) && ok;
    }

    // A freshly formatted card with every directory slot used, listed as the card
    // pane lists it. Filling it is not timed.
    bool list_full_card(const Superblock& sb) {
        card_ = fresh_card();
        const PARTITION_INFO_T& card_type = card_model_table[14];
        bool ok = bench::silently([&] { return format_card(DRIVE, card_type.partition_start, card_type.speed); });
        ok = ok && volume().mount(DRIVE);
        const uint8_t byte = 0x5A;
        for (int i = 0; ok && find_free_slot() != NO_SECTOR; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "file%04d.nds", i);
            cAFFile f;
            ok = f.open(name, "w", 1) && f.write(&byte, 1) == 1;
        }
        disk_close();
        const uint64_t directory_and_tables = sb.map_bytes + OBFS_HASH_BYTES + 512 + uint64_t(OBFS_DIR_COUNT) * 512;
        // The mount alone, for the loads the directory adds to it.
        uint64_t loads_before = disk_window_loads();
        ok = volume().mount(DRIVE) && ok;
        mount_loads_ = disk_window_loads() - loads_before;
        disk_close();
        loads_before = disk_window_loads();
        ok = measure("ls1024", read_floor(directory_and_tables), 0, [&] { return card_rows(DRIVE).size() > 0; }) && ok;
        list_loads_ = disk_window_loads() - loads_before;
        return ok;
    }

    CardModel model_;
    const HostFiles& files_;
    std::shared_ptr<FakeDrive> card_;
    std::vector<Measured> measured_;
    uint64_t list_loads_ = 0, mount_loads_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<CardModel> models;
    for (int i = 1; i < argc; ++i) {
        CardModel m;
        if (!drive_layer::find_card_model(argv[i], &m)) {
            std::fprintf(stderr, "no card model named %s\n", argv[i]);
            return 2;
        }
        models.push_back(m);
    }
    if (models.empty()) models = drive_layer::card_model_presets();

    bench::put_format_stand_ins();
    set_transfer_diagnostics(nullptr);
    const char* base = std::getenv("OB_BENCH_DIR");
    std::string tmpl = std::string(base ? base : (fs::exists("/dev/shm") ? "/dev/shm" : "/var/tmp")) + "/obcard-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        std::fprintf(stderr, "cannot make a work folder %s\n", tmpl.c_str());
        return 1;
    }
    HostFiles files;
    files.dir = tmpl;
    fs::create_directory(files.dir + "/back");
    files.large = files.dir + "/big.bin";
    files.large_back = files.dir + "/back/big.bin";
    bench::write_pattern_file(files.large, LARGE_BYTES, 1);
    files.verified = files.dir + "/verified.bin";
    bench::write_pattern_file(files.verified, LARGE_BYTES, 2);
    for (int i = 0; i < SMALL_FILES; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%02d.bin", i);
        files.small.push_back(files.dir + "/" + name);
        files.small_back.push_back(files.dir + "/back/" + name);
        bench::write_pattern_file(files.small.back(), SMALL_BYTES, 100 + i);
    }

    bool ok = true;
    std::vector<Run> runs;
    for (const CardModel& m : models) {
        runs.emplace_back(m, files);
        ok = runs.back().all() && ok;
        disk_close();
        drive_layer::drive_table().detach(DRIVE);
    }
    for (const Run& r : runs) r.print_per_file();
    fs::remove_all(files.dir);
    return ok ? 0 : 1;
}
