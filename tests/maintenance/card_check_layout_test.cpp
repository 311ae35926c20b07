// The card check on volumes whose superblock is intact but not laid out as the
// formatter lays it out, or whose partition list is out of form: each is reported,
// nothing is called clean, and repair writes nothing — no fence removed, no file moved.
#include "maintenance/card_check.h"
#include "maintenance/card_models.h"
#include "obfs/allocator.h"
#include "obfs/superblock_layout.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include "device/sector_io.h"

#include <gtest/gtest.h>

#include <functional>

using drive_layer::FakeDrive;
using testcards::CardSurgery;

namespace {

constexpr uint32_t DISK = 64u << 20;
constexpr uint32_t END = 0xFFFFFFFFu;

bool mentions(const CardCheckReport& r, const std::string& text) {
    for (const std::string& line : r.problems)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::string all_lines(const CardCheckReport& r) {
    std::string text;
    for (const std::string& line : r.problems) text += line + "\n";
    return text;
}

// The departure is reported by the check and left alone by repair: not one write
// reaches the card, and the check after it still reports it.
void expect_reported_and_left_alone(FakeDrive& card, const std::string& field) {
    const CardCheckReport found = check_card(1, false);
    EXPECT_FALSE(found.clean());
    EXPECT_FALSE(found.volume_found);
    EXPECT_TRUE(found.layout_departs);
    EXPECT_TRUE(mentions(found, field)) << all_lines(found);
    const auto before = card.peek(0, size_t(Superblock::layout_for(DISK).data_start + 3 * 256) * 512);
    card.reset_counters();
    const CardCheckReport repaired = check_card(1, true);
    EXPECT_TRUE(repaired.repairs.empty());
    EXPECT_EQ(card.counters().writes, 0u);
    EXPECT_EQ(card.peek(0, before.size()), before);
    EXPECT_FALSE(check_card(1, false).clean());
}

class LayoutCheck : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(1, DISK);
        // A file, an orphan a repair would free and a stray fence it would remove.
        CardSurgery s(*card);
        s.entry(0, "a.nds", 0, 1, 200000);
        s.data(0, testcards::pattern_bytes(1000, 1));
        s.data(1, testcards::pattern_bytes(1000, 2));
        s.map(7, MAP_NEXT);
        s.map(9, MAP_FENCE);
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    void change(const std::function<void(Superblock&)>& edit) { CardSurgery(*card).superblock(edit); }

    std::shared_ptr<FakeDrive> card;
};

TEST(LayoutDepartures, TheFormattersLayoutHasNoneAndEachFieldIsNamed) {
    for (uint32_t size : {16u << 20, 64u << 20, 257949696u, 1u << 30, 0x80000000u})
        EXPECT_TRUE(layout_departures(Superblock::layout_for(size)).empty()) << size;
    Superblock sb = Superblock::layout_for(DISK);
    sb.data_start += 256;
    sb.map_bytes += 512;
    const auto lines = layout_departures(sb);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("map_bytes is 1024"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("data_start"), std::string::npos) << lines[1];
}

TEST(LayoutDepartures, EveryCardModelsPartitionListIsInForm) {
    for (const PARTITION_INFO_T& row : card_model_table)
        EXPECT_TRUE(partition_list_departures(row.partition_start).empty()) << row.name;
}

TEST(LayoutDepartures, PartitionListsOutOfForm) {
    const struct {
        const char* what;
        uint32_t table[PARTITION_ENTRIES];
        const char* named;
    } cases[] = {
        {"first start not 0", {0x1000, END, END, END, END, END, END, END, END, END, END, END, END, END, END, END},
         "start 0"},
        {"descending", {0, 0x20000000, 0x10000000, END, END, END, END, END, END, END, END, END, END, END, END, END},
         "start 2"},
        {"twice the same", {0, 0x1000, 0x1000, END, END, END, END, END, END, END, END, END, END, END, END, END},
         "start 2"},
        {"after the end", {0, 0x1000, END, 0x2000, END, END, END, END, END, END, END, END, END, END, END, END},
         "start 3"},
        {"unended zeros", {0, 0x1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "start 2"},
    };
    for (const auto& c : cases) {
        const auto lines = partition_list_departures(c.table);
        ASSERT_FALSE(lines.empty()) << c.what;
        EXPECT_NE(lines[0].find(c.named), std::string::npos) << c.what << ": " << lines[0];
    }
}

TEST_F(LayoutCheck, DataAreaShiftedByAClusterIsNeverCalledClean) {
    // Every file would read its neighbour's bytes; the rest of the volume looks fine.
    change([](Superblock& sb) { sb.data_start += OBFS_CLUSTER_SECTORS; });
    expect_reported_and_left_alone(*card, "data_start is");
}

TEST_F(LayoutCheck, EachAreaOutOfPlaceIsReported) {
    // Areas moved or resized in ways that still keep them in order and apart.
    const struct {
        const char* named;
        std::function<void(Superblock&)> edit;
    } cases[] = {
        {"data_start is", [](Superblock& sb) { sb.data_start += 8; }},
        {"dir_start is", [](Superblock& sb) { sb.dir_start += 1, sb.data_start += 1; }},
        {"hash_start is", [](Superblock& sb) { sb.hash_start += 1, sb.dir_start += 1, sb.data_start += 1; }},
        {"map_start is",
         [](Superblock& sb) { sb.map_start += 1, sb.hash_start += 1, sb.dir_start += 1, sb.data_start += 1; }},
        {"map_bytes is",
         [](Superblock& sb) { sb.map_bytes += 512, sb.hash_start += 1, sb.dir_start += 1, sb.data_start += 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        SetUp();
        change(c.edit);
        expect_reported_and_left_alone(*card, c.named);
    }
}

TEST_F(LayoutCheck, DamagedPartitionListNeverCostsARealFence) {
    auto big = testcards::attach_fake(3, 1u << 30);
    testcards::write_blank_volume(*big, 1u << 30, {2011, 4059, 6107}, {0x10000000, 0x20000000, 0x30000000});
    // The list out of order: fences after it would fall elsewhere.
    CardSurgery s(*big);
    s.superblock([](Superblock& sb) {
        sb.partition_start[2] = 0x30000000;
        sb.partition_start[3] = 0x20000000;
    });
    const CardCheckReport found = check_card(3, false);
    EXPECT_FALSE(found.clean());
    EXPECT_TRUE(found.layout_departs);
    EXPECT_TRUE(mentions(found, "partition start 3")) << all_lines(found);
    big->reset_counters();
    check_card(3, true);
    EXPECT_EQ(big->counters().writes, 0u);
    for (uint32_t c : {2011u, 4059u, 6107u}) EXPECT_EQ(s.map_at(c), MAP_FENCE) << c;
}

TEST_F(LayoutCheck, FirstPartitionStartNotZeroIsReported) {
    change([](Superblock& sb) { sb.partition_start[0] = 0x400000; });
    expect_reported_and_left_alone(*card, "partition start 0");
}

TEST_F(LayoutCheck, TheFormattersLayoutIsExaminedAsBefore) {
    const CardCheckReport r = check_card(1, false);
    EXPECT_TRUE(r.volume_found);
    EXPECT_FALSE(r.layout_departs);
    EXPECT_EQ(r.orphan_clusters, 1u);
    check_card(1, true);
    EXPECT_TRUE(check_card(1, false).clean());
    EXPECT_TRUE(check_card(1, false).clean());  // a second run finds nothing either
}

}  // namespace
