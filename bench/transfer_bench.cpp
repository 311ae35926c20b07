// Transfer benchmark: copies between host files and a 2 GiB card image through
// copy_win_to_ob / copy_ob_to_win, against the plain tools a Linux user would reach for:
// dd of the same bytes into and out of the same image, and mcopy into and out of a
// 2 GiB FAT32 image followed by a sync. Also lists a card of 1024 files and counts the
// read-window loads. Every timed run starts with the files involved out of the page
// cache and ends with the written data on the disk.
//
//   transfer_bench [--quick] [--small | --large]
//     --quick: 64 MiB instead of 256 MiB, 2 rounds instead of 5 (9 for the small files)
//     --small: only the 64 small files
//     --large: only the one large file
//   OB_BENCH_DIR=/some/folder     where the images go (default /var/tmp)
//   OB_BENCH_KEEP=1               keep the images afterwards
#include "views/card_rows.h"
#include "bench/bench_support.h"
#include "device/drive_layer.h"
#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr uint32_t IMAGE_BYTES = 0x80000000u;  // 2 GiB
constexpr uint8_t DRIVE = 1;
constexpr int SMALL_FILES = 64;
constexpr uint32_t SMALL_BYTES = 1u << 20;
constexpr int LIST_FILES = 1024;

std::string work_dir;

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool have_tool(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// dd writes with the request size of our copies to the card.
std::string dd_write_size() { return std::to_string(CARD_WRITE_CHUNK >> 10) + "K"; }

bool run(const std::string& command) {
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    if (rc != 0) std::printf("  command failed (%d): %s\n", rc, command.c_str());
    return rc == 0;
}

// Pushes a file's dirty pages to the disk and drops it from the page cache, so the
// next run reads it from the disk like a file that was not just touched.
void drop_cache(const std::string& path) {
    // Whatever is still dirty anywhere (earlier runs, other programs) goes to the disk
    // now rather than during the next timed run.
    sync();
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void write_file(const std::string& path, uint32_t bytes, uint32_t seed) {
    bench::write_pattern_file(path, bytes, seed);
    drop_cache(path);
}

// An empty OBFS volume over the whole image: superblock, cluster map with every data
// cluster free, zero hash table and directory; the data area stays sparse.
bool make_blank_card(const std::string& path) {
    Superblock sb = Superblock::layout_for(IMAGE_BYTES);
    for (uint32_t i = 0; i < PARTITION_ENTRIES; ++i) sb.partition_start[i] = i ? 0xFFFFFFFFu : 0;
    std::vector<uint8_t> head(size_t(sb.data_start) * 512, 0);
    uint8_t* map = head.data() + size_t(sb.map_start) * 512;
    std::memset(map, MAP_BEYOND, sb.map_bytes);
    std::memset(map, 0x00, sb.cluster_count());
    sb.map_crc = crc16(0, map, sb.map_bytes);
    sb.encode(head.data());
    sb.header_crc = crc16(0, head.data(), SB_HEADER_CRC_SPAN);
    sb.encode(head.data());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    std::fclose(f);
    return ok && truncate(path.c_str(), IMAGE_BYTES) == 0;
}

void report(const char* what, double ours, double anchor, const char* anchor_name, const char* target,
            double paired) {
    std::printf("  %-28s %7.3f s   %-22s %7.3f s   ratio %.2f  (%s; round by round, median %.2f)\n", what, ours,
                anchor_name, anchor, anchor > 0 ? ours / anchor : 0.0, target, paired);
}

void report_alone(const char* what, double ours, uint64_t bytes) {
    std::printf("  %-28s %7.3f s   %.0f MB/s\n", what, ours, bytes / ours / 1e6);
}

struct Paths {
    std::string card, fat, source, back;
    std::vector<std::string> small, small_back;
};

// The best of a few rounds: the disk of a shared machine is noisy, and every round
// runs ours and the anchors back to back so they see the same conditions.
// The small files take a fraction of a second a round, where the disk's jitter weighs
// most, so they get more rounds.
int rounds = 5;
int small_rounds = 9;

// Every round's time of each copy. The best of them is what the targets are judged
// on; the median of the round-by-round ratios (ours against the anchor run right
// after it, on the same disk conditions) is printed beside it as a steadier view.
struct Timings {
    std::vector<double> in, out, dd_in, dd_out, m_in, m_out;
};

double best(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

double median_ratio(const std::vector<double>& ours, const std::vector<double>& anchor) {
    std::vector<double> r;
    for (size_t i = 0; i < ours.size() && i < anchor.size(); ++i)
        if (anchor[i] > 0) r.push_back(ours[i] / anchor[i]);
    if (r.empty()) return 0.0;
    std::sort(r.begin(), r.end());
    return r[r.size() / 2];
}

void print_timings(const Timings& t, uint64_t bytes, bool dd, bool mtools, const char* dd_name_in,
                   const char* dd_name_out, const char* m_name, const char* dd_in_target = "target <= 1.15") {
    report_alone("host->card copy_win_to_ob", best(t.in), bytes);
    report_alone("card->host copy_ob_to_win", best(t.out), bytes);
    if (dd) {
        report("host->card vs dd", best(t.in), best(t.dd_in), dd_name_in, dd_in_target,
               median_ratio(t.in, t.dd_in));
        report("card->host vs dd", best(t.out), best(t.dd_out), dd_name_out, "target <= 1.15",
               median_ratio(t.out, t.dd_out));
    }
    if (mtools) {
        report("host->card vs mcopy", best(t.in), best(t.m_in), m_name, "target < 1", median_ratio(t.in, t.m_in));
        report("card->host vs mcopy", best(t.out), best(t.m_out), m_name, "target < 1",
               median_ratio(t.out, t.m_out));
    }
}

void bench_large(const Paths& p, uint32_t large, bool dd, bool mtools) {
    const uint64_t data_offset = uint64_t(Superblock::layout_for(IMAGE_BYTES).data_start) * 512;
    const std::string name = std::filesystem::path(p.source).filename();
    std::printf("\nOne file of %u MiB (best of %d rounds)\n", large >> 20, rounds);
    Timings t;
    for (int round = 0; round < rounds; ++round) {
        drop_cache(p.source);
        drop_cache(p.card);
        t.in.push_back(seconds([&] { copy_win_to_ob(p.source, DRIVE); }));
        if (last_copy_end() != CopyEnd::Complete) std::printf("  copy_win_to_ob did not complete\n");
        drop_cache(p.card);
        std::filesystem::remove(p.back);
        t.out.push_back(seconds([&] { copy_ob_to_win(DRIVE, name, p.back); }));
        if (last_copy_end() != CopyEnd::Complete) std::printf("  copy_ob_to_win did not complete\n");
        if (dd) {
            drop_cache(p.source);
            drop_cache(p.card);
            t.dd_in.push_back(seconds([&] {
                run("dd if=" + p.source + " of=" + p.card + " bs=" + dd_write_size() + " seek=" + std::to_string(data_offset) +
                    " oflag=seek_bytes conv=notrunc,fsync");
            }));
            drop_cache(p.card);
            std::filesystem::remove(p.back);
            t.dd_out.push_back(seconds([&] {
                run("dd if=" + p.card + " of=" + p.back + " bs=2M skip=" + std::to_string(data_offset) +
                    " count=" + std::to_string(large) + " iflag=skip_bytes,count_bytes conv=fsync");
            }));
        }
        if (mtools) {
            drop_cache(p.source);
            drop_cache(p.fat);
            t.m_in.push_back(seconds([&] {
                run("mcopy -o -i " + p.fat + " " + p.source + " ::/" + name + " && sync " + p.fat);
            }));
            drop_cache(p.fat);
            std::filesystem::remove(p.back);
            t.m_out.push_back(seconds([&] {
                run("mcopy -o -i " + p.fat + " ::/" + name + " " + p.back + " && sync " + p.back);
            }));
        }
    }
    print_timings(t, large, dd, mtools, ("dd bs=" + dd_write_size() + " fsync").c_str(), "dd bs=2M fsync", "mcopy + sync",
                  "target <= 1.1");
}

void bench_small(const Paths& p, bool dd, bool mtools) {
    std::printf("\n%d files of 1 MiB (best of %d rounds)\n", SMALL_FILES, small_rounds);
    std::string all, names, back_files;
    for (size_t i = 0; i < p.small.size(); ++i) {
        all += " " + p.small[i];
        names += " ::/" + std::filesystem::path(p.small[i]).filename().string();
        back_files += " " + p.small_back[i];
    }
    const std::string back_dir = std::filesystem::path(p.small_back[0]).parent_path();
    auto drop_sources = [&] {
        for (const auto& f : p.small) drop_cache(f);
    };
    auto remove_backs = [&] {
        for (const auto& f : p.small_back) std::filesystem::remove(f);
    };
    Timings t;
    std::vector<uint64_t> offsets;
    for (int round = 0; round < small_rounds; ++round) {
        drop_sources();
        drop_cache(p.card);
        t.in.push_back(seconds([&] {
            // A batch, as obtool put and the main window copy one: each copy names the next.
            CopyBatch batch;
            for (size_t i = 0; i < p.small.size(); ++i)
                batch.copy_to_card(p.small[i], DRIVE, i + 1 < p.small.size() ? p.small[i + 1] : std::string());
            batch.end();
        }));
        drop_cache(p.card);
        remove_backs();
        t.out.push_back(seconds([&] {
            std::vector<std::string> card_names;
            for (const std::string& f : p.small) card_names.push_back(std::filesystem::path(f).filename().string());
            CopyBatch batch;
            for (size_t i = 0; i < p.small.size(); ++i)
                batch.copy_to_host(DRIVE, card_names[i], p.small_back[i],
                                   std::span<const std::string>(card_names).subspan(i + 1));
            batch.end();
        }));
        if (dd) {
            // One dd per file onto that file's clusters, each synced, as each of our
            // copies is.
            if (offsets.empty()) {
                volume().mount(DRIVE);
                for (const auto& f : p.small) {
                    cAFFile s;
                    s.open(std::filesystem::path(f).filename(), "r", 0);
                    offsets.push_back(uint64_t(volume().cluster_to_sector(s.first_cluster)) * 512);
                }
            }
            drop_sources();
            drop_cache(p.card);
            t.dd_in.push_back(seconds([&] {
                for (size_t i = 0; i < p.small.size(); ++i)
                    run("dd if=" + p.small[i] + " of=" + p.card + " bs=" + dd_write_size() + " seek=" + std::to_string(offsets[i]) +
                        " oflag=seek_bytes conv=notrunc,fsync");
            }));
            drop_cache(p.card);
            remove_backs();
            t.dd_out.push_back(seconds([&] {
                for (size_t i = 0; i < p.small.size(); ++i)
                    run("dd if=" + p.card + " of=" + p.small_back[i] + " bs=2M skip=" + std::to_string(offsets[i]) +
                        " count=" + std::to_string(SMALL_BYTES) + " iflag=skip_bytes,count_bytes conv=fsync");
            }));
        }
        if (mtools) {
            drop_sources();
            drop_cache(p.fat);
            t.m_in.push_back(seconds([&] { run("mcopy -o -i " + p.fat + all + " ::/ && sync " + p.fat); }));
            drop_cache(p.fat);
            remove_backs();
            t.m_out.push_back(seconds([&] { run("mcopy -o -i " + p.fat + names + " " + back_dir + "/ && sync" + back_files); }));
        }
    }
    print_timings(t, uint64_t(SMALL_FILES) * SMALL_BYTES, dd, mtools, "64 x dd, fsync", "64 x dd, fsync",
                  "mcopy (one call) + sync");
}

void bench_list(const Paths& p) {
    std::printf("\nls of a card holding %d files\n", LIST_FILES);
    make_blank_card(p.card);
    volume().mount(DRIVE);
    const uint8_t byte = 0x5A;
    for (int i = 0; i < LIST_FILES; ++i) {
        cAFFile f;
        char name[32];
        std::snprintf(name, sizeof name, "file%04d.nds", i);
        if (!f.open(name, "w", 1) || f.write(&byte, 1) != 1 || !f.close()) {
            std::printf("  could not create %s\n", name);
            return;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) drop_cache(p.card);
        const uint64_t before_mount = disk_window_loads();
        volume().mount(DRIVE);
        const uint64_t mount_loads = disk_window_loads() - before_mount;
        const uint64_t before = disk_window_loads();
        std::vector<CardRow> rows;
        const double t = seconds([&] {
            rows = card_rows(DRIVE);
            sort_rows_by_caption(rows);
        });
        const uint64_t loads = disk_window_loads() - before;
        std::printf("  %-28s %7.3f s   %zu rows, window loads: %llu in all, %llu for the directory "
                    "(mount alone %llu; target <= 5)\n",
                    pass == 0 ? "card_rows, cold cache" : "card_rows, warm cache", t, rows.size(),
                    (unsigned long long)loads, (unsigned long long)(loads - mount_loads),
                    (unsigned long long)mount_loads);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false, small_only = false, large_only = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        small_only = small_only || std::strcmp(argv[i], "--small") == 0;
        large_only = large_only || std::strcmp(argv[i], "--large") == 0;
    }
    const uint32_t large = quick ? 64u << 20 : 256u << 20;
    if (quick) rounds = small_rounds = 2;
    const char* base = std::getenv("OB_BENCH_DIR");
    std::string tmpl = std::string(base ? base : "/var/tmp") + "/obbench-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        std::printf("cannot make a work folder below %s\n", base ? base : "/var/tmp");
        return 1;
    }
    work_dir = tmpl;
    set_transfer_diagnostics(nullptr);

    Paths p;
    p.card = work_dir + "/card.img";
    p.fat = work_dir + "/fat32.img";
    p.source = work_dir + "/big.bin";
    p.back = work_dir + "/big.back";
    std::filesystem::create_directory(work_dir + "/small");
    std::filesystem::create_directory(work_dir + "/back");
    for (int i = 0; i < SMALL_FILES; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%02d.bin", i);
        p.small.push_back(work_dir + "/small/" + name);
        p.small_back.push_back(work_dir + "/back/" + name);
    }

    const bool dd = have_tool("dd");
    bool mtools = have_tool("mcopy") && (have_tool("mkfs.fat") || access("/sbin/mkfs.fat", X_OK) == 0);
    if (!dd) std::printf("dd not found: its anchor is skipped\n");
    if (!mtools) std::printf("mcopy or mkfs.fat not found (scripts/deps.sh installs mtools and dosfstools): the mcopy anchor is skipped\n");

    std::printf("Transfer benchmark in %s: 2 GiB card image, %u MiB file, %d x 1 MiB files\n", work_dir.c_str(),
                large >> 20, SMALL_FILES);
    if (!make_blank_card(p.card)) {
        std::printf("cannot write the card image\n");
        return 1;
    }
    std::string error;
    if (!drive_layer::drive_table().attach_path(DRIVE, p.card, &error)) {
        std::printf("cannot attach the card image: %s\n", error.c_str());
        return 1;
    }
    if (mtools) {
        const std::string mkfs = have_tool("mkfs.fat") ? "mkfs.fat" : "/sbin/mkfs.fat";
        std::filesystem::remove(p.fat);
        mtools = run(mkfs + " -F 32 -C " + p.fat + " " + std::to_string(IMAGE_BYTES / 1024));
    }
    write_file(p.source, large, 1);
    for (int i = 0; i < SMALL_FILES; ++i) write_file(p.small[i], SMALL_BYTES, 100 + i);

    if (!small_only) bench_large(p, large, dd, mtools);
    if (!large_only) bench_small(p, dd, mtools);
    if (!small_only && !large_only) bench_list(p);

    if (!std::getenv("OB_BENCH_KEEP")) std::filesystem::remove_all(work_dir);
    return 0;
}
