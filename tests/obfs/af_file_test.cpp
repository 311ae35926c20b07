#include "stream_card_fixture.h"

#include <cstring>

using testcards::pattern_bytes;

namespace {

class StreamTest : public CardTest {
protected:
    // Sets or clears the read-only bit of a file's entry on the card.
    static void set_attributes(const std::string& name, uint16_t attributes) {
        DirSector e = find_file(name);
        put_le16(e.data() + DE_ATTRIBUTES, attributes);
        ASSERT_TRUE(disk_write_sectors(find_file_sector(name), 1, e.data()));
    }
};

}  // namespace

TEST_F(StreamTest, ModeStringsNeedExactlyOneModeLetter) {
    ASSERT_TRUE(write_file("f", {1, 2, 3}, 0));
    for (const char* ok : {"r", "rb", "R", "r+", "br+", "+a", "w+", "Wt", "a"}) {
        cAFFile f;
        EXPECT_TRUE(f.open("f", ok, 0)) << ok;
    }
    for (const char* bad : {"rw", "ra", "rr", "", "x+", "b"}) {
        cAFFile f;
        EXPECT_FALSE(f.open("f", bad, 0)) << bad;
        EXPECT_FALSE(f.is_open);
    }
    cAFFile f;
    EXPECT_FALSE(f.open("f", nullptr, 0));
    EXPECT_FALSE(f.open("", "r", 0));
}

TEST_F(StreamTest, ReadOpensOnlyPresentFilesWriteAndAppendCreate) {
    cAFFile f;
    EXPECT_FALSE(f.open("missing", "r", 0));
    EXPECT_FALSE(f.open("missing", "r+", 0));
    EXPECT_FALSE(file_exists("missing"));
    ASSERT_TRUE(f.open("by-w", "w", 0));
    f.close();
    ASSERT_TRUE(f.open("by-a", "a", 0));
    f.close();
    for (const char* n : {"by-w", "by-a"}) {
        const AF_FIND_DATA_T rec = record_of(n);
        EXPECT_EQ(rec.size, 0u) << n;
        EXPECT_NE(rec.first_cluster, NO_CLUSTER) << n;
        EXPECT_EQ(rec.first_cluster, rec.last_cluster) << n;
    }
    expect_runs_marked();
}

TEST_F(StreamTest, ReadOnlyFileOpensOnlyForReading) {
    ASSERT_TRUE(write_file("ro", {9, 9}, 0));
    set_attributes("ro", ATTR_ARCHIVE | ATTR_READONLY);
    drive->reset_counters();
    for (const char* refused : {"r+", "w", "w+", "a", "a+"}) {
        cAFFile f;
        EXPECT_FALSE(f.open("ro", refused, 0)) << refused;
    }
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(read_file("ro"), (std::vector<uint8_t>{9, 9}));
}

TEST_F(StreamTest, NewNamesAreCheckedBeforeAnythingIsWritten) {
    for (const std::string& bad : {std::string(MAX_NAME_BYTES + 1, 'n'), std::string(".ZcJrMBC")}) {
        for (const char* mode : {"w+", "a"}) {
            cAFFile f;
            EXPECT_FALSE(f.open(bad, mode, 0)) << mode;
        }
    }
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(find_free_run(0), 0u);
}

