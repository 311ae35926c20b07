// The card contents rows on hand-laid volumes: file rows, hidden side files, free-space
// rows between, before and after the files, fences, records without clusters, and the
// two message rows.
#include "views/card_rows.h"

#include "obfs/directory.h"
#include "obfs/superblock.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <clocale>

using drive_layer::FakeDrive;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CLUSTER = 131072;

struct Rec {
    std::string name;
    uint32_t first;
    uint32_t last;
    uint32_t size;
};

// Disk size of a volume with exactly `clusters` data clusters (small volumes keep one
// map sector, so the data area starts at the same sector).
uint32_t disk_size_for(uint32_t clusters) {
    const Superblock probe = Superblock::layout_for(16u << 20);
    return probe.data_start * 512 + clusters * CLUSTER;
}

// A blank volume with the given directory records in slots 0, 1, ... and their runs
// marked in the cluster map, written byte by byte.
std::shared_ptr<FakeDrive> card_with(uint32_t clusters, const std::vector<Rec>& records,
                                     const std::vector<uint32_t>& fences = {}) {
    const uint32_t disk_size = disk_size_for(clusters);
    auto drive = testcards::attach_fake(DRIVE, disk_size);
    testcards::write_blank_volume(*drive, disk_size, fences);
    const Superblock sb = Superblock::layout_for(disk_size);
    EXPECT_EQ(sb.cluster_count(), clusters);
    std::vector<uint8_t> map = drive->peek(uint64_t(sb.map_start) * 512, sb.map_bytes);
    std::vector<uint8_t> hash(sb.hash_bytes, 0);
    for (size_t slot = 0; slot < records.size(); ++slot) {
        const Rec& r = records[slot];
        uint8_t entry[512] = {};
        std::copy(r.name.begin(), r.name.end(), entry + DE_NAME);
        put_le16(entry + DE_ATTRIBUTES, ATTR_ARCHIVE);
        put_le32(entry + DE_FIRST_CLUSTER, r.first);
        put_le32(entry + DE_LAST_CLUSTER, r.last);
        put_le32(entry + DE_SIZE, r.size);
        drive->poke(uint64_t(sb.dir_start + slot) * 512, entry, sizeof entry);
        put_le32(hash.data() + slot * 4, name_hash(r.name));
        if (r.first == NO_CLUSTER) continue;
        for (uint32_t c = r.first; c <= r.last && c < map.size(); ++c) map[c] = c == r.first ? 0xAC : 0x02;
    }
    drive->poke(uint64_t(sb.map_start) * 512, map.data(), map.size());
    drive->poke(uint64_t(sb.hash_start) * 512, hash.data(), hash.size());
    return drive;
}

// "F:<caption>" for file rows, "free:<clusters>" for free-space rows, in row order.
std::vector<std::string> shape(const std::vector<CardRow>& rows) {
    std::vector<std::string> out;
    for (const CardRow& r : rows) {
        if (r.kind == CardRowKind::FreeSpace)
            out.push_back("free:" + std::to_string(r.first_cluster) + "-" + std::to_string(r.last_cluster));
        else
            out.push_back("F:" + r.caption);
    }
    return out;
}

using Shape = std::vector<std::string>;

TEST(SizeText, RoundsUpToKilobytesAndShowsMegabytesWithOneDecimal) {
    EXPECT_EQ(SizeText(0), "0 KB");
    EXPECT_EQ(SizeText(1), "1 KB");
    EXPECT_EQ(SizeText(1024), "1 KB");
    EXPECT_EQ(SizeText(1025), "2 KB");
    EXPECT_EQ(SizeText(1047552), "1023 KB");
    EXPECT_EQ(SizeText(1047553), "1.0 MB");
    EXPECT_EQ(SizeText(1310720), "1.2 MB");  // 1.25: the half goes to the even digit
    EXPECT_EQ(SizeText(1835008), "1.8 MB");  // 1.75
    EXPECT_EQ(SizeText(1572864), "1.5 MB");
    EXPECT_EQ(SizeText(786432), "768 KB");
    EXPECT_EQ(SizeText(10485760), "10.0 MB");
    EXPECT_EQ(SizeText(0xFFFFFFFFu), "4096.0 MB");
}

TEST(CardRows, FilesAndTheFreeRunsBetweenAndBehindThem) {
    card_with(100, {{"b.nds", 10, 19, 10 * CLUSTER}, {"a.nds", 0, 3, 4 * CLUSTER - 5}});
    const auto rows = card_rows(DRIVE);
    EXPECT_EQ(shape(rows), (Shape{"F:a.nds", "free:4-9", "F:b.nds", "free:20-99"}));
    EXPECT_EQ(rows[1].bytes, 786432u);
    EXPECT_EQ(rows[1].size_text, "768 KB");
    EXPECT_EQ(rows[1].type_text, "");
    EXPECT_EQ(rows[1].picture, 7);
    EXPECT_EQ(rows[1].caption, "<< FREE SPACE >>");
    EXPECT_EQ(rows[3].bytes, 10485760u);
    EXPECT_EQ(rows[3].size_text, "10.0 MB");
    EXPECT_EQ(rows[0].slot, 1);
    EXPECT_EQ(rows[0].bytes, 4 * CLUSTER - 5);
    EXPECT_EQ(rows[2].first_cluster, 10u);
    EXPECT_EQ(rows[2].last_cluster, 19u);
}

TEST(CardRows, LeadingGapAndTouchingFiles) {
    card_with(20, {{"x.nds", 5, 6, 1}, {"y.nds", 7, 19, 1}});
    const auto rows = card_rows(DRIVE);
    EXPECT_EQ(shape(rows), (Shape{"free:0-4", "F:x.nds", "F:y.nds"}));
    EXPECT_EQ(rows[0].size_text, "640 KB");
}

