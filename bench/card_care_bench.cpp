// Whole-card care, three figures:
// 1. Compaction: on cards filled and fragmented by a fixed random sequence of puts and
//    deletes (seeded; 256 MiB and 2 GiB, with the fences of card model 14), the bytes
//    the plan moves beside sliding every file down in order (as if a file could be
//    written over itself, and done safely).
// 2. Verify after write: a 256 MiB copy onto the card with and without the read-back:
//    card bytes read (fake drive) and time (image file), beside one read of the file.
// 3. Backup of a 2 GiB card holding 100 MiB: bytes read against the used bytes, and
//    time against dd copying those bytes.
#include "device/drive_layer.h"
#include "testing/fake_drive.h"
#include "device/medium_reader.h"
#include "device/sector_io.h"
#include "maintenance/card_backup.h"
#include "maintenance/card_models.h"
#include "obfs/allocator.h"
#include "obfs/compaction_plan.h"
#include "obfs/obfs.h"
#include "obfs/partition_fences.h"
#include "obfs/superblock.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;
constexpr uint8_t DRIVE = 1;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
double mib(uint64_t bytes) { return double(bytes) / 1048576.0; }

// A blank volume's first sectors (superblock, map, zero hash table and directory),
// fenced for card model 14.
std::vector<uint8_t> blank_volume_head(uint32_t disk_size, std::vector<uint8_t>* map_out = nullptr) {
    fill_card_model_table();
    Superblock sb = Superblock::layout_for(disk_size);
    std::copy(std::begin(card_model_table[14].partition_start), std::end(card_model_table[14].partition_start),
              sb.partition_start);
    std::vector<uint8_t> map(sb.map_bytes, MAP_BEYOND);
    const uint32_t clusters = sb.cluster_count();
    const std::vector<bool> fences = fence_clusters(sb.partition_start, sb.data_start, clusters);
    for (uint32_t c = 0; c < clusters; ++c) map[c] = c < fences.size() && fences[c] ? MAP_FENCE : MAP_FREE;
    sb.map_crc = crc16(0, map.data(), map.size());
    std::vector<uint8_t> head(size_t(sb.data_start) * 512, 0);
    sb.encode(head.data());
    sb.header_crc = crc16(0, head.data(), SB_HEADER_CRC_SPAN);
    sb.encode(head.data());
    std::copy(map.begin(), map.end(), head.begin() + size_t(sb.map_start) * 512);
    if (map_out) *map_out = map;
    return head;
}

// --- 1. Compaction -----------------------------------------------------------------

void compaction_figures(const char* what, uint32_t disk_size, uint32_t seed, uint32_t largest_file) {
    std::vector<uint8_t> map;
    blank_volume_head(disk_size, &map);
    const uint32_t clusters = Superblock::layout_for(disk_size).cluster_count();
    std::vector<CompactFile> files;
    std::mt19937 random(seed);
    uint32_t slot = 0;
    const auto put = [&] {
        const uint32_t size = 64 * 1024 + random() % largest_file;
        const uint32_t at = first_fit_run(map, clusters, K, size);
        if (at == NO_RUN) return false;
        const uint32_t n = (size + K - 1) / K;
        map[at] = MAP_FIRST;
        for (uint32_t c = at + 1; c < at + n; ++c) map[c] = MAP_NEXT;
        files.push_back({slot, "file" + std::to_string(slot), at, at + n - 1, size});
        ++slot;
        return true;
    };
    const auto remove = [&] {
        if (files.empty()) return;
        const size_t i = random() % files.size();
        clear_run(map, files[i].first, files[i].last);
        files.erase(files.begin() + std::ptrdiff_t(i));
    };
    // Filled until a file no longer fits, then a long use of puts and deletes.
    while (put()) {
    }
    for (int round = 0; round < 600; ++round) {
        if (random() % 2) remove();
        else put();
    }
    uint64_t used = 0;
    for (const CompactFile& f : files) used += uint64_t(f.last - f.first + 1) * K;
    const auto start = Clock::now();
    const CompactPlan plan = plan_compaction(map, clusters, files);
    const double planning = seconds_since(start);
    const uint64_t ideal = slide_down_bytes(map, clusters, files);
    const CompactPlan safe = safe_slide_down_plan(map, clusters, files);
    std::printf("%s card (seed %u): %zu files, %.1f MiB used of %.1f MiB; free runs %u -> %u (largest %.1f -> %.1f MiB)\n",
                what, seed, files.size(), mib(used), mib(uint64_t(clusters) * K), plan.free_runs_before,
                plan.free_runs_after, mib(uint64_t(plan.largest_free_before) * K),
                mib(uint64_t(plan.largest_free_after) * K));
    std::printf("  plan: %zu moves, %.1f MiB moved%s (planned in %.2f s)\n", plan.moves.size(), mib(plan.bytes_moved),
                plan.complete ? "" : ", incomplete", planning);
    std::printf("  sliding every file down in order: %.1f MiB (one copy per file that moves), "
                "%.1f MiB done safely%s\n",
                mib(ideal), mib(safe.bytes_moved), safe.complete ? "" : " (incomplete)");
    std::printf("  plan / slide: %.2f; plan / safe slide: %.2f\n", ideal ? double(plan.bytes_moved) / double(ideal) : 0.0,
                safe.bytes_moved ? double(plan.bytes_moved) / double(safe.bytes_moved) : 0.0);
}