TEST_F(StreamTest, ThreeHundredThousandBytesTakeThreeClusters) {
    const auto data = pattern_bytes(300000, 7);
    cAFFile f;
    ASSERT_TRUE(f.open("big.nds", "w+", 300000));
    const uint32_t c = f.first_cluster;
    drive->reset_counters();
    EXPECT_EQ(f.write(data.data(), 300000), 300000u);
    // Two whole clusters and the 73 whole sectors that follow in one transfer (the run
    // is contiguous), then one staged last sector; nothing read, and the growth stays
    // in memory until close.
    const auto counts = drive->counters();
    EXPECT_EQ(counts.reads, 0u);
    EXPECT_EQ(counts.writes, 2u);
    EXPECT_EQ(counts.write_sizes.at(2 * K + 73 * 512), 1u);
    EXPECT_EQ(counts.write_sizes.at(512), 1u);
    EXPECT_EQ(map_on_card(c + 1), MAP_FREE);
    f.close();

    const AF_FIND_DATA_T rec = record_of("big.nds");
    EXPECT_EQ(rec.size, 300000u);
    EXPECT_EQ(rec.first_cluster, c);
    EXPECT_EQ(rec.last_cluster, c + 2);
    EXPECT_EQ(map_on_card(c), MAP_FIRST);
    EXPECT_EQ(map_on_card(c + 1), MAP_NEXT);
    EXPECT_EQ(map_on_card(c + 2), MAP_NEXT);
    EXPECT_EQ(read_file("big.nds"), data);
    // The last sector holds zeros behind the end of the file, not leftovers.
    const auto tail = cluster_bytes_on_card(c + 2, 300000 - 2 * K + 32);
    for (size_t i = 300000 - 2 * K; i < tail.size(); ++i) EXPECT_EQ(tail[i], 0) << i;
}

TEST_F(StreamTest, EachWholeClusterCallIsOneDeviceWrite) {
    const auto data = pattern_bytes(0x80000, 3);
    cAFFile f;
    ASSERT_TRUE(f.open("chunk", "w+", 0x100000));
    drive->reset_counters();
    EXPECT_EQ(f.write(data.data(), 0x80000), 0x80000u);
    EXPECT_EQ(f.write(data.data(), 0x80000), 0x80000u);
    const auto counts = drive->counters();
    EXPECT_EQ(counts.writes, 2u);
    EXPECT_EQ(counts.write_sizes.at(0x80000), 2u);
    EXPECT_EQ(counts.reads, 0u);
    EXPECT_EQ(f.last_cluster, f.first_cluster + 7);
}

TEST_F(StreamTest, GrowthStopsAtATakenCluster) {
    take_clusters(2, 2, MAP_FIRST);
    const auto data = pattern_bytes(0x80000, 4);
    cAFFile f;
    ASSERT_TRUE(f.open("short", "w+", 0));
    ASSERT_EQ(f.first_cluster, 0u);
    EXPECT_EQ(f.write(data.data(), 0x80000), 2 * K);
    EXPECT_EQ(f.cur_cluster, 1u);
    EXPECT_EQ(f.cur_sector, 256u);
    EXPECT_EQ(f.cur_offset, 0u);
    drive->reset_counters();
    EXPECT_EQ(f.write(data.data(), 0x80000), 0u);
    EXPECT_EQ(f.write(data.data(), 1), 0u);
    EXPECT_EQ(drive->counters().writes, 0u);
    f.close();
    const AF_FIND_DATA_T rec = record_of("short");
    EXPECT_EQ(rec.size, 2 * K);
    EXPECT_EQ(rec.last_cluster, 1u);
    EXPECT_EQ(read_file("short"), std::vector<uint8_t>(data.begin(), data.begin() + 2 * K));
}

TEST_F(StreamTest, AWriteEndingAtAClusterEndGrowsOnlyWithTheNextWrite) {
    const auto data = pattern_bytes(K + 100, 5);
    cAFFile f;
    ASSERT_TRUE(f.open("edge", "w", 0));
    ASSERT_EQ(f.write(data.data(), K), K);
    EXPECT_EQ(f.cur_cluster, f.first_cluster);
    EXPECT_EQ(f.cur_sector, 256u);
    EXPECT_EQ(vol().cluster_map[f.first_cluster + 1], MAP_FREE);
    ASSERT_EQ(f.write(data.data() + K, 100), 100u);
    EXPECT_EQ(f.cur_cluster, f.first_cluster + 1);
    EXPECT_EQ(vol().cluster_map[f.first_cluster + 1], MAP_NEXT);
    f.close();
    EXPECT_EQ(read_file("edge"), data);
}

