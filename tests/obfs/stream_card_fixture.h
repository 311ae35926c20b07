// A mounted blank card on a fake drive, with helpers to look at what reached the
// medium (as opposed to the volume's in-memory tables).
#pragma once

#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CardTest : public ::testing::Test {
protected:
    static constexpr unsigned DRIVE = 1;
    static constexpr uint32_t CARD_BYTES = 64u << 20;  // 475 clusters
    static constexpr uint32_t K = OBFS_CLUSTER_BYTES;

    std::shared_ptr<drive_layer::FakeDrive> drive;

    void SetUp() override {
        drive = testcards::blank_card(DRIVE, CARD_BYTES);
        ASSERT_TRUE(volume().mount(DRIVE));
        drive->reset_counters();
    }
    void TearDown() override { drive_layer::drive_table().detach(DRIVE); }

    static cOBFS& vol() { return volume(); }
    static uint32_t clusters() { return volume().cluster_count(); }
    static uint32_t dir_start() { return volume().dir_start(); }

    uint8_t map_on_card(uint32_t c) const {
        uint8_t b = 0;
        drive->peek(uint64_t(vol().header().map_start) * 512 + c, &b, 1);
        return b;
    }
    uint32_t hash_on_card(uint32_t slot) const {
        uint8_t b[4];
        drive->peek(uint64_t(vol().header().hash_start) * 512 + slot * 4, b, 4);
        return get_le32(b);
    }
    std::vector<uint8_t> sector_on_card(uint32_t sector) const { return drive->peek(uint64_t(sector) * 512, 512); }
    std::vector<uint8_t> cluster_bytes_on_card(uint32_t c, uint32_t length) const {
        return drive->peek(uint64_t(vol().cluster_to_sector(c)) * 512, length);
    }

    // Marks clusters in memory and writes the tables, as another file's run would.
    static void take_clusters(uint32_t first, uint32_t last, uint8_t code = MAP_NEXT) {
        for (uint32_t c = first; c <= last; ++c) volume().cluster_map[c] = code;
        ASSERT_TRUE(volume().flush());
    }

    // Whole-file helpers through the stream.
    static bool write_file(const std::string& name, const std::vector<uint8_t>& bytes, uint32_t hint) {
        cAFFile f;
        if (!f.open(name, "w+", hint)) return false;
        const bool all = bytes.empty() || f.write(bytes.data(), uint32_t(bytes.size())) == bytes.size();
        f.close();
        return all;
    }
    static std::vector<uint8_t> read_file(const std::string& name) {
        cAFFile f;
        if (!f.open(name, "r", 0)) return {};
        std::vector<uint8_t> out(f.get_size());
        if (!out.empty()) out.resize(f.read(out.data(), uint32_t(out.size())));
        return out;
    }
    static AF_FIND_DATA_T record_of(const std::string& name) {
        AF_FIND_DATA_T rec;
        for (int s = find_first(rec); s >= 0; s = find_next(s + 1, rec))
            if (name == reinterpret_cast<const char*>(rec.name)) return rec;
        return AF_FIND_DATA_T{};
    }

    // Every listed file's run is marked in the map: first 0xAC, the rest 0x02.
    static void expect_runs_marked() {
        AF_FIND_DATA_T rec;
        for (int s = find_first(rec); s >= 0; s = find_next(s + 1, rec)) {
            if (rec.first_cluster == NO_CLUSTER) continue;
            ASSERT_LE(rec.first_cluster, rec.last_cluster) << rec.name;
            EXPECT_EQ(volume().cluster_map[rec.first_cluster], MAP_FIRST) << rec.name;
            for (uint32_t c = rec.first_cluster + 1; c <= rec.last_cluster; ++c)
                EXPECT_EQ(volume().cluster_map[c], MAP_NEXT) << rec.name << " cluster " << c;
        }
    }
};
