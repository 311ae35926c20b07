#include "testing/fake_drive.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <thread>

using namespace drive_layer;

namespace {

constexpr uint64_t MiB = 1 << 20;

std::unique_ptr<DriveHandle> open_rw(FakeDrive& d) { return d.open(READ_WRITE, false); }

bool write_at(DriveHandle& h, uint64_t offset, const std::vector<uint8_t>& bytes, uint32_t* done = nullptr) {
    uint32_t moved = 0;
    return h.seek(offset) && h.write(bytes.data(), uint32_t(bytes.size()), done ? done : &moved);
}

bool read_at(DriveHandle& h, uint64_t offset, std::vector<uint8_t>& bytes, uint32_t* done = nullptr) {
    uint32_t moved = 0;
    return h.seek(offset) && h.read(bytes.data(), uint32_t(bytes.size()), done ? done : &moved);
}

}  // namespace

TEST(FakeDrive, MediumIsSparseZerosUntilWrittenAndRoundTrips) {
    FakeDrive d(2048 * MiB);
    auto h = open_rw(d);
    std::vector<uint8_t> buf(131072, 0xEE);
    ASSERT_TRUE(read_at(*h, 2047 * MiB, buf));
    EXPECT_EQ(buf, std::vector<uint8_t>(131072, 0));

    // A write that straddles chunk boundaries at an odd offset.
    const auto data = testcards::pattern_bytes(10000, 7);
    ASSERT_TRUE(write_at(*h, 1000 * MiB + 4000, data));
    std::vector<uint8_t> back(10000);
    ASSERT_TRUE(read_at(*h, 1000 * MiB + 4000, back));
    EXPECT_EQ(back, data);
    EXPECT_EQ(d.peek(1000 * MiB + 4000, 10000), data);
    EXPECT_EQ(d.peek(1000 * MiB + 3999, 1), std::vector<uint8_t>{0});

    d.poke(5, "\x01\x02", 2);
    std::vector<uint8_t> head(8);
    ASSERT_TRUE(read_at(*h, 0, head));
    EXPECT_EQ(head, (std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 2, 0}));
}

TEST(FakeDrive, CountsTransfersBySize) {
    FakeDrive d(16 * MiB);
    auto h = open_rw(d);
    std::vector<uint8_t> sector(512), cluster(131072);
    ASSERT_TRUE(write_at(*h, 0, cluster));
    ASSERT_TRUE(read_at(*h, 0, sector));
    ASSERT_TRUE(read_at(*h, 512, sector));
    ASSERT_TRUE(h->flush());
    FakeCounters c = d.counters();
    EXPECT_EQ(c.opens, 1u);
    EXPECT_EQ(c.writes, 1u);
    EXPECT_EQ(c.reads, 2u);
    EXPECT_EQ(c.bytes_written, 131072u);
    EXPECT_EQ(c.bytes_read, 1024u);
    EXPECT_EQ(c.flushes, 1u);
    EXPECT_EQ(c.read_sizes[512], 2u);
    EXPECT_EQ(c.write_sizes[131072], 1u);
    d.reset_counters();
    EXPECT_EQ(d.counters().reads, 0u);
    EXPECT_TRUE(d.counters().read_sizes.empty());
}