TEST_F(StreamTest, OneClusterFileReadsInOneCallThenNothing) {
    const auto data = pattern_bytes(K, 6);
    ASSERT_TRUE(write_file("one", data, K));
    cAFFile f;
    ASSERT_TRUE(f.open("one", "r", 0));
    drive->reset_counters();
    std::vector<uint8_t> buf(0x200000);
    EXPECT_EQ(f.read(buf.data(), 0x200000), K);
    EXPECT_EQ(f.read(buf.data(), 0x200000), 0u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buf.begin()));
    // One straight cluster read, no window load for the sector after the file.
    EXPECT_EQ(drive->counters().reads, 1u);
    EXPECT_EQ(drive->counters().read_sizes.at(K), 1u);
}

TEST_F(StreamTest, SmallReadsDeliverWhatOneLargeReadDelivers) {
    const auto data = pattern_bytes(2 * K + 777, 8);
    ASSERT_TRUE(write_file("odd", data, 0));
    for (uint32_t chunk : {1u, 511u, 513u, 4096u, K + 1}) {
        cAFFile f;
        ASSERT_TRUE(f.open("odd", "r", 0));
        std::vector<uint8_t> got, buf(chunk);
        for (uint32_t n; (n = f.read(buf.data(), chunk)) > 0;) got.insert(got.end(), buf.begin(), buf.begin() + n);
        EXPECT_EQ(got, data) << "chunk " << chunk;
        EXPECT_EQ(f.position, f.size);
    }
}

TEST_F(StreamTest, AppendAtAClusterBoundaryGrowsIntoTheNextCluster) {
    const auto first = pattern_bytes(K, 9), more = pattern_bytes(1000, 10);
    ASSERT_TRUE(write_file("log", first, 0));
    cAFFile f;
    ASSERT_TRUE(f.open("log", "a", 0));
    const uint32_t c = f.first_cluster;
    EXPECT_EQ(f.append_cluster, c);
    EXPECT_EQ(f.append_sector, 256u);
    EXPECT_EQ(f.write(more.data(), 1000), 1000u);
    f.close();
    auto expected = first;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(read_file("log"), expected);
    EXPECT_EQ(record_of("log").last_cluster, c + 1);
    EXPECT_EQ(map_on_card(c + 1), MAP_NEXT);
}

