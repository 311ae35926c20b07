// The read-back checksum on 256 MiB: XXH3 (what verify after write and backups use)
// against the hand-written four-lane multiply-xor mix it replaced, side by side in one
// run: in one piece, in the 512 KiB chunks a copy sums, and over one chunk that stays
// in the cache (the sums' own speed, as a copy sums a chunk it has just read). Prints
// the best of several rounds for each, in GB/s, and the ratios.
//
//   checksum_bench
#include "common/checksum.h"
#include "transfer/verify.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr size_t PAYLOAD = 256u << 20;
constexpr int ROUNDS = 7;

// The mix verify used before XXH3: 8-byte words dealt round to four lanes, each lane
// state ^= word, *= an odd constant, ^= itself >> 31; the lanes and the length chained
// at the end. Kept only here, to be compared with.
class FourLaneMix {
public:
    void add(const uint8_t* p, size_t length) {  // whole 32-byte blocks only
        uint64_t a = lane_[0], b = lane_[1], c = lane_[2], d = lane_[3];
        for (size_t blocks = length / 32; blocks > 0; --blocks, p += 32) {
            a = mix(a, load(p));
            b = mix(b, load(p + 8));
            c = mix(c, load(p + 16));
            d = mix(d, load(p + 24));
        }
        lane_[0] = a, lane_[1] = b, lane_[2] = c, lane_[3] = d;
        length_ += length;
    }
    uint64_t value() const {
        uint64_t state = mix(0, length_);
        for (uint64_t lane : lane_) state = mix(state, lane);
        return state;
    }

private:
    static uint64_t load(const uint8_t* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static uint64_t mix(uint64_t state, uint64_t word) {
        state ^= word;
        state *= 0xBF58476D1CE4E5B9ull;
        return state ^ (state >> 31);
    }
    uint64_t lane_[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull, 0x27D4EB2F165667C5ull};
    uint64_t length_ = 0;
};

// Best time of ROUNDS runs of `sum`, in seconds; `sink` keeps the sums alive.
double best_seconds(const std::function<uint64_t()>& sum, uint64_t* sink) {
    double best = 1e9;
    for (int r = 0; r < ROUNDS; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        *sink += sum();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main() {
    std::vector<uint8_t> bytes(PAYLOAD);
    uint32_t x = 2463534242u;
    for (uint8_t& b : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = uint8_t(x);
    }
    const uint8_t* data = bytes.data();
    constexpr size_t C = ChunkedChecksum::CHUNK;
    uint64_t sink = 0;
    // Interleaved, so both meet the same machine: each figure is the best of its rounds.
    struct Row { const char* name; std::function<uint64_t()> sum; double seconds = 0; };
    Row rows[] = {
        {"xxh3 whole", [&] { return StreamChecksum::of(data, PAYLOAD); }},
        {"mix4 whole", [&] { FourLaneMix m; m.add(data, PAYLOAD); return m.value(); }},
        {"xxh3 chunks", [&] {
             ChunkedChecksum sum;
             for (size_t at = 0; at < PAYLOAD; at += C) sum.add(data + at, C);
             return sum.value();
         }},
        {"mix4 chunks", [&] {
             FourLaneMix sums;
             for (size_t at = 0; at < PAYLOAD; at += C) {
                 FourLaneMix one;
                 one.add(data + at, C);
                 const uint64_t v = one.value();
                 uint8_t word[32] = {};
                 std::memcpy(word, &v, 8);
                 sums.add(word, 32);
             }
             return sums.value();
         }},
        // 256 MiB of summing over one 512 KiB chunk that stays in the cache, as a copy
        // sums a chunk it has just read: the sums' own speed, without the memory's.
        {"xxh3 cached", [&] {
             uint64_t all = 0;
             for (size_t at = 0; at < PAYLOAD; at += C) all += StreamChecksum::of(data, C);
             return all;
         }},
        {"mix4 cached", [&] {
             uint64_t all = 0;
             for (size_t at = 0; at < PAYLOAD; at += C) {
                 FourLaneMix one;
                 one.add(data, C);
                 all += one.value();
             }
             return all;
         }},
    };
    for (int pass = 0; pass < 2; ++pass)
        for (Row& row : rows) {
            const double s = best_seconds(row.sum, &sink);
            row.seconds = pass == 0 ? s : std::min(row.seconds, s);
        }
    for (const Row& row : rows)
        std::printf("checksum %-12s 256MiB time=%.4fs rate=%.2fGB/s\n", row.name, row.seconds, PAYLOAD / row.seconds / 1e9);
    std::printf("checksum ratio mix4/xxh3 whole=%.2f chunks=%.2f cached=%.2f (above 1: xxh3 faster)\n",
                rows[1].seconds / rows[0].seconds, rows[3].seconds / rows[2].seconds, rows[5].seconds / rows[4].seconds);
    std::printf("(sums %016llx)\n", (unsigned long long)sink);
    return 0;
}
