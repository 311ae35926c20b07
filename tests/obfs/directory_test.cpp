#include "stream_card_fixture.h"

#include <algorithm>
#include <cstring>

using DirectoryTest = CardTest;

namespace {

// Two short names with the same hash, and a name whose hash is 0.
const std::string COLLIDES_A = "f343.nds";
const std::string COLLIDES_B = "f522.nds";
const std::string HASHES_TO_ZERO = ".ZcJrMBC";

std::string numbered(int i) { return "file" + std::to_string(i) + ".nds"; }

}  // namespace

TEST(NameHash, KnownValuesAndSkippedBytesOfLongNames) {
    EXPECT_EQ(name_hash("abc"), 0x000308E7u);
    EXPECT_EQ(name_hash(""), 0u);
    EXPECT_EQ(name_hash(HASHES_TO_ZERO), 0u);
    EXPECT_EQ(name_hash(COLLIDES_A), name_hash(COLLIDES_B));
    // 40-byte names: every second byte from the end counts, so byte 0 does not.
    std::string a(40, 'x'), b(40, 'x'), c(40, 'x');
    b[0] = 'y';
    c[1] = 'y';
    EXPECT_EQ(name_hash(a), name_hash(b));
    EXPECT_NE(name_hash(a), name_hash(c));
}

TEST(NameHash, NewNamesMustFitTheEntryAndBeToldFromAFreeSlot) {
    EXPECT_TRUE(valid_new_name(std::string(MAX_NAME_BYTES, 'n')));
    EXPECT_FALSE(valid_new_name(std::string(MAX_NAME_BYTES + 1, 'n')));
    EXPECT_FALSE(valid_new_name(""));
    EXPECT_FALSE(valid_new_name(HASHES_TO_ZERO));
    EXPECT_FALSE(valid_new_name(std::string("a\0b", 3)));
}

TEST_F(DirectoryTest, CreateWritesEntryHashAndFirstCluster) {
    ASSERT_TRUE(create_file("Game.nds", 7));
    const auto entry = sector_on_card(dir_start());
    EXPECT_STREQ(reinterpret_cast<const char*>(entry.data()), "Game.nds");
    EXPECT_EQ(get_le16(entry.data() + DE_ATTRIBUTES), ATTR_ARCHIVE);
    EXPECT_EQ(get_le32(entry.data() + DE_FIRST_CLUSTER), 7u);
    EXPECT_EQ(get_le32(entry.data() + DE_LAST_CLUSTER), 7u);
    EXPECT_EQ(get_le32(entry.data() + DE_SIZE), 0u);
    EXPECT_EQ(hash_on_card(0), name_hash("Game.nds"));
    EXPECT_EQ(map_on_card(7), MAP_FIRST);
    EXPECT_EQ(find_file_sector("Game.nds"), dir_start());
    const DirSector found = find_file("Game.nds");
    EXPECT_TRUE(std::equal(found.begin(), found.end(), entry.begin()));
}

TEST_F(DirectoryTest, NamesAreCaseSensitiveAndExact) {
    ASSERT_TRUE(create_file("Game.nds", NO_CLUSTER));
    ASSERT_TRUE(create_file("game.nds", NO_CLUSTER));
    EXPECT_EQ(find_file_sector("Game.nds"), dir_start());
    EXPECT_EQ(find_file_sector("game.nds"), dir_start() + 1);
    EXPECT_FALSE(file_exists("GAME.NDS"));
    EXPECT_FALSE(file_exists("Game.nd"));
    EXPECT_FALSE(file_exists("Game.nds "));
}

TEST_F(DirectoryTest, CollidingNamesAreToldApartAndDeletedSeparately) {
    std::string long_a(40, 'x'), long_b(40, 'x');
    long_b[0] = 'y';
    for (const auto& n : {COLLIDES_A, long_a, COLLIDES_B, long_b}) ASSERT_TRUE(create_file(n, NO_CLUSTER));
    EXPECT_EQ(find_file_sector(COLLIDES_A), dir_start() + 0);
    EXPECT_EQ(find_file_sector(long_a), dir_start() + 1);
    EXPECT_EQ(find_file_sector(COLLIDES_B), dir_start() + 2);
    EXPECT_EQ(find_file_sector(long_b), dir_start() + 3);

    ASSERT_TRUE(delete_file(COLLIDES_A));
    ASSERT_TRUE(delete_file(long_b));
    EXPECT_FALSE(file_exists(COLLIDES_A));
    EXPECT_FALSE(file_exists(long_b));
    EXPECT_EQ(find_file_sector(COLLIDES_B), dir_start() + 2);
    EXPECT_EQ(find_file_sector(long_a), dir_start() + 1);
    AF_FIND_DATA_T rec;
    EXPECT_EQ(find_first(rec), 1);
    EXPECT_EQ(find_next(2, rec), 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.name), COLLIDES_B.c_str());
    EXPECT_EQ(find_next(3, rec), -1);
}

