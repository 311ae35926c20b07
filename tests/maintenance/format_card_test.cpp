#include "maintenance/format_card.h"

#include "device/sector_io.h"
#include "maint_test_util.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_messages.h"
#include "maintenance/side_files.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <set>

using drive_layer::FakeDrive;
using maint_test::bytes_of;
using maint_test::card_file;
using testcards::attach_fake;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint64_t GiB = 1024ull * 1024 * 1024;

// Drive sizes where the fixed areas leave exactly `clusters` whole data clusters
// (small drives get a one-sector map: data area from sector 9226).
constexpr uint64_t small_drive(uint32_t clusters) { return 9226ull * 512 + clusters * 131072ull; }

class FormatCard : public ::testing::Test {
protected:
    bool format_row(int row) {
        const PARTITION_INFO_T& model = card_model_table[size_t(row)];
        return format_card(DRIVE, model.partition_start, model.speed);
    }

    static std::vector<uint8_t> map_of(FakeDrive& drive) {
        const std::vector<uint8_t> sector = drive.peek(0, 512);
        return drive.peek(uint64_t(get_le32(&sector[SB_MAP_START])) * 512, get_le32(&sector[SB_MAP_BYTES]));
    }

    static std::set<uint32_t> fences_of(const std::vector<uint8_t>& map) {
        std::set<uint32_t> out;
        for (uint32_t i = 0; i < map.size(); ++i)
            if (map[i] == MAP_FENCE) out.insert(i);
        return out;
    }

    testcards::SideFiles side;
    testcards::RecordingSink sink;
};

}  // namespace

TEST(PartitionOf, CountsTheStartsAtOrBelowTheAddress) {
    for (uint32_t& entry : current_partition_table) entry = 0xFFFFFFFFu;
    current_partition_table[0] = 0;
    EXPECT_EQ(partition_of(0), 0);
    EXPECT_EQ(partition_of(0xFFFFFFFEu), 0);  // a single-partition card
    current_partition_table[1] = 0x10000000;
    current_partition_table[2] = 0x20000000;
    EXPECT_EQ(partition_of(0x0FFFFFFF), 0);
    EXPECT_EQ(partition_of(0x10000000), 1);
    EXPECT_EQ(partition_of(0x1FFFFFFF), 1);
    EXPECT_EQ(partition_of(0x20000000), 2);
    EXPECT_EQ(partition_of(0xFFFFFFFEu), 2);
    // A full table counts at most 15 further starts.
    for (uint32_t i = 1; i < PARTITION_ENTRIES; ++i) current_partition_table[i] = i * 0x100000;
    EXPECT_EQ(partition_of(0xFFFFFFFEu), 15);
}

