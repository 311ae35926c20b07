// Card images that once broke a reader, replayed through every reader of cards, and
// hand-made hostile cards: each gets a clear refusal or sane handling, nothing reads or
// writes outside where it should, and no committed file is lost.
#include "views/card_rows.h"
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_contents.h"
#include "support/card_image_exercise.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"
#include "transfer/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

using drive_layer::FakeDrive;
using testcards::CardSurgery;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;
constexpr uint32_t CARD_BYTES = 16u << 20;  // 91 data clusters

using Bytes = std::vector<uint8_t>;

TEST(HostileImages, FuzzRegressionsStayFixed) {
    const std::filesystem::path dir = std::filesystem::path(OB_SOURCE_DIR) / "tests/fuzz/regressions";
    int replayed = 0;
    if (std::filesystem::exists(dir)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file() || entry.path().filename() == "README") continue;
            auto bytes = testcards::read_host_file(entry.path().string());
            exercise_card_image(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
}

class HostileCard : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        card = testcards::blank_card(DRIVE, CARD_BYTES);
    }
    void TearDown() override {
        set_copy_callback(nullptr, nullptr);
        disk_close();
        drive_layer::drive_table().clear();
    }

    CardSurgery surgery() { return CardSurgery(*card); }

    // A file laid by hand: entry, marks and bytes.
    Bytes lay_file(uint32_t slot, const std::string& name, uint32_t first, uint32_t last, uint32_t seed) {
        const Bytes bytes = pattern_bytes(size_t(last - first + 1) * K, seed);
        surgery().entry(slot, name, first, last, uint32_t(bytes.size()));
        surgery().data(first, bytes);
        return bytes;
    }

    std::string host_file(const std::string& name, const Bytes& bytes) {
        testcards::write_host_file(host.file(name), bytes);
        return host.file(name);
    }

    Bytes card_file(const std::string& name) {
        const auto files = testcards::card_contents(DRIVE);
        const auto it = files.find(name);
        return it == files.end() ? Bytes{} : it->second.bytes;
    }

    std::shared_ptr<FakeDrive> card;
    testcards::TempDir host;
};

// --- names -------------------------------------------------------------------------

TEST_F(HostileCard, NameOf260BytesWithoutTerminatorIsRefusedByNameUntilRepairCutsIt) {
    const std::string full(260, 'n'), cut(259, 'n');
    const Bytes bytes = lay_file(0, full, 0, 0, 1);
    const Bytes other = lay_file(1, "other.bin", 1, 1, 2);

    ASSERT_TRUE(volume().mount(DRIVE));
    AF_FIND_DATA_T rec;
    ASSERT_EQ(find_first(rec), 0);
    EXPECT_EQ(rec.name[259], 0);  // enumeration hands out a terminated name
    EXPECT_FALSE(file_exists(cut));
    cAFFile f;
    EXPECT_FALSE(f.open(cut, "r", 0));
    EXPECT_FALSE(f.open(full, "w", 0));  // 260 bytes do not fit an entry
    EXPECT_EQ(card_rows(DRIVE).size(), 3u);  // two files and the free space
    EXPECT_FALSE(copy_ob_to_win(DRIVE, cut, host.file("out")));
    EXPECT_FALSE(std::filesystem::exists(host.file("out")));
    EXPECT_EQ(delete_ob_file(DRIVE, cut), 1);

    const CardCheckReport r = check_card(DRIVE, true);
    EXPECT_GE(r.serious, 1u);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    EXPECT_EQ(card_file(cut), bytes);
    EXPECT_EQ(card_file("other.bin"), other);
    EXPECT_EQ(delete_ob_file(DRIVE, cut), 0);
}