TEST(CardRows, HiddenSideFilesTakeTheirClustersButShowNoRow) {
    card_with(20, {{"a.nds", 0, 1, 1}, {"savelist.bin", 2, 3, 1}, {"c.nds", 4, 5, 1},
                   {"save_info.dat", 6, 6, 1}, {"sd_speed.ini", 7, 7, 1}, {"Savelist.bin", 8, 19, 1}});
    EXPECT_EQ(shape(card_rows(DRIVE)), (Shape{"F:a.nds", "F:c.nds", "F:Savelist.bin"}));
    EXPECT_TRUE(is_hidden_side_file("sd_speed.ini"));
    EXPECT_FALSE(is_hidden_side_file("SD_SPEED.INI"));
}

TEST(CardRows, TypeTextAndPictureFollowTheExtension) {
    card_with(10, {{"GAME.NDS", 0, 0, 1}, {"x.Sav", 1, 1, 1}, {"readme", 2, 2, 1}, {"a.tar.GZ", 3, 9, 1}});
    const auto rows = card_rows(DRIVE);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].type_text, "nds 文件");
    EXPECT_EQ(rows[0].picture, 0);
    EXPECT_EQ(rows[1].type_text, "sav 文件");
    EXPECT_EQ(rows[1].picture, 1);
    EXPECT_EQ(rows[2].type_text, " 文件");
    EXPECT_EQ(rows[2].picture, 6);
    EXPECT_EQ(rows[3].type_text, "gz 文件");
    EXPECT_EQ(rows[3].picture, 6);
    EXPECT_EQ(rows[0].size_text, "1 KB");
}

TEST(CardRows, EmptyVolumeShowsTheWholeDataAreaFree) {
    card_with(100, {});
    const auto rows = card_rows(DRIVE);
    EXPECT_EQ(shape(rows), (Shape{"free:0-99"}));
    EXPECT_EQ(rows[0].size_text, "12.5 MB");
}

TEST(CardRows, FencesSplitFreeRunsAndAreNeverShownFree) {
    card_with(100, {{"a.nds", 0, 3, 1}, {"b.nds", 10, 19, 1}}, {6, 50, 99});
    EXPECT_EQ(shape(card_rows(DRIVE)), (Shape{"F:a.nds", "free:4-5", "free:7-9", "F:b.nds", "free:20-49", "free:51-98"}));
    card_with(10, {}, {0, 9});
    EXPECT_EQ(shape(card_rows(DRIVE)), (Shape{"free:1-8"}));
    card_with(10, {{"a.nds", 0, 4, 1}}, {5});
    EXPECT_EQ(shape(card_rows(DRIVE)), (Shape{"F:a.nds", "free:6-9"}));
}

TEST(CardRows, RecordsWithoutClusterShowButMakeNoGap) {
    card_with(20, {{"none.txt", NO_CLUSTER, NO_CLUSTER, 0}, {"a.nds", 2, 3, 1}});
    const auto rows = card_rows(DRIVE);
    EXPECT_EQ(shape(rows), (Shape{"free:0-1", "F:a.nds", "F:none.txt", "free:4-19"}));
    EXPECT_EQ(rows[2].size_text, "0 KB");
}

TEST(CardRows, OverlappingRunsOfADamagedCardNeverWrapIntoHugeRows) {
    card_with(20, {{"a.nds", 0, 9, 1}, {"b.nds", 5, 7, 1}, {"c.nds", 12, 11, 1}});
    const auto rows = card_rows(DRIVE);
    EXPECT_EQ(shape(rows), (Shape{"F:a.nds", "F:b.nds", "free:10-11", "F:c.nds", "free:13-19"}));
}

TEST(CardRows, ADriveWithoutVolumeShowsTheTwoMessageRows) {
    auto drive = testcards::attach_fake(DRIVE, 16u << 20);
    uint8_t fat_boot[512] = {0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0'};
    fat_boot[510] = 0x55;
    fat_boot[511] = 0xAA;
    drive->poke(0, fat_boot, sizeof fat_boot);
    auto rows = card_rows(DRIVE);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].caption, "这不是Orbelle格式的存储设备");
    EXPECT_EQ(rows[1].caption, "如果要使用它，请在工具菜单中选择格式化");
    for (const CardRow& r : rows) {
        EXPECT_EQ(r.kind, CardRowKind::Message);
        EXPECT_EQ(r.picture, 0);
        EXPECT_EQ(r.size_text, "");
        EXPECT_EQ(r.type_text, "");
    }
    std::setlocale(LC_COLLATE, "C");
    sort_rows_by_caption(rows);
    EXPECT_EQ(rows[0].caption, "如果要使用它，请在工具菜单中选择格式化");
}

TEST(CardRows, CaptionOrderPutsFreeRowsBeforeNamesAndKeepsThemInClusterOrder) {
    card_with(40, {{"zelda.nds", 30, 31, 1}, {"Mario.nds", 10, 11, 1}, {"apple.nds", 20, 21, 1}});
    auto rows = card_rows(DRIVE);
    std::setlocale(LC_COLLATE, "C");
    sort_rows_by_caption(rows);
    EXPECT_EQ(shape(rows),
              (Shape{"free:0-9", "free:12-19", "free:22-29", "free:32-39", "F:Mario.nds", "F:apple.nds", "F:zelda.nds"}));
    EXPECT_TRUE(caption_before("<< FREE SPACE >>", "Mario.nds"));
    EXPECT_FALSE(caption_before("b", "a"));
}

}  // namespace