TEST_F(FormatCard, OneGigabyteSandiskFencesTheThreePartitionChanges) {
    auto drive = attach_fake(DRIVE, GiB);
    ASSERT_TRUE(format_row(9));

    const std::vector<uint8_t> sector = drive->peek(0, 512);
    EXPECT_EQ(std::string(sector.begin(), sector.begin() + 4), "OBFS");
    for (uint32_t i = 4; i < 0x10; ++i) EXPECT_EQ(sector[i], 0) << i;
    EXPECT_EQ(get_le32(&sector[SB_DISK_SIZE]), GiB);
    EXPECT_EQ(get_le32(&sector[SB_CLUSTER_SECTORS]), 256u);
    EXPECT_EQ(get_le32(&sector[SB_PARTITION_START + 0]), 0u);
    EXPECT_EQ(get_le32(&sector[SB_PARTITION_START + 4]), 0x10000000u);
    EXPECT_EQ(get_le32(&sector[SB_PARTITION_START + 8]), 0x20000000u);
    EXPECT_EQ(get_le32(&sector[SB_PARTITION_START + 12]), 0x30000000u);
    for (uint32_t i = 4; i < PARTITION_ENTRIES; ++i)
        EXPECT_EQ(get_le32(&sector[SB_PARTITION_START + 4 * i]), 0xFFFFFFFFu);
    EXPECT_EQ(get_le32(&sector[SB_MAP_START]), 8193u);
    EXPECT_EQ(get_le32(&sector[SB_MAP_BYTES]), 8192u);
    EXPECT_EQ(get_le32(&sector[SB_HASH_START]), 8209u);
    EXPECT_EQ(get_le32(&sector[SB_HASH_BYTES]), 4096u);
    EXPECT_EQ(get_le32(&sector[SB_DIR_START]), 8217u);
    EXPECT_EQ(get_le32(&sector[SB_DIR_COUNT]), 1024u);
    EXPECT_EQ(get_le32(&sector[SB_DATA_START]), 9241u);
    EXPECT_EQ(get_le16(&sector[SB_HEADER_CRC]), crc16(0, sector.data(), SB_HEADER_CRC_SPAN));
    for (uint32_t i = 0x78; i < 512; ++i) ASSERT_EQ(sector[i], 0) << i;

    // The side files took clusters 0..2 and the speed file one more after the
    // format; everything else of the data area is as the formatter left it.
    const std::vector<uint8_t> map = map_of(*drive);
    EXPECT_EQ(get_le16(&sector[SB_MAP_CRC]), crc16(0, map.data(), map.size()));
    EXPECT_EQ(fences_of(map), (std::set<uint32_t>{2011, 4059, 6107}));
    for (uint32_t i = 8; i < 8155; ++i) {
        if (i != 2011 && i != 4059 && i != 6107) {
            ASSERT_EQ(map[i], MAP_FREE) << i;
        }
    }
    for (uint32_t i = 8155; i < 8192; ++i) ASSERT_EQ(map[i], MAP_BEYOND) << i;

    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_EQ(volume().cluster_count(), 8155u);
}

TEST_F(FormatCard, SmallKingmaxFencesNineClustersInARow) {
    auto drive = attach_fake(DRIVE, 257949696);
    ASSERT_TRUE(format_row(0));
    const std::vector<uint8_t> sector = drive->peek(0, 512);
    EXPECT_EQ(get_le32(&sector[SB_MAP_BYTES]), 2048u);
    EXPECT_EQ(get_le32(&sector[SB_HASH_START]), 8197u);
    EXPECT_EQ(get_le32(&sector[SB_DIR_START]), 8205u);
    EXPECT_EQ(get_le32(&sector[SB_DATA_START]), 9229u);
    const std::vector<uint8_t> map = map_of(*drive);
    EXPECT_EQ(fences_of(map), (std::set<uint32_t>{947, 948, 949, 950, 951, 952, 953, 954, 955}));
    EXPECT_EQ(map[1930], MAP_FREE);
    EXPECT_EQ(map[1931], MAP_BEYOND);
}