TEST(FakeDrive, EndOfMediumBehavesLikeABlockDevice) {
    FakeDrive d(1 * MiB);
    auto h = open_rw(d);
    std::vector<uint8_t> buf(4096);
    const std::vector<uint8_t> data(4096, 0x55);
    uint32_t done = 99;
    // A read at the end succeeds and moves nothing; one across the end moves what exists.
    EXPECT_TRUE(read_at(*h, 1 * MiB, buf, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(read_at(*h, 1 * MiB - 1024, buf, &done));
    EXPECT_EQ(done, 1024u);
    // A write across the end keeps what fits and fails; one at the end moves nothing.
    EXPECT_FALSE(write_at(*h, 1 * MiB - 1024, data, &done));
    EXPECT_EQ(done, 1024u);
    EXPECT_EQ(d.peek(1 * MiB - 1, 1), std::vector<uint8_t>{0x55});
    EXPECT_FALSE(write_at(*h, 1 * MiB, data, &done));
    EXPECT_EQ(done, 0u);
}

TEST(FakeDrive, ReadOnlyHandleRefusesWrites) {
    FakeDrive d(1 * MiB);
    auto h = d.open(READ, true);
    std::vector<uint8_t> buf(512, 1);
    EXPECT_FALSE(write_at(*h, 0, buf));
    EXPECT_EQ(d.peek(0, 1), std::vector<uint8_t>{0});
    EXPECT_EQ(d.counters().writes, 0u);
}

TEST(FakeDrive, KthReadOrWriteFailsCountedFromNow) {
    FakeDrive d(1 * MiB);
    auto h = open_rw(d);
    std::vector<uint8_t> buf(512);
    const std::vector<uint8_t> data(512, 0xAB);
    ASSERT_TRUE(read_at(*h, 0, buf));  // calls before scripting do not count
    d.fail_read_at(2);
    EXPECT_TRUE(read_at(*h, 0, buf));
    EXPECT_FALSE(read_at(*h, 0, buf));
    EXPECT_TRUE(read_at(*h, 0, buf));

    d.fail_write_at(1);
    uint32_t done = 7;
    EXPECT_FALSE(write_at(*h, 0, data, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(d.peek(0, 1), std::vector<uint8_t>{0});  // a failed write moves nothing
    EXPECT_TRUE(write_at(*h, 0, data));
    EXPECT_EQ(d.peek(0, 1), std::vector<uint8_t>{0xAB});

    d.fail_writes_from(2);
    EXPECT_TRUE(write_at(*h, 0, data));
    EXPECT_FALSE(write_at(*h, 0, data));
    EXPECT_FALSE(write_at(*h, 0, data));
    d.fail_writes_from(0);
    EXPECT_TRUE(write_at(*h, 0, data));

    d.fail_reads_from(1);
    EXPECT_FALSE(read_at(*h, 0, buf));
    d.fail_reads_from(0);
    EXPECT_TRUE(read_at(*h, 0, buf));
}

TEST(FakeDrive, ShortTransfersReportTheirCount) {
    FakeDrive d(1 * MiB);
    auto h = open_rw(d);
    d.set_short_transfers(1000);
    const auto data = testcards::pattern_bytes(4096, 3);
    uint32_t done = 0;
    ASSERT_TRUE(write_at(*h, 0, data, &done));
    EXPECT_EQ(done, 1000u);
    // The position advances by what moved, so a caller can go on.
    ASSERT_TRUE(h->write(data.data() + 1000, 3096, &done));
    EXPECT_EQ(done, 1000u);
    EXPECT_EQ(d.peek(0, 2000), std::vector<uint8_t>(data.begin(), data.begin() + 2000));
    EXPECT_EQ(d.peek(2000, 1), std::vector<uint8_t>{0});
    std::vector<uint8_t> back(4096);
    ASSERT_TRUE(read_at(*h, 0, back, &done));
    EXPECT_EQ(done, 1000u);
}

TEST(FakeDrive, VanishedDriveFailsEverything) {
    FakeDrive d(1 * MiB);
    auto h = open_rw(d);
    std::vector<uint8_t> buf(512);
    d.vanish_after(2);
    EXPECT_TRUE(read_at(*h, 0, buf));
    EXPECT_TRUE(write_at(*h, 0, buf));
    EXPECT_FALSE(read_at(*h, 0, buf));
    EXPECT_FALSE(write_at(*h, 0, buf));
    EXPECT_FALSE(h->flush());
    std::vector<uint8_t> desc;
    DiskGeometry g;
    EXPECT_FALSE(h->query_descriptor(desc, DESCRIPTOR_BUFFER_BYTES));
    EXPECT_FALSE(h->query_geometry(g));
    EXPECT_EQ(d.open(READ, true), nullptr);

    FakeDrive e(1 * MiB);
    e.vanish_now();
    EXPECT_EQ(e.open(READ, true), nullptr);
}

TEST(FakeDrive, PowerCutLosesLaterWritesButReportsSuccess) {
    FakeDrive d(1 * MiB);
    auto h = open_rw(d);
    const std::vector<uint8_t> a(512, 0xA1), b(512, 0xB2), c(512, 0xC3);
    ASSERT_TRUE(write_at(*h, 0, a));
    d.power_cut_after_write(2);
    ASSERT_TRUE(write_at(*h, 512, b));
    EXPECT_FALSE(d.power_is_cut());
    ASSERT_TRUE(write_at(*h, 1024, b));  // the 2nd write from now still lands
    EXPECT_TRUE(d.power_is_cut());
    uint32_t done = 0;
    ASSERT_TRUE(write_at(*h, 0, c, &done));  // acknowledged, lost
    EXPECT_EQ(done, 512u);
    EXPECT_EQ(d.peek(0, 512), a);
    EXPECT_EQ(d.peek(1024, 512), b);
    d.restore_power();
    EXPECT_FALSE(d.power_is_cut());
    ASSERT_TRUE(write_at(*h, 0, c));
    EXPECT_EQ(d.peek(0, 512), c);
}

TEST(FakeDrive, ScriptedIdentityAndGeometry) {
    FakeDrive d(64 * MiB);
    auto h = d.open(READ, true);
    DiskGeometry g;
    ASSERT_TRUE(h->query_geometry(g));
    EXPECT_EQ(g.media_type, MEDIA_REMOVABLE);
    EXPECT_EQ(uint64_t(g.cylinders) * g.tracks_per_cylinder * g.sectors_per_track * g.bytes_per_sector, 64 * MiB);

    d.set_media_type(MEDIA_FIXED);
    d.set_capacity(32 * MiB);
    ASSERT_TRUE(h->query_geometry(g));
    EXPECT_EQ(g.media_type, MEDIA_FIXED);
    EXPECT_EQ(uint64_t(g.cylinders) * 512, 32 * MiB);
    EXPECT_EQ(d.capacity(), 32 * MiB);

    DiskGeometry odd{1000, MEDIA_REMOVABLE, 4, 16, 512};
    d.set_geometry(odd);
    EXPECT_EQ(d.capacity(), 1000u * 4 * 16 * 512);
    ASSERT_TRUE(h->query_geometry(g));
    EXPECT_EQ(g.tracks_per_cylinder, 4u);

    d.set_descriptor({1, 2, 3, 4, 5, 6, 7, 8, 9});
    std::vector<uint8_t> desc;
    ASSERT_TRUE(h->query_descriptor(desc, 4));
    EXPECT_EQ(desc, (std::vector<uint8_t>{1, 2, 3, 4}));

    d.set_descriptor_fails(true);
    d.set_geometry_fails(true);
    EXPECT_FALSE(h->query_descriptor(desc, DESCRIPTOR_BUFFER_BYTES));
    EXPECT_FALSE(h->query_geometry(g));
    d.set_open_fails(true);
    EXPECT_EQ(d.open(READ, true), nullptr);
}

TEST(FakeDrive, CloneCopiesMediumAndScriptingNotFaults) {
    FakeDrive d(8 * MiB);
    d.poke(4096 * 3 + 10, "card", 4);
    d.set_media_type(MEDIA_FIXED);
    d.fail_reads_from(1);
    auto h = open_rw(d);
    std::vector<uint8_t> buf(512);
    EXPECT_FALSE(read_at(*h, 0, buf));

    auto copy = d.clone();
    EXPECT_EQ(copy->capacity(), 8 * MiB);
    EXPECT_EQ(copy->counters().opens, 0u);
    auto ch = copy->open(READ_WRITE, false);
    std::vector<uint8_t> word(4);
    ASSERT_TRUE(read_at(*ch, 4096 * 3 + 10, word));  // faults do not carry over
    EXPECT_EQ(std::string(word.begin(), word.end()), "card");
    DiskGeometry g;
    ASSERT_TRUE(ch->query_geometry(g));
    EXPECT_EQ(g.media_type, MEDIA_FIXED);
    // The copy is deep: writing one leaves the other alone.
    copy->poke(4096 * 3 + 10, "CARD", 4);
    EXPECT_EQ(d.peek(4096 * 3 + 10, 1), std::vector<uint8_t>{'c'});
}

TEST(FakeDrive, HandlesOnTwoThreadsDoNotInterfere) {
    FakeDrive d(8 * MiB);
    auto worker = [&](uint32_t seed, uint64_t base) {
        auto h = d.open(READ_WRITE, false);
        const auto data = testcards::pattern_bytes(8192, seed);
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(write_at(*h, base + uint64_t(i % 16) * 8192, data));
            std::vector<uint8_t> back(8192);
            ASSERT_TRUE(read_at(*h, base + uint64_t(i % 16) * 8192, back));
            ASSERT_EQ(back, data);
        }
    };
    std::thread a(worker, 1, 0), b(worker, 2, 4 * MiB);
    a.join();
    b.join();
    EXPECT_EQ(d.counters().writes, 400u);
}
