// The card model of the fake drive: its virtual clock, what counts as a write or read
// that does not continue the previous one, flushes, and bytes by area.
#include "testing/fake_drive.h"
#include "testing/volume_areas.h"

#include <gtest/gtest.h>

using namespace drive_layer;

namespace {

// Round figures, so the expected times can be written down exactly.
CardModel round_model() { return {"round", 1e6, 5e5, 2e-3, 1e-3, 1e-4, 3e-3}; }

void write_at(DriveHandle& h, uint64_t offset, uint32_t bytes) {
    std::vector<uint8_t> data(bytes, 0x5A);
    uint32_t done = 0;
    ASSERT_TRUE(h.seek(offset));
    ASSERT_TRUE(h.write(data.data(), bytes, &done));
    ASSERT_EQ(done, bytes);
}

void read_at(DriveHandle& h, uint64_t offset, uint32_t bytes) {
    std::vector<uint8_t> data(bytes);
    uint32_t done = 0;
    ASSERT_TRUE(h.seek(offset));
    ASSERT_TRUE(h.read(data.data(), bytes, &done));
}

}  // namespace

TEST(CardModel, PresetsAreTheNamedCards) {
    CardModel m;
    ASSERT_TRUE(find_card_model("usb2-a1", &m));
    EXPECT_DOUBLE_EQ(m.read_bytes_per_second, 35e6);
    EXPECT_DOUBLE_EQ(m.write_bytes_per_second, 20e6);
    EXPECT_DOUBLE_EQ(m.nonsequential_write_seconds, 2e-3);
    EXPECT_DOUBLE_EQ(m.nonsequential_read_seconds, 0.7e-3);
    EXPECT_DOUBLE_EQ(m.command_seconds, 0.3e-3);
    EXPECT_DOUBLE_EQ(m.flush_seconds, 1e-3);
    ASSERT_TRUE(find_card_model("uhs1-u3", &m));
    EXPECT_DOUBLE_EQ(m.write_bytes_per_second, 60e6);
    EXPECT_FALSE(find_card_model("usb3-a2", &m));
}

TEST(CardModel, ClockChargesCommandsBytesJumpsAndFlushes) {
    FakeDrive d(64 << 20);
    d.set_card_model(round_model());
    auto h = d.open(READ_WRITE, false);
    write_at(*h, 4096, 5000);        // first write: a jump
    write_at(*h, 4096 + 5000, 5000); // continues it
    write_at(*h, 0, 500);            // goes back: a jump
    read_at(*h, 0, 1000);            // first read: a jump, whatever the writes did
    read_at(*h, 1000, 1000);         // continues the previous read
    write_at(*h, 500, 500);          // continues the last write, reads in between or not
    ASSERT_TRUE(h->flush());

    const CardModelCounters c = d.card_counters();
    EXPECT_EQ(c.commands, 6u);
    EXPECT_EQ(c.nonsequential_writes, 2u);
    EXPECT_EQ(c.nonsequential_reads, 1u);
    EXPECT_EQ(c.flushes, 1u);
    const double expected = 6 * 1e-4 + 2 * 2e-3 + 1 * 1e-3 + 11000 / 5e5 + 2000 / 1e6 + 3e-3;
    EXPECT_NEAR(c.seconds, expected, 1e-12);

    // The clock starts again; the card's position does not.
    d.reset_counters();
    write_at(*h, 1000, 512);
    EXPECT_EQ(d.card_counters().nonsequential_writes, 0u);
    EXPECT_NEAR(d.card_counters().seconds, 1e-4 + 512 / 5e5, 1e-12);
}

TEST(CardModel, FailedAndLostTransfersCostNothingThatDidNotMove) {
    FakeDrive d(1 << 20);
    d.set_card_model(round_model());
    auto h = d.open(READ_WRITE, false);
    d.fail_write_at(1);
    std::vector<uint8_t> data(512);
    uint32_t done = 0;
    ASSERT_TRUE(h->seek(0));
    EXPECT_FALSE(h->write(data.data(), 512, &done));
    EXPECT_EQ(d.card_counters().commands, 0u);
    // Past the end nothing moves, but the command was sent.
    ASSERT_TRUE(h->seek(1 << 20));
    EXPECT_TRUE(h->read(data.data(), 512, &done));
    EXPECT_EQ(d.card_counters().commands, 1u);
    EXPECT_EQ(d.card_counters().bytes_read[unsigned(ByteKind::Data)], 0u);
}

TEST(CardModel, BytesAreCountedByTheAreaTheyFallIn) {
    const Superblock sb = Superblock::layout_for(256u << 20);
    FakeDrive d(256u << 20);
    d.set_card_areas(volume_areas(sb));
    auto h = d.open(READ_WRITE, false);
    write_at(*h, 0, 512);                                    // superblock
    write_at(*h, uint64_t(sb.hash_start) * 512 - 512, 1536); // last map sector, two hash sectors
    write_at(*h, uint64_t(sb.data_start) * 512 - 512, 4096); // last directory sector, then data
    read_at(*h, 512, 1024);                                  // menu area
    const CardModelCounters c = d.card_counters();
    auto written = [&](ByteKind k) { return c.bytes_written[unsigned(k)]; };
    EXPECT_EQ(written(ByteKind::Superblock), 512u);
    EXPECT_EQ(written(ByteKind::Map), 512u);
    EXPECT_EQ(written(ByteKind::Hash), 1024u);
    EXPECT_EQ(written(ByteKind::Directory), 512u);
    EXPECT_EQ(written(ByteKind::Data), 3584u);
    EXPECT_EQ(c.bytes_read[unsigned(ByteKind::Menu)], 1024u);
    EXPECT_STREQ(byte_kind_name(ByteKind::Directory), "directory");
}