TEST_F(DirectoryTest, LookupReadsOnlySectorsWhoseHashMatches) {
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(create_file(numbered(i), NO_CLUSTER));
    ASSERT_TRUE(create_file(COLLIDES_A, NO_CLUSTER));  // slot 300
    ASSERT_TRUE(create_file(COLLIDES_B, NO_CLUSTER));  // slot 301
    uint8_t scratch[512];
    const auto move_window_away = [&] {
        ASSERT_TRUE(disk_read_sector(0, scratch));
        drive->reset_counters();
    };

    // The window loads at the one matching slot: no earlier slot was read.
    move_window_away();
    EXPECT_EQ(find_file_sector(numbered(250)), dir_start() + 250);
    EXPECT_EQ(drive->counters().reads, 1u);
    EXPECT_EQ(disk_window_start(), dir_start() + 250);

    // A colliding name reads its partner's slot first, and nothing else.
    move_window_away();
    EXPECT_EQ(find_file_sector(COLLIDES_B), dir_start() + 301);
    EXPECT_EQ(drive->counters().reads, 1u);
    EXPECT_EQ(disk_window_start(), dir_start() + 300);

    // A name whose hash no slot holds reads nothing; so does one that cannot be stored.
    move_window_away();
    EXPECT_FALSE(file_exists("not-there.nds"));
    EXPECT_FALSE(file_exists(""));
    EXPECT_FALSE(file_exists(std::string(300, 'q')));
    EXPECT_EQ(drive->counters().reads, 0u);
}

TEST_F(DirectoryTest, EnumerationGoesInSlotOrderAndSkipsEmptySlots) {
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(create_file(numbered(i), NO_CLUSTER));
    ASSERT_TRUE(delete_file(numbered(1)));
    // A slot whose hash says "used" but whose sector holds no name is no file.
    vol().hash_table[2] = 0x1234;
    DirSector blank{};
    ASSERT_TRUE(disk_write_sectors(dir_start() + 2, 1, blank.data()));

    std::vector<int> slots;
    AF_FIND_DATA_T rec;
    for (int s = find_first(rec); s >= 0; s = find_next(s + 1, rec)) slots.push_back(s);
    EXPECT_EQ(slots, (std::vector<int>{0, 3}));
    EXPECT_EQ(rec.attributes, ATTR_ARCHIVE);
    EXPECT_EQ(rec.first_cluster, NO_CLUSTER);
    EXPECT_EQ(find_next(1024, rec), -1);
    EXPECT_EQ(find_next(-1, rec), -1);
}

TEST_F(DirectoryTest, EnumerationNeverHandsOutAnUnterminatedName) {
    ASSERT_TRUE(create_file("x", NO_CLUSTER));
    DirSector damaged = find_file("x");
    std::memset(damaged.data(), 'z', NAME_FIELD_BYTES);
    ASSERT_TRUE(disk_write_sectors(dir_start(), 1, damaged.data()));
    AF_FIND_DATA_T rec;
    ASSERT_EQ(find_first(rec), 0);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(rec.name)), NAME_FIELD_BYTES - 1);
}

TEST_F(DirectoryTest, The1025thFileIsRefusedAndAFreedSlotIsReusedFirst) {
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) ASSERT_TRUE(create_file(numbered(int(i)), NO_CLUSTER)) << i;
    drive->reset_counters();
    EXPECT_EQ(find_free_slot(), NO_SECTOR);
    EXPECT_FALSE(create_file("one-too-many", 5));
    EXPECT_EQ(vol().cluster_map[5], MAP_FREE);
    EXPECT_EQ(drive->counters().writes, 0u);

    ASSERT_TRUE(delete_file(numbered(700)));
    ASSERT_TRUE(delete_file(numbered(100)));
    ASSERT_TRUE(create_file("newcomer", NO_CLUSTER));
    EXPECT_EQ(find_file_sector("newcomer"), dir_start() + 100);
}