TEST_F(StreamTest, AppendToAnEmptyFileWritesIntoItsCluster) {
    ASSERT_TRUE(write_file("empty", {}, 0));
    const uint32_t c = record_of("empty").first_cluster;
    for (int round = 0; round < 3; ++round) {
        cAFFile f;
        ASSERT_TRUE(f.open("empty", "a", 0));
        const auto piece = pattern_bytes(300, uint32_t(round));
        EXPECT_EQ(f.write(piece.data(), 300), 300u);
    }
    const AF_FIND_DATA_T rec = record_of("empty");
    EXPECT_EQ(rec.size, 900u);
    EXPECT_EQ(rec.first_cluster, c);
    EXPECT_EQ(rec.last_cluster, c);
    std::vector<uint8_t> expected;
    for (int round = 0; round < 3; ++round) {
        const auto piece = pattern_bytes(300, uint32_t(round));
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(read_file("empty"), expected);
}

TEST_F(StreamTest, AppendPlusReadsOnlyTheFilesOwnBytes) {
    const auto head = pattern_bytes(1000, 11), more = pattern_bytes(700, 12);
    ASSERT_TRUE(write_file("ap", head, 0));
    cAFFile f;
    ASSERT_TRUE(f.open("ap", "a+", 0));
    std::vector<uint8_t> buf(4096, 0xEE);
    EXPECT_EQ(f.read(buf.data(), 4096), 0u);  // reads start at the end of the file as opened
    ASSERT_EQ(f.write(more.data(), 700), 700u);
    ASSERT_EQ(f.read(buf.data(), 4096), 700u);
    EXPECT_TRUE(std::equal(more.begin(), more.end(), buf.begin()));
    EXPECT_EQ(f.read(buf.data(), 4096), 0u);
}

// A replace with room beside the old run writes there: until the stream is committed
// the card (and a reader) still sees the old file whole; close() switches the entry
// and frees the old run, discard() frees the new one and keeps the old file.
TEST_F(StreamTest, WriteOpenKeepsTheOldFileUntilTheNewOneIsCommitted) {
    const auto old_bytes = pattern_bytes(2 * K, 1), new_bytes = pattern_bytes(K + 10, 4);
    ASSERT_TRUE(write_file("a", old_bytes, 0));
    ASSERT_TRUE(write_file("b", pattern_bytes(10, 2), 0));
    ASSERT_EQ(record_of("a").first_cluster, 0u);
    {
        cAFFile f;
        ASSERT_TRUE(f.open("a", "w", uint32_t(new_bytes.size())));
        EXPECT_EQ(f.first_cluster, 3u);  // beside b, not over the old run
        EXPECT_TRUE(f.keeps_old_until_close());
        ASSERT_EQ(f.write(new_bytes.data(), uint32_t(new_bytes.size())), new_bytes.size());
        EXPECT_EQ(record_of("a").first_cluster, 0u);
        // Claimed in memory only: the card learns of the new run when the stream
        // closes, and until then a cut leaves its clusters free and the old file whole.
        EXPECT_EQ(vol().cluster_map[3], MAP_FIRST);
        EXPECT_EQ(map_on_card(3), MAP_FREE);
        EXPECT_TRUE(f.discard());
    }
    EXPECT_EQ(read_file("a"), old_bytes);
    EXPECT_EQ(map_on_card(3), MAP_FREE);
    EXPECT_EQ(map_on_card(4), MAP_FREE);
    expect_runs_marked();
    {
        cAFFile f;
        ASSERT_TRUE(f.open("a", "w", uint32_t(new_bytes.size())));
        ASSERT_EQ(f.write(new_bytes.data(), uint32_t(new_bytes.size())), new_bytes.size());
        EXPECT_TRUE(f.close());
    }
    const AF_FIND_DATA_T rec = record_of("a");
    EXPECT_EQ(rec.first_cluster, 3u);
    EXPECT_EQ(rec.last_cluster, 4u);
    EXPECT_EQ(read_file("a"), new_bytes);
    EXPECT_EQ(map_on_card(0), MAP_FREE);
    EXPECT_EQ(map_on_card(1), MAP_FREE);
    expect_runs_marked();
}

// A commit that does not reach the card says so, and a replace beside the old run then
// leaves the old file as it was.
TEST_F(StreamTest, CloseReportsACommitThatFailed) {
    const auto old_bytes = pattern_bytes(K / 2, 5), new_bytes = pattern_bytes(K / 3, 6);
    ASSERT_TRUE(write_file("c", old_bytes, 0));
    // Tables that did not change are not written again, so the entry is close's first
    // write: failing it keeps the old file. A failure after it (the old run's release)
    // is reported too, with the new file committed or, where the release undid
    // nothing, the old one still there.
    for (uint64_t failing_write : {1u, 2u, 3u}) {
        cAFFile f;
        ASSERT_TRUE(f.open("c", "w", 0));
        ASSERT_EQ(f.write(new_bytes.data(), uint32_t(new_bytes.size())), new_bytes.size());
        drive->fail_write_at(failing_write);
        EXPECT_FALSE(f.close()) << failing_write;
        ASSERT_TRUE(volume().mount(DRIVE));
        const auto now = read_file("c");
        if (failing_write == 1)
            EXPECT_EQ(now, old_bytes);
        else
            EXPECT_TRUE(now == old_bytes || now == new_bytes) << failing_write;
        if (now != old_bytes) {
            ASSERT_TRUE(write_file("c", old_bytes, 0));
        }
    }
    cAFFile f;
    ASSERT_TRUE(f.open("c", "w", 0));
    ASSERT_EQ(f.write(new_bytes.data(), uint32_t(new_bytes.size())), new_bytes.size());
    drive->fail_flush_at(1);
    EXPECT_FALSE(f.close());
}

TEST_F(StreamTest, WriteOpenMovesToALowerRunAndFreesTheOldOne) {
    take_clusters(0, 1, MAP_FIRST);  // a placeholder run below
    ASSERT_TRUE(write_file("mover", pattern_bytes(10, 3), 0));
    ASSERT_EQ(record_of("mover").first_cluster, 2u);
    vol().cluster_map[0] = vol().cluster_map[1] = MAP_FREE;
    ASSERT_TRUE(vol().flush());
    cAFFile f;
    ASSERT_TRUE(f.open("mover", "w+", 0));
    EXPECT_EQ(f.first_cluster, 0u);
    f.close();
    EXPECT_EQ(record_of("mover").first_cluster, 0u);
    EXPECT_EQ(map_on_card(0), MAP_FIRST);
    EXPECT_EQ(map_on_card(2), MAP_FREE);
}

TEST_F(StreamTest, RefusedWriteOpenKeepsTheOldFileAndTheCard) {
    const auto data = pattern_bytes(K, 13);
    ASSERT_TRUE(write_file("keep", data, 0));
    // Only the file's own cluster is left for it (a next file starts right behind it).
    take_clusters(1, 1, MAP_FIRST);
    take_clusters(2, clusters() - 1);
    const auto map_before = drive->peek(uint64_t(vol().header().map_start) * 512, vol().map_bytes());
    drive->reset_counters();
    cAFFile f;
    EXPECT_FALSE(f.open("keep", "w+", 2 * K));
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(drive->peek(uint64_t(vol().header().map_start) * 512, vol().map_bytes()), map_before);
    EXPECT_EQ(read_file("keep"), data);
    // A run that the old cluster alone holds is taken in its place.
    ASSERT_TRUE(f.open("keep", "w+", K));
    EXPECT_EQ(f.first_cluster, 0u);
}

// A new file reaches the card when its stream closes: map and hash, superblock, then
// the entry. Whichever of them fails, the close says so and no file and no claimed
// cluster stay behind.
TEST_F(StreamTest, FailedCreateLeavesNoClusterWithoutAnEntry) {
    for (uint64_t failing_write : {1u, 2u, 3u}) {  // map and hash, superblock, entry
        cAFFile f;
        drive->reset_counters();
        ASSERT_TRUE(f.open("doomed", "w+", 0)) << failing_write;
        EXPECT_EQ(drive->counters().writes, 0u);  // nothing on the card before the close
        drive->fail_write_at(failing_write);
        EXPECT_FALSE(f.close()) << failing_write;
        EXPECT_EQ(vol().cluster_map[0], MAP_FREE) << failing_write;
        EXPECT_EQ(map_on_card(0), MAP_FREE) << failing_write;
        EXPECT_FALSE(file_exists("doomed"));
        ASSERT_TRUE(volume().mount(DRIVE));
        EXPECT_FALSE(file_exists("doomed"));
    }
}

TEST_F(StreamTest, A1025thFileIsRefusedWithoutTouchingTheCard) {
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) ASSERT_TRUE(create_file("n" + std::to_string(i), NO_CLUSTER));
    drive->reset_counters();
    for (const char* mode : {"w+", "a"}) {
        cAFFile f;
        EXPECT_FALSE(f.open("extra", mode, 0)) << mode;
    }
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(find_free_run(0), 0u);
}