TEST_F(HostileCard, NamesWithSeparatorsOrDotsNeverReachOutsideTheHostFolder) {
    const char* const names[] = {"../escape.txt", "a/b.txt", "..", ".", "back\\slash", "tab\tname"};
    uint32_t slot = 0;
    for (const char* name : names) lay_file(slot, name, slot, slot, slot + 10), ++slot;
    std::filesystem::create_directory(host.file("in"));
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(copy_ob_to_win(DRIVE, name, host.file("in/") + name));
    }
    EXPECT_FALSE(std::filesystem::exists(host.file("escape.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(host.file("in")));
    // They show in the card list and can be deleted, which is what a user can do.
    EXPECT_EQ(card_rows(DRIVE).size(), std::size(names) + 1);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    EXPECT_EQ(delete_ob_file(DRIVE, "../escape.txt"), 0);
    EXPECT_EQ(delete_ob_file(DRIVE, ".."), 0);
    EXPECT_EQ(testcards::card_contents(DRIVE).size(), std::size(names) - 2);
}

TEST_F(HostileCard, HashCollisionsAreToldApartByTheirNames) {
    // Names of 32 bytes or more hash every second byte from the end: these two differ
    // only in a skipped byte.
    const std::string a = "A-collision-collision-collision-collision";
    const std::string b = "B-collision-collision-collision-collision";
    ASSERT_EQ(name_hash(a), name_hash(b));
    ASSERT_TRUE(volume().mount(DRIVE));
    const Bytes bytes_a = pattern_bytes(K + 10, 1), bytes_b = pattern_bytes(300, 2);
    ASSERT_TRUE(testcards::put_card_file(a, bytes_a));
    ASSERT_TRUE(testcards::put_card_file(b, bytes_b));
    EXPECT_EQ(card_file(a), bytes_a);
    EXPECT_EQ(card_file(b), bytes_b);
    ASSERT_EQ(delete_ob_file(DRIVE, a), 0);
    EXPECT_EQ(card_file(b), bytes_b);
    EXPECT_TRUE(check_card(DRIVE, false).clean());

    // A slot whose hash entry belongs to another name is found by neither name.
    lay_file(5, "liar.bin", 10, 10, 3);
    surgery().hash(5, name_hash(b));
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_EQ(find_file_sector("liar.bin"), NO_CLUSTER);
    EXPECT_EQ(card_file(b), bytes_b);
    check_card(DRIVE, true);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    EXPECT_EQ(card_file("liar.bin"), pattern_bytes(K, 3));
}

// --- runs ----------------------------------------------------------------------------

TEST_F(HostileCard, RunsBeyondTheMapOrTheDataAreaAreNeverFollowed) {
    // A volume of 16 MiB on a 32 MiB drive: what lies behind the volume is someone
    // else's, and a marker there must never come back from a read.
    card = testcards::attach_fake(DRIVE, 32u << 20);
    testcards::write_blank_volume(*card, CARD_BYTES);
    const uint32_t clusters = surgery().sb().cluster_count();
    const Bytes marker(K, 0xEE);
    for (uint32_t c = clusters; c < clusters + 8; ++c) surgery().data(c, marker);
    const Bytes kept = lay_file(0, "kept.bin", 0, 1, 1);
    surgery().entry(1, "far", 100000, 100001, 2 * K, false);                 // beyond the map
    surgery().entry(2, "edge", clusters - 1, clusters + 4, 6 * K, false);  // into the map's tail
    surgery().entry(3, "backwards", 9, 8, 100, false);
    surgery().entry(4, "wrapped", 0xFFFFFFFEu, 0xFFFFFFFFu, K, false);

    const auto files = testcards::card_contents(DRIVE);
    ASSERT_EQ(files.size(), 5u);
    for (const char* name : {"far", "backwards", "wrapped"}) EXPECT_TRUE(files.at(name).bytes.empty()) << name;
    EXPECT_EQ(files.at("edge").bytes.size(), K);  // its one cluster inside the data area
    for (const auto& [name, file] : files)
        EXPECT_EQ(std::search(file.bytes.begin(), file.bytes.end(), marker.begin(), marker.begin() + 64),
                  file.bytes.end()) << name;

    const CardCheckReport r = check_card(DRIVE, false);
    EXPECT_GE(r.serious, 4u);
    for (const char* name : {"far", "edge", "backwards", "wrapped"}) EXPECT_EQ(delete_ob_file(DRIVE, name), 0) << name;
    // Nothing was written behind the volume, and the kept file is whole.
    for (uint32_t c = clusters; c < clusters + 8; ++c) EXPECT_EQ(surgery().data_at(c, K), marker) << c;
    EXPECT_EQ(card_file("kept.bin"), kept);
    check_card(DRIVE, true);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(HostileCard, OverlappingRunsNeverCostTheOtherFileItsBytes) {
    const Bytes a = lay_file(0, "a.nds", 0, 3, 1);
    // b claims clusters 2..5: 2 and 3 are a's (marked for a), 4 and 5 are b's own.
    surgery().entry(1, "b.nds", 2, 5, 4 * K, false);
    surgery().map(4, 0x02);
    surgery().map(5, 0x02);
    EXPECT_GE(check_card(DRIVE, false).serious, 1u);

    // Replacing b releases only what no other file names, so the new run cannot land
    // on a's clusters.
    const Bytes b2 = pattern_bytes(5 * K, 2);
    ASSERT_TRUE(copy_win_to_ob(host_file("b.nds", b2), DRIVE));
    EXPECT_EQ(card_file("a.nds"), a);
    EXPECT_EQ(card_file("b.nds"), b2);
    ASSERT_EQ(delete_ob_file(DRIVE, "b.nds"), 0);
    const Bytes big = pattern_bytes(8 * K, 3);
    ASSERT_TRUE(copy_win_to_ob(host_file("big.nds", big), DRIVE));
    EXPECT_EQ(card_file("a.nds"), a);
    EXPECT_EQ(card_file("big.nds"), big);

    // Deleting a file whose run b's entry overlaps keeps b's part marked.
    surgery().entry(2, "c.nds", 1, 2, 2 * K, false);  // inside a's run
    ASSERT_EQ(delete_ob_file(DRIVE, "a.nds"), 0);
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_NE(volume().cluster_map[1], MAP_FREE);
    EXPECT_NE(volume().cluster_map[2], MAP_FREE);
    EXPECT_EQ(card_file("c.nds"), Bytes(a.begin() + K, a.begin() + 3 * K));
}

TEST_F(HostileCard, AFollowingFileWhoseFirstClusterLostItsMarkSurvivesARelease) {
    const Bytes a = lay_file(0, "a.nds", 0, 1, 1);
    const Bytes b = lay_file(1, "b.nds", 2, 3, 2);
    surgery().map(2, 0x02);  // b's first cluster should be 0xAC
    ASSERT_EQ(delete_ob_file(DRIVE, "a.nds"), 0);
    const Bytes c = pattern_bytes(4 * K, 3);
    ASSERT_TRUE(copy_win_to_ob(host_file("c.nds", c), DRIVE));
    EXPECT_EQ(card_file("b.nds"), b);
    EXPECT_EQ(card_file("c.nds"), c);
}

TEST_F(HostileCard, SizeLargerThanItsRunNeverReadsAnotherFile) {
    const Bytes a = lay_file(0, "a.sav", 0, 0, 1);
    surgery().entry(0, "a.sav", 0, 0, 3 * K);  // claims three clusters' worth
    const Bytes b = lay_file(1, "b.sav", 1, 2, 2);
    const uint32_t last = surgery().sb().cluster_count() - 1;
    const Bytes tail = lay_file(2, "tail.sav", last, last, 3);
    surgery().entry(2, "tail.sav", last, last, 0xFFFFFFF0u);

    EXPECT_EQ(card_file("a.sav"), a);
    EXPECT_EQ(card_file("tail.sav"), tail);
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "a.sav", host.file("a.sav")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);  // the file is shorter than it says
    EXPECT_EQ(testcards::read_host_file(host.file("a.sav")), a);
    cAFFile appending;
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_FALSE(appending.open("a.sav", "a", 0));  // its end lies outside its run

    const CardCheckReport r = check_card(DRIVE, true);
    EXPECT_EQ(r.serious, 2u);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "a.sav", host.file("a.sav")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_EQ(card_file("b.sav"), b);
}

// --- superblocks ---------------------------------------------------------------------

// A card whose superblock passes magic and CRC but whose layout this system refuses:
// no volume, and nothing written.
void expect_refused_as_no_volume(FakeDrive& card, const std::string& host_path) {
    card.reset_counters();
    EXPECT_FALSE(volume().mount(DRIVE));
    const std::vector<CardRow> rows = card_rows(DRIVE);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].caption, NOT_A_VOLUME_ROW);
    EXPECT_FALSE(check_card(DRIVE, true).volume_found);
    EXPECT_FALSE(copy_win_to_ob(host_path, DRIVE));
    EXPECT_EQ(delete_ob_file(DRIVE, "x"), 1);
    EXPECT_EQ(card.counters().writes, 0u);
}