TEST_F(FormatCard, TwoGigabytesWithoutStartsHasNoFenceAndWritesTheSideFiles) {
    auto drive = attach_fake(DRIVE, 2 * GiB);
    // Stale bytes where the new menu program, tables and directory go.
    const std::vector<uint8_t> old_menu = pattern_bytes(200000, 7);
    drive->poke(512, old_menu.data(), old_menu.size());
    drive->poke(8225ull * 512, pattern_bytes(1032 * 512, 8).data(), 1032 * 512);
    ASSERT_TRUE(format_row(14));

    const std::vector<uint8_t> sector = drive->peek(0, 512);
    EXPECT_EQ(get_le32(&sector[SB_DISK_SIZE]), 0x80000000u);
    EXPECT_EQ(get_le32(&sector[SB_MAP_BYTES]), 16384u);
    EXPECT_EQ(get_le32(&sector[SB_HASH_START]), 8225u);
    EXPECT_EQ(get_le32(&sector[SB_DIR_START]), 8233u);
    EXPECT_EQ(get_le32(&sector[SB_DATA_START]), 9257u);
    const std::vector<uint8_t> map = map_of(*drive);
    EXPECT_TRUE(fences_of(map).empty());
    EXPECT_EQ(map[16346], MAP_FREE);
    for (uint32_t i = 16347; i < 16384; ++i) ASSERT_EQ(map[i], MAP_BEYOND);

    // Menu program from byte 512, zeros to the end of its third 32 KiB chunk, older
    // bytes after that.
    EXPECT_EQ(drive->peek(512, side.menu.size()), side.menu);
    EXPECT_EQ(drive->peek(512 + 70000, 98304 - 70000), std::vector<uint8_t>(98304 - 70000, 0));
    EXPECT_EQ(drive->peek(512 + 98304, 1000),
              std::vector<uint8_t>(old_menu.begin() + 98304, old_menu.begin() + 99304));

    // Three slots used, every other slot and hash entry empty again.
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_EQ(volume().cluster_count(), 16347u);
    for (uint32_t slot = 3; slot < 1024; ++slot) ASSERT_EQ(volume().hash_table[slot], 0u) << slot;
    for (uint32_t slot : {3u, 500u, 1023u})
        EXPECT_EQ(drive->peek((8233ull + slot) * 512, 512), std::vector<uint8_t>(512, 0)) << slot;

    EXPECT_EQ(card_file(DRIVE, "savelist.bin"), side.save_list);
    EXPECT_EQ(card_file(DRIVE, "save_info.dat"), side.save_info);
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("24"));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_GT(drive->counters().flushes, 0u);
}

TEST_F(FormatCard, SpeedFileHoldsOnlyTheDigits) {
    attach_fake(DRIVE, 256ull << 20);
    ASSERT_TRUE(format_row(4));  // speed 3
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("3"));
    ASSERT_TRUE(format_row(9));  // speed 13, over the first format
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("13"));
    uint32_t table[PARTITION_ENTRIES];
    std::copy(std::begin(card_model_table[14].partition_start), std::end(card_model_table[14].partition_start), table);
    ASSERT_TRUE(format_card(DRIVE, table, 255));
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("255"));
}

TEST_F(FormatCard, FormattingEmptiesACardThatHeldFiles) {
    attach_fake(DRIVE, 64ull << 20);
    ASSERT_TRUE(format_row(14));
    ASSERT_TRUE(volume().mount(DRIVE));
    {
        cAFFile f;
        ASSERT_TRUE(f.open("extra.nds", "w+", 300000));
        ASSERT_EQ(f.write(pattern_bytes(300000, 9).data(), 300000), 300000u);
    }
    ASSERT_TRUE(card_file(DRIVE, "extra.nds"));
    ASSERT_TRUE(format_row(14));
    EXPECT_FALSE(card_file(DRIVE, "extra.nds"));
    EXPECT_TRUE(card_file(DRIVE, "savelist.bin"));
}

TEST_F(FormatCard, PartitionStartInTheLastClusterFencesNothing) {
    // 256 MiB: data from sector 9229, 2011 clusters (0..2010).
    auto drive = attach_fake(DRIVE, 256ull << 20);
    uint32_t table[PARTITION_ENTRIES];
    for (uint32_t& e : table) e = 0xFFFFFFFFu;
    table[0] = 0;
    table[1] = 9229u * 512 + 2010u * 131072 + 4096;  // inside cluster 2010
    ASSERT_TRUE(format_card(DRIVE, table, 4));
    EXPECT_TRUE(fences_of(map_of(*drive)).empty());
    // The same start one cluster earlier fences cluster 2009.
    table[1] -= 131072;
    ASSERT_TRUE(format_card(DRIVE, table, 4));
    EXPECT_EQ(fences_of(map_of(*drive)), std::set<uint32_t>{2009});
    // A start exactly at a cluster's first byte fences the cluster before it.
    table[1] = 9229u * 512 + 1000u * 131072;
    ASSERT_TRUE(format_card(DRIVE, table, 4));
    EXPECT_EQ(fences_of(map_of(*drive)), std::set<uint32_t>{999});
}