TEST_F(StreamTest, ReadPlusWritesInPlaceAndReadsBackWhatItWrote) {
    const auto data = pattern_bytes(2 * K + 50, 14);
    ASSERT_TRUE(write_file("patch", data, 0));
    auto expected = data;
    const auto patch = pattern_bytes(K - 3, 15);
    std::copy(patch.begin(), patch.end(), expected.begin() + 3);
    cAFFile f;
    ASSERT_TRUE(f.open("patch", "r+", 0));
    uint8_t three[3];
    ASSERT_EQ(f.read(three, 3), 3u);
    ASSERT_EQ(f.write(patch.data(), uint32_t(patch.size())), patch.size());  // ends at a cluster end
    std::vector<uint8_t> rest(100);
    ASSERT_EQ(f.read(rest.data(), 100), 100u);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), expected.begin() + K));
    const uint8_t five[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(f.write(five, 5), 5u);  // inside a sector that holds file bytes on both sides
    std::copy(five, five + 5, expected.begin() + K + 100);
    f.close();
    EXPECT_EQ(f.size, data.size());
    EXPECT_EQ(read_file("patch"), expected);
}

TEST_F(StreamTest, DeviceFailuresShortenTheCountsHonestly) {
    const auto data = pattern_bytes(3 * K, 16);
    cAFFile w;
    ASSERT_TRUE(w.open("flaky", "w+", 3 * K));
    drive->fail_write_at(2);
    EXPECT_EQ(w.write(data.data(), K), K);
    EXPECT_EQ(w.write(data.data() + K, 2 * K), 0u);  // the transfer of the rest failed
    EXPECT_EQ(w.size, K);
    EXPECT_EQ(w.write(data.data() + K, 2 * K), 2 * K);  // a retry writes it again
    w.close();
    EXPECT_EQ(read_file("flaky"), data);

    cAFFile r;
    ASSERT_TRUE(r.open("flaky", "r", 0));
    drive->fail_read_at(2);
    std::vector<uint8_t> buf(3 * K);
    EXPECT_EQ(r.read(buf.data(), K), K);
    EXPECT_EQ(r.read(buf.data() + K, 2 * K), 0u);
    EXPECT_EQ(r.position, K);
    EXPECT_EQ(r.read(buf.data() + K, 2 * K), 2 * K);
    EXPECT_EQ(buf, data);
}