// --- host files and image cards -------------------------------------------------------

std::string scratch_folder() {
    const char* env = std::getenv("OB_BENCH_DIR");
    std::string dir = env ? env : "bench-scratch";
    ::mkdir(dir.c_str(), 0755);
    return dir;
}

void write_random_file(const std::string& path, uint64_t bytes, uint32_t seed) {
    std::vector<uint8_t> chunk(1u << 20);
    std::mt19937 random(seed);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (uint64_t done = 0; done < bytes; done += chunk.size()) {
        for (size_t i = 0; i < chunk.size(); i += 4) *reinterpret_cast<uint32_t*>(&chunk[i]) = random();
        if (::write(fd, chunk.data(), size_t(std::min<uint64_t>(chunk.size(), bytes - done))) < 0) break;
    }
    ::fsync(fd);
    ::close(fd);
}

void make_image_card(const std::string& path, uint32_t disk_size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    const std::vector<uint8_t> head = blank_volume_head(disk_size);
    if (::ftruncate(fd, disk_size) != 0 || ::pwrite(fd, head.data(), head.size(), 0) != ssize_t(head.size()))
        std::printf("cannot make %s\n", path.c_str());
    ::fsync(fd);
    ::close(fd);
}

void drop_cache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// --- 2. Verify after write -------------------------------------------------------------

// Reads the first `size` bytes of the data area of the card on DRIVE as a plain reader
// would: 4 MiB direct reads one after the other.
double direct_read_seconds(uint64_t size) {
    MediumReader reader;
    reader.open(DRIVE);
    uint8_t* buffer = reader.scratch(4u << 20);
    const uint64_t at = uint64_t(Superblock::layout_for(512u << 20).data_start) * 512;
    const auto start = Clock::now();
    for (uint64_t done = 0; done < size; done += 4u << 20) reader.read(at + done, buffer, 4u << 20);
    return seconds_since(start);
}

void verify_figures(const std::string& dir) {
    const uint64_t size = 256ull << 20;
    const std::string source = dir + "/game256.bin";
    write_random_file(source, size, 7);
    // Bytes read from the card, counted by the fake drive.
    uint64_t read_plain = 0, read_checked = 0;
    for (bool verify : {false, true}) {
        auto card = std::make_shared<drive_layer::FakeDrive>(512ull << 20);
        const std::vector<uint8_t> head = blank_volume_head(512u << 20);
        card->poke(0, head.data(), head.size());
        drive_layer::drive_table().attach(DRIVE, card);
        set_verify_after_write(verify);
        copy_win_to_ob(source, DRIVE);
        (verify ? read_checked : read_plain) = card->counters().bytes_read;
        disk_close();
        drive_layer::drive_table().detach(DRIVE);
    }
    std::printf("verify after write, 256 MiB copy: card bytes read %.2f MiB without, %.2f MiB with "
                "(extra %.2f MiB = %.3f reads of the file)\n",
                mib(read_plain), mib(read_checked), mib(read_checked - read_plain),
                double(read_checked - read_plain) / double(size));
    // Time on an image card on the host's disk, best of five each.
    const std::string image = dir + "/verify-card.img";
    double plain = 1e9, checked = 1e9, one_read = 1e9, read_after_copy = 1e9;
    for (int round = 0; round < 5; ++round) {
        for (bool verify : {false, true}) {
            make_image_card(image, 512u << 20);
            drive_layer::drive_table().attach_path(DRIVE, image);
            set_verify_after_write(verify);
            drop_cache(source);
            const auto start = Clock::now();
            copy_win_to_ob(source, DRIVE);
            double& best = verify ? checked : plain;
            best = std::min(best, seconds_since(start));
            if (last_copy_end() != CopyEnd::Complete) std::printf("  the copy did not complete\n");
            disk_close();
            // The same read right after a plain copy, while the host may still be
            // putting the copy onto its disk: what the check's read meets.
            if (!verify) read_after_copy = std::min(read_after_copy, direct_read_seconds(size));
        }
        // One read of the file from the card, past the cache, as a plain reader would:
        // 4 MiB direct reads one after the other.
        drop_cache(image);
        one_read = std::min(one_read, direct_read_seconds(size));
    }
    set_verify_after_write(false);
    std::printf("  time (best of 5): %.2f s without, %.2f s with (extra %.2f s); one direct read of the file %.2f s; "
                "extra / one read = %.2f\n",
                plain, checked, checked - plain, one_read, (checked - plain) / one_read);
    std::printf("  the same read right after a plain copy %.2f s; extra / that read = %.2f\n", read_after_copy,
                (checked - plain) / read_after_copy);
    drive_layer::drive_table().detach(DRIVE);
    ::unlink(image.c_str());
    ::unlink(source.c_str());
}