// A volume of `disk_size` bytes whose map has `map_bytes` entries, its areas laid out
// after the map as the formatter would.
void lay_volume_with_map(FakeDrive& card, uint32_t disk_size, uint32_t map_bytes) {
    testcards::write_blank_volume(card, disk_size);
    CardSurgery s(card);
    const uint32_t map_sectors = (map_bytes + 511) / 512;
    std::vector<uint8_t> map(size_t(map_sectors) * 512, MAP_BEYOND);
    Superblock sb = s.sb();
    sb.map_bytes = map_bytes;
    sb.hash_start = OBFS_MAP_START + map_sectors;
    sb.dir_start = sb.hash_start + 8;
    sb.data_start = sb.dir_start + OBFS_DIR_COUNT;
    for (uint32_t c = 0; c < sb.cluster_count() && c < map.size(); ++c) map[c] = MAP_FREE;
    card.poke(uint64_t(OBFS_MAP_START) * 512, map.data(), map.size());
    const Bytes zeros((8 + OBFS_DIR_COUNT) * 512, 0);
    card.poke(uint64_t(sb.hash_start) * 512, zeros.data(), zeros.size());
    s.superblock([&](Superblock& edit) { edit = sb; });
}

TEST_F(HostileCard, MapSizeAtItsLimits) {
    const std::string source = host_file("s.bin", pattern_bytes(K, 1));
    struct Case {
        const char* what;
        uint32_t disk_size, map_bytes;
        bool mounts;
    };
    const Case cases[] = {
        {"the formatter's", CARD_BYTES, 512, true},
        {"the largest, on a small card", CARD_BYTES, 16384, true},
        {"larger than 2 GiB needs", CARD_BYTES, 16384 + 512, false},
        {"empty", CARD_BYTES, 0, false},
        {"not whole sectors", CARD_BYTES, 1000, false},
        {"smaller than the data area", 128u << 20, 512, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        card = testcards::attach_fake(DRIVE, c.disk_size);
        lay_volume_with_map(*card, c.disk_size, c.map_bytes);
        if (!c.mounts) {
            expect_refused_as_no_volume(*card, source);
            continue;
        }
        ASSERT_TRUE(volume().mount(DRIVE));
        const uint32_t clusters = volume().cluster_count();
        // Fill the card: the map entries behind the data area are never given out.
        int copied = 0;
        while (copied < 40 && copy_win_to_ob(host_file("s" + std::to_string(copied), pattern_bytes(3 * K, 1)), DRIVE) &&
               last_copy_end() == CopyEnd::Complete)
            ++copied;
        EXPECT_EQ(copied, int(clusters / 3));
        for (const auto& [name, file] : testcards::card_contents(DRIVE)) EXPECT_LT(file.last_cluster, clusters) << name;
        // A map of another size than the formatter's is used safely, but the check
        // reports it and examines nothing else.
        const CardCheckReport r = check_card(DRIVE, false);
        if (c.map_bytes == Superblock::layout_for(c.disk_size).map_bytes) {
            EXPECT_TRUE(r.clean());
        } else {
            EXPECT_TRUE(r.layout_departs);
            EXPECT_FALSE(r.clean());
        }
    }
}

TEST_F(HostileCard, SuperblockClaimingMoreThanTheDriveHoldsIsNoVolume) {
    const std::string source = host_file("s.bin", pattern_bytes(1000, 1));
    card = testcards::attach_fake(DRIVE, CARD_BYTES);
    testcards::write_blank_volume(*card, 2 * CARD_BYTES);
    expect_refused_as_no_volume(*card, source);
    // The same volume one sector larger than the drive.
    card = testcards::attach_fake(DRIVE, CARD_BYTES);
    testcards::write_blank_volume(*card, CARD_BYTES);
    CardSurgery(*card).superblock([](Superblock& sb) { sb.disk_size += 512; });
    expect_refused_as_no_volume(*card, source);
}

// --- a card or a host file that changes under a copy ------------------------------------

TEST_F(HostileCard, DriveVanishingMidCopyLosesNothingCommitted) {
    ASSERT_TRUE(volume().mount(DRIVE));
    const Bytes kept = pattern_bytes(K + 77, 1), old = pattern_bytes(2 * K, 2);
    ASSERT_TRUE(testcards::put_card_file("kept.nds", kept));
    ASSERT_TRUE(testcards::put_card_file("game.nds", old));
    disk_close();
    const auto prepared = card->clone();
    const Bytes fresh = pattern_bytes(3 * K + 5, 3);
    const std::string source = host_file("game.nds", fresh);

    auto clean = prepared->clone();
    drive_layer::drive_table().attach(DRIVE, clean);
    ASSERT_TRUE(copy_win_to_ob(source, DRIVE));
    const uint64_t transfers = clean->counters().reads + clean->counters().writes;

    int tried = 0;
    for (uint64_t k = 1; k <= transfers; ++k) {
        SCOPED_TRACE(k);
        disk_close();
        auto pulled = prepared->clone();
        drive_layer::drive_table().attach(DRIVE, pulled);
        pulled->vanish_after(k);
        const bool started = copy_win_to_ob(source, DRIVE);
        EXPECT_TRUE(!started || last_copy_end() != CopyEnd::Complete);
        // The card comes back: what reached it is what a new insertion shows.
        disk_close();
        drive_layer::drive_table().attach(DRIVE, pulled->clone());
        const auto files = testcards::card_contents(DRIVE);
        ASSERT_EQ(files.count("kept.nds"), 1u);
        EXPECT_EQ(files.at("kept.nds").bytes, kept);
        if (files.count("game.nds")) {
            const Bytes& now = files.at("game.nds").bytes;
            EXPECT_TRUE(now == old || std::equal(now.begin(), now.end(), fresh.begin()));
        }
        EXPECT_EQ(check_card(DRIVE, false).serious, 0u);
        ++tried;
    }
    RecordProperty("vanish_points", tried);
}

// The host file changes between the chunks of a copy: the progress callback runs right
// after each chunk went to the card.
struct HostChange {
    std::function<void()> after_first_chunk;
    int chunks = 0;
};

void change_host_file(void* context, uint32_t) {
    auto* change = static_cast<HostChange*>(context);
    if (change->chunks++ == 0) change->after_first_chunk();
}

// `got` is a prefix of `all` at least `least` bytes long.
void expect_prefix_of(const Bytes& got, const Bytes& all, size_t least) {
    EXPECT_GE(got.size(), least);
    ASSERT_LE(got.size(), all.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin()));
}