TEST_F(StreamTest, AFailedStagedWriteIsNotReadBackLater) {
    const auto data = pattern_bytes(600, 17);
    ASSERT_TRUE(write_file("stage", data, 0));
    cAFFile f;
    ASSERT_TRUE(f.open("stage", "r+", 0));
    drive->fail_write_at(1);
    const uint8_t junk[10] = {};
    EXPECT_EQ(f.write(junk, 10), 0u);
    uint8_t back[10];
    ASSERT_EQ(f.read(back, 10), 10u);
    EXPECT_TRUE(std::equal(back, back + 10, data.begin()));
}

TEST_F(StreamTest, WrittenStreamsReachTheMediumReadStreamsWriteNothing) {
    ASSERT_TRUE(write_file("d", pattern_bytes(5000, 18), 0));
    drive->reset_counters();
    {
        cAFFile f;
        ASSERT_TRUE(f.open("d", "r", 0));
        uint8_t b[100];
        f.read(b, 100);
    }
    EXPECT_EQ(drive->counters().writes, 0u);
    EXPECT_EQ(drive->counters().flushes, 0u);
    {
        cAFFile f;
        ASSERT_TRUE(f.open("d", "a", 0));
        f.write("x", 1);
        f.close();
        EXPECT_GE(drive->counters().flushes, 1u);
        // The entry was written before the last drive flush.
        EXPECT_EQ(get_le32(sector_on_card(find_file_sector("d")).data() + DE_SIZE), 5001u);
    }
}

TEST_F(StreamTest, ReopeningAnOpenStreamCommitsTheFirstFile) {
    cAFFile f;
    ASSERT_TRUE(f.open("first", "w", 0));
    ASSERT_EQ(f.write(pattern_bytes(3000, 1).data(), 3000), 3000u);
    ASSERT_TRUE(f.open("second", "w", 0));
    EXPECT_EQ(record_of("first").size, 3000u);
    expect_runs_marked();
}

