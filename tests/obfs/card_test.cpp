// Two card objects in one process: each with its own drive, read window, volume and
// streams, so work on one never shows on the other, not even with a stream open on
// each at once; and the default card stays as it was.
#include "obfs/af_file.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "support/card_object.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;
using testcards::CardOnDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint32_t CARD_BYTES = 16u << 20;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

std::shared_ptr<FakeDrive> blank() {
    auto drive = std::make_shared<FakeDrive>(CARD_BYTES);
    testcards::write_blank_volume(*drive, CARD_BYTES);
    return drive;
}

TEST(TwoCards, EachSeesOnlyItsOwnFiles) {
    CardOnDrive a(7, blank()), b(8, blank());
    const bool default_mounted = volume().mounted;
    ASSERT_TRUE(a.mount() && b.mount());
    ASSERT_TRUE(a.put("only_a.nds", pattern_bytes(K + 1, 1)));
    ASSERT_TRUE(b.put("only_b.nds", pattern_bytes(3 * K, 2)));
    ASSERT_TRUE(a.put("both.sav", pattern_bytes(100, 3)));
    ASSERT_TRUE(b.put("both.sav", pattern_bytes(200, 4)));
    EXPECT_TRUE(file_exists(a.card(), "only_a.nds"));
    EXPECT_FALSE(file_exists(a.card(), "only_b.nds"));
    EXPECT_FALSE(file_exists(b.card(), "only_a.nds"));
    EXPECT_EQ(volume().mounted, default_mounted) << "the default card is not theirs";
    // Read back through fresh objects: what each medium holds.
    CardOnDrive a2(7, a.drive().clone()), b2(8, b.drive().clone());
    ASSERT_TRUE(a2.mount() && b2.mount());
    std::map<std::string, std::vector<uint8_t>> fa, fb;
    ASSERT_TRUE(a2.files(&fa) && b2.files(&fb));
    EXPECT_EQ(fa, (std::map<std::string, std::vector<uint8_t>>{{"only_a.nds", pattern_bytes(K + 1, 1)},
                                                               {"both.sav", pattern_bytes(100, 3)}}));
    EXPECT_EQ(fb, (std::map<std::string, std::vector<uint8_t>>{{"only_b.nds", pattern_bytes(3 * K, 2)},
                                                               {"both.sav", pattern_bytes(200, 4)}}));
}

// Streams on both cards at once, written in turns with odd piece sizes (so partial
// sectors pass through each stream's buffer and each card's scratch sector), while
// each card's read window serves the other's lookups never.
TEST(TwoCards, StreamsOnBothAtOnce) {
    CardOnDrive a(7, blank()), b(8, blank());
    ASSERT_TRUE(a.mount() && b.mount());
    const auto bytes_a = pattern_bytes(2 * K + 777, 5), bytes_b = pattern_bytes(2 * K + 333, 6);
    {
        cAFFile out_a(a.card()), out_b(b.card());
        ASSERT_TRUE(out_a.open("a.bin", "w+", 0));
        ASSERT_TRUE(out_b.open("b.bin", "a", 0));  // appends go through the card's scratch sector
        for (size_t at = 0; at < bytes_a.size() || at < bytes_b.size(); at += 1001) {
            if (at < bytes_a.size())
                ASSERT_EQ(out_a.write(bytes_a.data() + at, uint32_t(std::min<size_t>(1001, bytes_a.size() - at))),
                          std::min<size_t>(1001, bytes_a.size() - at));
            if (at < bytes_b.size())
                ASSERT_EQ(out_b.write(bytes_b.data() + at, uint32_t(std::min<size_t>(1001, bytes_b.size() - at))),
                          std::min<size_t>(1001, bytes_b.size() - at));
        }
        EXPECT_TRUE(out_a.close());
        EXPECT_TRUE(out_b.close());
    }
    EXPECT_EQ(&cAFFile(a.card()).card(), &a.card());
    std::map<std::string, std::vector<uint8_t>> fa, fb;
    ASSERT_TRUE(a.files(&fa) && b.files(&fb));
    EXPECT_EQ(fa.at("a.bin"), bytes_a);
    EXPECT_EQ(fb.at("b.bin"), bytes_b);
    EXPECT_EQ(fa.count("b.bin") + fb.count("a.bin"), 0u);
}

}  // namespace