// The old superblock goes first (a cut then leaves no volume instead of the old
// directory over the new map), then map, hash table and directory, then the new
// superblock.
TEST_F(FormatCard, ClearsSectorZeroThenWritesTheVolumeAndItsSuperblockLast) {
    auto drive = attach_fake(DRIVE, 256ull << 20);
    const std::vector<uint8_t> old = pattern_bytes(1040 * 512, 4);
    drive->poke(0, old.data(), 512);
    drive->poke(8193ull * 512, old.data(), old.size());
    drive->power_cut_after_write(2);  // sector 0 cleared and the map written, nothing after
    testing::internal::CaptureStdout();
    format_row(0);
    testing::internal::GetCapturedStdout();
    drive->restore_power();
    EXPECT_EQ(drive->peek(0, 512), std::vector<uint8_t>(512, 0));
    const Superblock sb = Superblock::layout_for(256u << 20);
    const auto map = drive->peek(uint64_t(sb.map_start) * 512, sb.map_bytes);
    EXPECT_EQ(fences_of(map).size(), 9u);
    EXPECT_EQ(drive->peek(8197ull * 512, 4096), std::vector<uint8_t>(old.begin() + 4 * 512, old.begin() + 12 * 512));

    // The superblock is the format's last write: the menu program and the side files
    // are on the card before it, and one write short of it there is no volume.
    auto clean = attach_fake(DRIVE, 256ull << 20);
    clean->reset_counters();
    ASSERT_TRUE(format_row(0));
    const uint64_t writes = clean->counters().writes;
    auto short_of_it = attach_fake(DRIVE, 256ull << 20);
    short_of_it->power_cut_after_write(writes - 1);
    testing::internal::CaptureStdout();
    format_row(0);
    testing::internal::GetCapturedStdout();
    short_of_it->restore_power();
    EXPECT_EQ(short_of_it->peek(0, 512), std::vector<uint8_t>(512, 0));
    EXPECT_FALSE(volume().mount(DRIVE));

    auto whole = attach_fake(DRIVE, 256ull << 20);
    whole->power_cut_after_write(writes);
    testing::internal::CaptureStdout();
    format_row(0);
    testing::internal::GetCapturedStdout();
    whole->restore_power();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole->peek(0, 4).data()), 4), "OBFS");
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_TRUE(file_exists(SAVE_LIST_FILE));
    EXPECT_TRUE(file_exists(SAVE_INFO_FILE));
    EXPECT_TRUE(file_exists(SPEED_FILE));
}

// --- refusals: nothing reaches the card --------------------------------------------

TEST_F(FormatCard, DriveThatDoesNotOpenIsNeverWritten) {
    struct Case {
        const char* what;
        uint64_t capacity;
        void (*script)(FakeDrive&);
    };
    const Case cases[] = {
        {"open fails", 256ull << 20, [](FakeDrive& d) { d.set_open_fails(true); }},
        {"fixed media", 256ull << 20, [](FakeDrive& d) { d.set_media_type(drive_layer::MEDIA_FIXED); }},
        {"over 2 GiB", 2 * GiB + 512, [](FakeDrive&) {}},
        {"no data cluster", small_drive(1) - 512, [](FakeDrive&) {}},
        {"smaller than the fixed areas", 4ull << 20, [](FakeDrive&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto drive = attach_fake(DRIVE, c.capacity);
        c.script(*drive);
        drive->reset_counters();
        // A volume mounted elsewhere before: the sector layer has left it.
        testcards::blank_card(2, 64u << 20);
        ASSERT_TRUE(volume().mount(2));
        testing::internal::CaptureStdout();
        EXPECT_FALSE(format_row(14));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(out.empty());
        EXPECT_FALSE(volume().mounted);
        EXPECT_EQ(drive->counters().bytes_written, 0u);
        EXPECT_EQ(drive->counters().writes, 0u);
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(FormatCard, DriveZeroIsNeverFormatted) {
    auto drive = attach_fake(0, 256ull << 20);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_card(0, card_model_table[14].partition_start, 24));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(drive->counters().bytes_written, 0u);
    drive_layer::drive_table().detach(0);
}

TEST_F(FormatCard, OneDataClusterIsEnoughForTheVolume) {
    auto drive = attach_fake(DRIVE, small_drive(1));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));  // the save list needs two clusters
    testing::internal::GetCapturedStdout();
    const std::vector<uint8_t> map = map_of(*drive);
    ASSERT_EQ(map.size(), 512u);
    EXPECT_EQ(map[0], MAP_FREE);
    EXPECT_EQ(map[1], MAP_BEYOND);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "传送存档列表失败");
}

