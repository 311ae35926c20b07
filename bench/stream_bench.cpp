// Stream throughput: 256 MiB written and read through cAFFile on a 2 GiB card image,
// against plain positioned writes and reads of the same bytes at the same offsets of
// the same file with the same final flush. Prints the times and the ratio each way.
//
// The card layer moves at most one cluster (256 sectors, 128 KiB) per transfer, so the
// plain side runs twice: in the same cluster-sized transfers and in the chunks the
// copies hand to the stream, 512 KiB written and 2 MiB read per call. Reads start with
// the image dropped from the page cache, so they come from the disk; writes go into the
// page cache and reach the disk with the final flush.
//
//   stream_bench [IMAGE]      (default: a scratch image in the temp folder, removed after)
#include "device/drive_layer.h"
#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t IMAGE_BYTES = 0x80000000u;   // 2 GiB
constexpr uint32_t PAYLOAD = 256u << 20;        // 256 MiB
constexpr uint32_t WRITE_CHUNK = 0x80000;       // what the host-to-card copy writes per call
constexpr uint32_t READ_CHUNK = 0x200000;       // what the card-to-host copy reads per call
constexpr uint32_t CLUSTER = OBFS_CLUSTER_BYTES;
constexpr int ROUNDS = 21;
constexpr unsigned DRIVE = 1;
const char* const NAME = "bench.bin";

bool pwrite_all(int fd, const uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w <= 0) return false;
        p += w, n -= size_t(w), at += w;
    }
    return true;
}

bool pread_all(int fd, uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, at);
        if (r <= 0) return false;
        p += r, n -= size_t(r), at += r;
    }
    return true;
}

// A sparse 2 GiB image holding an empty volume: superblock, free cluster map, zero
// hash table and directory.
bool make_image(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, IMAGE_BYTES) != 0) return false;
    Superblock sb = Superblock::layout_for(IMAGE_BYTES);
    for (uint32_t& start : sb.partition_start) start = 0xFFFFFFFFu;
    sb.partition_start[0] = 0;
    std::vector<uint8_t> map(sb.map_bytes, 0xFF);
    std::fill(map.begin(), map.begin() + sb.cluster_count(), 0x00);
    sb.map_crc = crc16(0, map.data(), map.size());
    uint8_t sector[512] = {};
    sb.encode(sector);
    sb.header_crc = crc16(0, sector, SB_HEADER_CRC_SPAN);
    sb.encode(sector);
    const std::vector<uint8_t> zeros((uint64_t(sb.data_start) - sb.hash_start) * 512, 0);
    const bool ok = pwrite_all(fd, sector, 512, 0) &&
                    pwrite_all(fd, map.data(), map.size(), off_t(sb.map_start) * 512) &&
                    pwrite_all(fd, zeros.data(), zeros.size(), off_t(sb.hash_start) * 512) && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