TEST_F(StreamTest, FileWithoutClustersGetsOneForWritingAndNoneForReading) {
    ASSERT_TRUE(create_file("bare", NO_CLUSTER));
    ASSERT_TRUE(vol().flush());
    cAFFile r;
    ASSERT_TRUE(r.open("bare", "r", 0));
    uint8_t b[8];
    EXPECT_EQ(r.read(b, 8), 0u);
    r.close();
    EXPECT_EQ(record_of("bare").first_cluster, NO_CLUSTER);
    cAFFile w;
    ASSERT_TRUE(w.open("bare", "r+", 0));
    ASSERT_EQ(w.write("hey", 3), 3u);
    w.close();
    EXPECT_EQ(record_of("bare").first_cluster, 0u);
    EXPECT_EQ(read_file("bare"), (std::vector<uint8_t>{'h', 'e', 'y'}));
    expect_runs_marked();
}

TEST_F(StreamTest, DamagedRunsAreNotWrittenThrough) {
    ASSERT_TRUE(create_file("wild", NO_CLUSTER));
    DirSector e = find_file("wild");
    put_le32(e.data() + DE_FIRST_CLUSTER, 0xFFFFFFFEu);  // would map onto the directory
    put_le32(e.data() + DE_LAST_CLUSTER, 0xFFFFFFFEu);
    put_le32(e.data() + DE_SIZE, 100);
    ASSERT_TRUE(disk_write_sectors(find_file_sector("wild"), 1, e.data()));
    drive->reset_counters();
    for (const char* mode : {"r", "r+", "a"}) {
        cAFFile f;
        EXPECT_FALSE(f.open("wild", mode, 0)) << mode;
    }
    EXPECT_EQ(drive->counters().writes, 0u);
}

// A copy cut by a power loss at every possible write still leaves a card that mounts
// and whose listed files own the clusters they name.
TEST_F(StreamTest, ACopyCutMidwayStillMounts) {
    const auto data = pattern_bytes(0x100000 + 1234, 19);
    const auto copy = [&] {
        cAFFile f;
        if (!f.open("game.nds", "w+", uint32_t(data.size()))) return;
        for (size_t at = 0; at < data.size(); at += 0x80000)
            f.write(data.data() + at, uint32_t(std::min<size_t>(0x80000, data.size() - at)));
    };
    const auto old = pattern_bytes(3 * K, 20);
    ASSERT_TRUE(write_file("game.nds", old, 0));  // the copy replaces it
    const auto pristine = drive->clone();
    pristine->reset_counters();
    drive_layer::drive_table().attach(DRIVE, pristine);
    ASSERT_TRUE(volume().mount(DRIVE));
    pristine->reset_counters();
    copy();
    const uint64_t total_writes = pristine->counters().writes;
    ASSERT_GT(total_writes, 5u);

    for (uint64_t cut = 1; cut <= total_writes; ++cut) {
        auto card = drive->clone();
        drive_layer::drive_table().attach(DRIVE, card);
        ASSERT_TRUE(volume().mount(DRIVE));
        card->power_cut_after_write(cut);
        copy();
        card->restore_power();
        ASSERT_TRUE(volume().mount(DRIVE)) << "cut after write " << cut;
        expect_runs_marked();
        ASSERT_TRUE(file_exists("game.nds")) << cut;
        const AF_FIND_DATA_T rec = record_of("game.nds");
        EXPECT_TRUE(rec.size == 0 || rec.size == old.size() || rec.size == data.size()) << cut << ": " << rec.size;
        if (rec.size == old.size()) {
            EXPECT_EQ(read_file("game.nds"), old) << cut;
        } else if (rec.size == data.size()) {
            EXPECT_EQ(read_file("game.nds"), data) << cut;
        }
    }
}
