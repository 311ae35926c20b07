#include "support/test_cards.h"

#include "obfs/obfs.h"
#include "obfs/superblock.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace testcards {

using drive_layer::FakeDrive;

std::shared_ptr<FakeDrive> attach_fake(unsigned n, uint64_t capacity) {
    auto drive = std::make_shared<FakeDrive>(capacity);
    drive_layer::drive_table().attach(n, drive);
    return drive;
}

void write_blank_volume(FakeDrive& drive, uint32_t disk_size,
                        const std::vector<uint32_t>& fence_clusters,
                        const std::vector<uint32_t>& starts) {
    Superblock sb = Superblock::layout_for(disk_size);
    for (uint32_t i = 0; i < PARTITION_ENTRIES; ++i) sb.partition_start[i] = 0xFFFFFFFFu;
    sb.partition_start[0] = 0;
    for (size_t i = 0; i < starts.size() && i + 1 < PARTITION_ENTRIES; ++i)
        sb.partition_start[i + 1] = starts[i];
    std::vector<uint8_t> map(sb.map_bytes, 0xFF);
    const uint32_t clusters = sb.cluster_count();
    for (uint32_t i = 0; i < clusters && i < map.size(); ++i) map[i] = 0x00;
    for (uint32_t c : fence_clusters)
        if (c < map.size()) map[c] = 0x80;
    sb.map_crc = crc16(0, map.data(), map.size());
    uint8_t sector[512] = {};
    sb.encode(sector);
    sb.header_crc = crc16(0, sector, SB_HEADER_CRC_SPAN);
    sb.encode(sector);
    drive.poke(0, sector, sizeof sector);
    drive.poke(uint64_t(sb.map_start) * 512, map.data(), map.size());
    std::vector<uint8_t> zeros((uint64_t(sb.data_start) - sb.hash_start) * 512, 0);
    drive.poke(uint64_t(sb.hash_start) * 512, zeros.data(), zeros.size());
}

std::shared_ptr<FakeDrive> blank_card(unsigned n, uint32_t disk_size) {
    auto drive = attach_fake(n, disk_size);
    write_blank_volume(*drive, disk_size);
    return drive;
}

std::vector<uint8_t> pattern_bytes(size_t length, uint32_t seed) {
    std::vector<uint8_t> out(length);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = uint8_t(x);
    }
    return out;
}

TempDir::TempDir() {
    // A fresh folder of a random name: created only when the name was free.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "obtest-%08x", unsigned(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).string();
            return;
        }
    }
    path_ = (base / "obtest-fallback").string();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void write_host_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string read_host_text(const std::string& path) {
    const auto bytes = read_host_file(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> read_host_file(const std::string& path) {
    std::ifstream in(fs_path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace testcards