TEST_F(DirectoryTest, DeleteClearsOnlyTheFirstNameByteAndReleasesTheRun) {
    ASSERT_TRUE(write_file("old.sav", testcards::pattern_bytes(K + 10, 1), 2 * K));
    const AF_FIND_DATA_T before = record_of("old.sav");
    ASSERT_EQ(before.last_cluster, before.first_cluster + 1);
    drive->reset_counters();
    ASSERT_TRUE(delete_file("old.sav"));
    EXPECT_GE(drive->counters().flushes, 1u);

    const auto entry = sector_on_card(dir_start());
    EXPECT_EQ(entry[0], 0);
    EXPECT_EQ(std::memcmp(entry.data() + 1, "ld.sav", 7), 0);
    EXPECT_EQ(get_le32(entry.data() + DE_FIRST_CLUSTER), before.first_cluster);
    EXPECT_EQ(get_le32(entry.data() + DE_LAST_CLUSTER), before.last_cluster);
    EXPECT_EQ(get_le32(entry.data() + DE_SIZE), K + 10);
    EXPECT_EQ(hash_on_card(0), 0u);
    EXPECT_EQ(map_on_card(before.first_cluster), MAP_FREE);
    EXPECT_EQ(map_on_card(before.last_cluster), MAP_FREE);
}

TEST_F(DirectoryTest, DeleteOfAMissingOrEmptyNameWritesNothing) {
    ASSERT_TRUE(create_file("here", NO_CLUSTER));
    drive->reset_counters();
    EXPECT_FALSE(delete_file("there"));
    EXPECT_FALSE(delete_file(""));
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_TRUE(file_exists("here"));
}

TEST_F(DirectoryTest, DeleteOfAFileWithoutClustersStillWritesTheHashTable) {
    ASSERT_TRUE(create_file("empty", NO_CLUSTER));
    ASSERT_TRUE(delete_file("empty"));
    EXPECT_EQ(hash_on_card(0), 0u);
    EXPECT_GE(drive->counters().flushes, 1u);
}

TEST_F(DirectoryTest, CreateRefusesNamesThatCannotBeStored) {
    EXPECT_FALSE(create_file("", NO_CLUSTER));
    EXPECT_FALSE(create_file(std::string(MAX_NAME_BYTES + 1, 'n'), NO_CLUSTER));
    EXPECT_FALSE(create_file(HASHES_TO_ZERO, 3));
    EXPECT_FALSE(create_file("beyond", clusters()));
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(find_free_slot(), dir_start());
    EXPECT_TRUE(create_file(std::string(MAX_NAME_BYTES, 'n'), NO_CLUSTER));
    EXPECT_TRUE(file_exists(std::string(MAX_NAME_BYTES, 'n')));
}

TEST_F(DirectoryTest, FailedEntryWriteUndoesTheHashEntry) {
    drive->fail_write_at(1);
    EXPECT_FALSE(create_file("lost", 3));
    EXPECT_EQ(vol().hash_table[0], 0u);
    EXPECT_EQ(vol().cluster_map[3], MAP_FREE);
    EXPECT_EQ(find_free_slot(), dir_start());
    EXPECT_FALSE(file_exists("lost"));
}

TEST_F(DirectoryTest, FailedTableFlushTakesTheNewFileBackOut) {
    drive->fail_write_at(2);  // the entry lands, the cluster map does not
    EXPECT_FALSE(create_file("half", 3));
    EXPECT_EQ(vol().hash_table[0], 0u);
    EXPECT_EQ(vol().cluster_map[3], MAP_FREE);
    EXPECT_EQ(sector_on_card(dir_start())[0], 0);
    EXPECT_EQ(map_on_card(3), MAP_FREE);
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_FALSE(file_exists("half"));
}

TEST_F(DirectoryTest, UnmountedVolumeGivesEmptyResults) {
    ASSERT_TRUE(create_file("kept", NO_CLUSTER));
    testcards::attach_fake(2, 8u << 20);
    ASSERT_FALSE(volume().mount(2));
    AF_FIND_DATA_T rec;
    EXPECT_EQ(find_first(rec), -1);
    EXPECT_EQ(find_file("kept"), DirSector{});
    EXPECT_EQ(find_file_sector("kept"), NO_SECTOR);
    EXPECT_EQ(find_free_slot(), NO_SECTOR);
    EXPECT_FALSE(create_file("new", NO_CLUSTER));
    EXPECT_FALSE(delete_file("kept"));
    drive_layer::drive_table().detach(2);
}