// --- 3. Backup -------------------------------------------------------------------------

void backup_figures(const std::string& dir) {
    const std::string image = dir + "/backup-card.img", out = dir + "/backup-out.img", dd_out = dir + "/dd-out.img";
    make_image_card(image, 0x80000000u);
    drive_layer::drive_table().attach_path(DRIVE, image);
    uint64_t file_bytes = 0;
    for (int i = 0; i < 10; ++i) {
        const std::string f = dir + "/file" + std::to_string(i) + ".bin";
        const uint64_t size = (8ull << 20) + uint64_t(i) * 450 * 1024;  // 100 MiB in ten files
        write_random_file(f, size, uint32_t(100 + i));
        copy_win_to_ob(f, DRIVE);
        file_bytes += size;
        ::unlink(f.c_str());
    }
    volume().mount(DRIVE);
    uint64_t used = 0;
    for (const CardExtent& e : volume_extents(volume().header(), volume().cluster_map)) used += e.length;
    disk_close();
    double best_total = 1e9, best_dd = 1e9;
    uint64_t bytes_read = 0;
    for (int round = 0; round < 5; ++round) {
        drop_cache(image);
        ::unlink(out.c_str());
        const auto start = Clock::now();
        const CardImageReport r = backup_card(DRIVE, out, nullptr);
        const double total = seconds_since(start);
        disk_close();
        if (r.outcome != CardImageOutcome::Done) std::printf("  backup failed: %s\n", r.why.c_str());
        bytes_read = r.bytes_read;
        best_total = std::min(best_total, total);
        // dd copying as many bytes, in 4 MiB blocks, synced like the backup.
        drop_cache(image);
        const std::string dd = "dd if=" + image + " of=" + dd_out + " bs=4M count=" +
                               std::to_string((used + (4u << 20) - 1) / (4u << 20)) +
                               " iflag=direct conv=fsync status=none";
        const auto dd_start = Clock::now();
        if (std::system(dd.c_str()) != 0) std::printf("  dd failed\n");
        best_dd = std::min(best_dd, seconds_since(dd_start));
    }
    struct stat st {};
    ::stat(out.c_str(), &st);
    std::printf("backup of a 2 GiB card holding %.1f MiB of files (%.1f MiB used with tables and menu area):\n",
                mib(file_bytes), mib(used));
    std::printf("  read %.1f MiB = %.3f x the used bytes (%.3f x the files' bytes); the image takes %.1f MiB of disk\n",
                mib(bytes_read), double(bytes_read) / double(used), double(bytes_read) / double(file_bytes),
                mib(uint64_t(st.st_blocks) * 512));
    std::printf("  time (best of 5): backup with its read-back check %.2f s; dd of the same bytes %.2f s; "
                "backup / dd = %.2f\n",
                best_total, best_dd, best_total / best_dd);
    drive_layer::drive_table().detach(DRIVE);
    for (const std::string& f : {image, out, dd_out}) ::unlink(f.c_str());
}

}  // namespace

// With no argument every figure; otherwise only those named (compact, verify, backup).
int main(int argc, char** argv) {
    set_transfer_diagnostics(nullptr);
    const auto wanted = [&](const char* part) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0) return true;
        return false;
    };
    if (wanted("compact")) {
        compaction_figures("256 MiB", 256u << 20, 1, 12u << 20);
        compaction_figures("256 MiB", 256u << 20, 2, 12u << 20);
        compaction_figures("2 GiB", 0x80000000u, 1, 96u << 20);
        compaction_figures("2 GiB", 0x80000000u, 2, 96u << 20);
    }
    const std::string dir = scratch_folder();
    if (wanted("verify")) verify_figures(dir);
    if (wanted("backup")) backup_figures(dir);
    return 0;
}