double seconds(const std::function<bool()>& run, bool* ok) {
    const auto t0 = std::chrono::steady_clock::now();
    *ok = run() && *ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Pushes the image out of the page cache, so reads come from the disk underneath.
void drop_cache(int fd) {
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bool scratch = argc < 2;
    const std::string path =
        scratch ? (std::filesystem::temp_directory_path() / "stream_bench.img").string() : argv[1];
    if (!make_image(path)) {
        std::fprintf(stderr, "cannot make the image %s\n", path.c_str());
        return 1;
    }
    std::string why;
    if (!drive_layer::drive_table().attach_path(DRIVE, path, &why) || !volume().mount(DRIVE)) {
        std::fprintf(stderr, "cannot mount the image %s %s\n", path.c_str(), why.c_str());
        return 1;
    }
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return 1;

    std::vector<uint8_t> payload(PAYLOAD), back(PAYLOAD);
    uint32_t x = 2463534242u;
    for (auto& b : payload) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = uint8_t(x);
    }

    bool ok = true;
    const auto stream_write = [&] {
        cAFFile f;
        if (!f.open(NAME, "w+", PAYLOAD)) return false;
        for (uint32_t at = 0; at < PAYLOAD; at += WRITE_CHUNK)
            if (f.write(payload.data() + at, WRITE_CHUNK) != WRITE_CHUNK) return false;
        return f.close();
    };
    const auto stream_read = [&] {
        cAFFile f;
        if (!f.open(NAME, "r", 0)) return false;
        uint32_t got = 0;
        for (uint32_t n; (n = f.read(back.data() + got, std::min(READ_CHUNK, PAYLOAD - got))) > 0;) got += n;
        return got == PAYLOAD;
    };
    // The first write places the file (and makes the image allocate its blocks), so
    // every timed pass rewrites the same, already allocated bytes.
    if (!stream_write()) {
        std::fprintf(stderr, "the first stream write failed\n");
        return 1;
    }
    const AF_FIND_DATA_T placed = [] {
        AF_FIND_DATA_T rec;
        find_first(rec);
        return rec;
    }();
    const off_t offset = off_t(volume().cluster_to_sector(placed.first_cluster)) * 512;
    const auto plain_write = [&](uint32_t unit) {
        return [&, unit] {
            for (uint32_t at = 0; at < PAYLOAD; at += unit)
                if (!pwrite_all(fd, payload.data() + at, unit, offset + at)) return false;
            return ::fsync(fd) == 0;
        };
    };
    const auto plain_read = [&](uint32_t unit) {
        return [&, unit] {
            for (uint32_t at = 0; at < PAYLOAD; at += unit)
                if (!pread_all(fd, back.data() + at, unit, offset + at)) return false;
            return true;
        };
    };

    // Three sides per direction: the stream, plain in clusters, plain in copy chunks.
    const std::function<bool()> writers[3] = {stream_write, plain_write(CLUSTER), plain_write(WRITE_CHUNK)};
    const std::function<bool()> readers[3] = {stream_read, plain_read(CLUSTER), plain_read(READ_CHUNK)};
    std::vector<double> wt[3], rt[3];
    for (int round = 0; round < ROUNDS; ++round) {
        // Rotate which side goes first, so none always meets a warmer disk.
        for (int i = 0; i < 3; ++i) {
            const int side = (round + i) % 3;
            ::fdatasync(fd);  // every write pass starts on clean pages
            wt[side].push_back(seconds(writers[side], &ok));
        }
        for (int i = 0; i < 3; ++i) {
            const int side = (round + i) % 3;
            drop_cache(fd);
            std::memset(back.data(), 0, back.size());
            rt[side].push_back(seconds(readers[side], &ok));
            ok = ok && back == payload;
        }
        // Each rewrite must land where the plain side writes.
        AF_FIND_DATA_T now;
        ok = ok && find_first(now) == 0 && now.first_cluster == placed.first_cluster;
    }
    ::close(fd);
    drive_layer::drive_table().detach(DRIVE);
    disk_close();
    if (scratch) std::filesystem::remove(path);
    if (!ok) {
        std::fprintf(stderr, "a transfer failed or read back wrong bytes\n");
        return 1;
    }

    const double mib = PAYLOAD / double(1 << 20);
    const auto line = [&](const char* way, std::vector<double>* t, const char* plain_op, uint32_t chunk) {
        const double s = median(t[0]), pc = median(t[1]), pk = median(t[2]);
        std::printf("  %-5s cAFFile %.3f s (%4.0f MiB/s) | plain %s in 128 KiB %.3f s (%4.0f MiB/s), ratio %.3f "
                    "(target <= 1.05) | plain %s in %u KiB %.3f s (%4.0f MiB/s), ratio %.3f\n",
                    way, s, mib / s, plain_op, pc, mib / pc, s / pc, plain_op, chunk >> 10, pk, mib / pk, s / pk);
    };
    std::printf("stream_bench: %u MiB on a 2 GiB image file, median of %d rounds, page cache dropped before "
                "each read pass\n",
                PAYLOAD >> 20, ROUNDS);
    line("write", wt, "pwrite+fsync", WRITE_CHUNK);
    line("read", rt, "pread", READ_CHUNK);
    return 0;
}