TEST_F(HostileCard, HostFileGrowingOrShrinkingWhileCopied) {
    ASSERT_TRUE(volume().mount(DRIVE));
    const Bytes start = pattern_bytes(3 * WIN_TO_OB_CHUNK, 1);  // 12 clusters
    const Bytes more = pattern_bytes(200000, 2);
    const std::string path = host_file("moving.nds", start);

    // Grows: the card file takes every byte the host file holds when the copy reads it.
    HostChange grow{[&] {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        std::fwrite(more.data(), 1, more.size(), f);
        std::fclose(f);
    }};
    set_copy_callback(change_host_file, &grow);
    ASSERT_TRUE(copy_win_to_ob(path, DRIVE));
    Bytes grown = start;
    grown.insert(grown.end(), more.begin(), more.end());
    // The host file is read ahead of the card writes, so how much of the growth the
    // copy saw depends on timing; what it took must be the file's bytes in order.
    expect_prefix_of(card_file("moving.nds"), grown, start.size());
    EXPECT_TRUE(check_card(DRIVE, false).clean());

    // Shrinks: the card file holds what was there to read.
    testcards::write_host_file(path, start);
    HostChange shrink{[&] { std::filesystem::resize_file(path, 600000); }};
    set_copy_callback(change_host_file, &shrink);
    const Bytes before = card_file("moving.nds");
    ASSERT_TRUE(copy_win_to_ob(path, DRIVE));
    // Whether the read-ahead had read the whole file before it shrank depends on
    // timing: if not, the copy stops and the card file it was to replace stays.
    if (last_copy_end() == CopyEnd::Stopped)
        EXPECT_EQ(card_file("moving.nds"), before);
    else
        expect_prefix_of(card_file("moving.nds"), start, 600000);
    EXPECT_TRUE(check_card(DRIVE, false).clean());

    // Grows into a cluster that belongs to another file: the copy stops short with a
    // prefix on the card, and the other file keeps its bytes.
    ASSERT_EQ(delete_ob_file(DRIVE, "moving.nds"), 0);
    ASSERT_TRUE(volume().mount(DRIVE));
    const Bytes wall = pattern_bytes(K, 3);
    surgery().entry(0, "wall.bin", 12, 12, K);
    surgery().data(12, wall);
    testcards::write_host_file(path, start);
    HostChange squeeze{grow.after_first_chunk};
    set_copy_callback(change_host_file, &squeeze);
    ASSERT_TRUE(copy_win_to_ob(path, DRIVE));
    EXPECT_TRUE(last_copy_end() == CopyEnd::Stopped || last_copy_end() == CopyEnd::Complete);
    EXPECT_EQ(card_file("moving.nds"), start);
    EXPECT_EQ(card_file("wall.bin"), wall);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

}  // namespace