// --- failures on the way ----------------------------------------------------------

TEST_F(FormatCard, FailedTableWriteFailsTheFormatBeforeTheMenuProgram) {
    for (uint64_t failing = 1; failing <= 3; ++failing) {  // superblock, map, hash table
        SCOPED_TRACE(failing);
        auto drive = attach_fake(DRIVE, 256ull << 20);
        drive->fail_write_at(failing);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(format_row(14));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(drive->counters().writes, failing - 1);
        EXPECT_EQ(drive->peek(512, 512), std::vector<uint8_t>(512, 0));  // no menu program
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(FormatCard, FailedDirectoryBlockIsReportedAndTheRestStillWritten) {
    auto drive = attach_fake(DRIVE, 256ull << 20);
    const std::vector<uint8_t> old = pattern_bytes(1024 * 512, 5);
    drive->poke(8205ull * 512, old.data(), old.size());
    drive->fail_write_at(5);  // the second of the four directory blocks
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "what\n");
    EXPECT_EQ(drive->counters().writes, 6u);  // three tables, three directory blocks
    EXPECT_EQ(drive->peek(8205ull * 512, 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(drive->peek((8205ull + 256) * 512, 512), std::vector<uint8_t>(old.begin() + 256 * 512, old.begin() + 257 * 512));
    EXPECT_EQ(drive->peek((8205ull + 1023) * 512, 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(drive->peek(512, 512), std::vector<uint8_t>(512, 0));  // no menu program
}

TEST_F(FormatCard, MissingMenuProgramLeavesAnEmptyVolume) {
    attach_fake(DRIVE, 256ull << 20);
    side.remove("obmenu2.nds");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("source file does not exist.\nfail to copy ORBBoot program.\n"), std::string::npos);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "传送菜单程序失败");
    EXPECT_EQ(sink.messages[0].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    ASSERT_TRUE(volume().mount(DRIVE));
    AF_FIND_DATA_T found;
    EXPECT_LT(find_first(found), 0);
}

TEST_F(FormatCard, MissingSaveListStopsAfterTheMenuProgram) {
    auto drive = attach_fake(DRIVE, 256ull << 20);
    side.remove("savelist.bin");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "传送存档列表失败");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(drive->peek(512, side.menu.size()), side.menu);
    EXPECT_FALSE(card_file(DRIVE, "save_info.dat"));
    EXPECT_FALSE(card_file(DRIVE, "sd_speed.ini"));
}

TEST_F(FormatCard, MissingSaveInfoStopsAfterTheSaveList) {
    attach_fake(DRIVE, 256ull << 20);
    side.remove("save_info.dat");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "传送存档信息文件失败");
    EXPECT_EQ(card_file(DRIVE, "savelist.bin"), side.save_list);
    EXPECT_FALSE(card_file(DRIVE, "sd_speed.ini"));
}

TEST_F(FormatCard, SpeedFileWithoutRoomFailsTheFormat) {
    // Three data clusters: two for the save list, one for the save info file.
    attach_fake(DRIVE, small_drive(3));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(format_row(14));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, maint_msg::FORMAT_SPEED_FAILED.text);
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(card_file(DRIVE, "save_info.dat"), side.save_info);
    EXPECT_FALSE(card_file(DRIVE, "sd_speed.ini"));
}
