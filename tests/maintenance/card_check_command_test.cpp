// The card check as the Tools menu runs it: the report box, the repair question with
// No as its answer by default, and what is shown after a repair.
#include "maintenance/card_check.h"
#include "maintenance/card_check_command.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using drive_layer::FakeDrive;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t DISK = 64u << 20;

class CheckCommand : public ::testing::Test {
protected:
    void SetUp() override {
        card = testcards::blank_card(DRIVE, DISK);
        sb = Superblock::layout_for(DISK);
    }
    void TearDown() override { drive_layer::drive_table().clear(); }

    // Marks cluster c as used by no file, keeping the map CRC in step as a flush would.
    void orphan(uint32_t c) {
        const uint8_t code = 0x02;
        card->poke(uint64_t(sb.map_start) * 512 + c, &code, 1);
        uint8_t s[512];
        card->peek(0, s, 512);
        const auto map = card->peek(uint64_t(sb.map_start) * 512, sb.map_bytes);
        put_le16(s + SB_MAP_CRC, crc16(0, map.data(), map.size()));
        put_le16(s + SB_HEADER_CRC, crc16(0, s, SB_HEADER_CRC_SPAN));
        card->poke(0, s, 512);
    }

    std::shared_ptr<FakeDrive> card;
    Superblock sb;
    int refreshed = 0;
    std::function<void()> refresh = [this] { ++refreshed; };
};

}  // namespace

TEST_F(CheckCommand, CleanCardSaysSoAndAsksNothing) {
    testcards::RecordingSink sink;
    EXPECT_EQ(check_card_command(DRIVE, refresh), CardCheckOutcome::Clean);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "SD卡检查完毕，没有发现问题。");
    EXPECT_EQ(sink.messages[0].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(refreshed, 0);
}

TEST_F(CheckCommand, NoVolumeAndDriveZeroAreErrorsWithoutAWrite) {
    auto bare = testcards::attach_fake(2, DISK);
    auto system_disk = testcards::blank_card(0, DISK);   // even a volume there is never looked at
    testcards::RecordingSink sink{MsgResult::Yes};
    EXPECT_EQ(check_card_command(2, refresh), CardCheckOutcome::NoVolume);
    EXPECT_EQ(check_card_command(0, refresh), CardCheckOutcome::NoVolume);
    ASSERT_EQ(sink.messages.size(), 2u);
    for (const Message& m : sink.messages) {
        EXPECT_EQ(m.icon, MsgIcon::Error);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
        EXPECT_EQ(m.text.rfind("无法检查SD卡：\n", 0), 0u) << m.text;
    }
    EXPECT_EQ(bare->counters().writes, 0u);
    EXPECT_EQ(system_disk->counters().reads, 0u);
    EXPECT_EQ(refreshed, 0);
}

TEST_F(CheckCommand, ProblemsAreShownAndNoKeepsTheCardAsItIs) {
    orphan(7);
    const auto before = card->peek(0, uint64_t(sb.data_start) * 512);
    testcards::RecordingSink sink;   // the question's default answer
    EXPECT_EQ(check_card_command(DRIVE, refresh), CardCheckOutcome::Kept);
    ASSERT_EQ(sink.messages.size(), 1u);
    const Message& q = sink.messages[0];
    EXPECT_EQ(q.buttons, MsgButtons::YesNo);
    EXPECT_EQ(q.icon, MsgIcon::Warning);
    EXPECT_EQ(q.title, "Orbelle Manager");
    const CardCheckReport report = check_card(DRIVE, false);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(q.text.find(report.problems[0]), std::string::npos) << q.text;
    EXPECT_NE(q.text.find("要修复这些问题吗？"), std::string::npos);
    EXPECT_EQ(card->peek(0, uint64_t(sb.data_start) * 512), before);
    EXPECT_EQ(refreshed, 0);
}

TEST_F(CheckCommand, YesRepairsRefreshesAndShowsTheChanges) {
    orphan(7);
    orphan(8);
    testcards::RecordingSink sink{MsgResult::Yes};
    EXPECT_EQ(check_card_command(DRIVE, refresh), CardCheckOutcome::Repaired);
    ASSERT_EQ(sink.messages.size(), 2u);
    const Message& done = sink.messages[1];
    EXPECT_EQ(done.icon, MsgIcon::Information);
    EXPECT_EQ(done.text.rfind("SD卡修复完成：\nclusters 7..8 freed", 0), 0u) << done.text;
    EXPECT_NE(done.text.find("再次检查没有发现问题。"), std::string::npos);
    EXPECT_EQ(refreshed, 1);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
}

TEST_F(CheckCommand, WhatRepairCannotMendIsShownAfterTheRepair) {
    // Two files whose runs overlap: repair would have to choose whose bytes are right.
    uint8_t e[512] = {};
    auto put = [&](uint32_t slot, const char* name) {
        std::fill(std::begin(e), std::end(e), 0);
        std::memcpy(e, name, std::strlen(name));
        put_le16(e + DE_ATTRIBUTES, ATTR_ARCHIVE);
        put_le32(e + DE_FIRST_CLUSTER, 3);
        put_le32(e + DE_LAST_CLUSTER, 3);
        put_le32(e + DE_SIZE, 10);
        card->poke(uint64_t(sb.dir_start + slot) * 512, e, 512);
        uint8_t h[4];
        put_le32(h, name_hash(name));
        card->poke(uint64_t(sb.hash_start) * 512 + 4 * slot, h, 4);
    };
    put(0, "one.nds");
    put(1, "two.nds");
    testcards::RecordingSink sink{MsgResult::Yes};
    EXPECT_EQ(check_card_command(DRIVE, refresh), CardCheckOutcome::Repaired);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].icon, MsgIcon::Warning);
    EXPECT_NE(sink.messages[1].text.find("以下问题无法自动修复："), std::string::npos);
    EXPECT_NE(sink.messages[1].text.find("overlaps"), std::string::npos);
}

TEST_F(CheckCommand, ALayoutOtherThanTheFormattersIsShownAndNothingIsAskedOrWritten) {
    orphan(7);  // what a repair would free on a volume it can trust
    uint8_t s[512];
    card->peek(0, s, 512);
    put_le32(s + SB_DATA_START, sb.data_start + OBFS_CLUSTER_SECTORS);
    put_le16(s + SB_HEADER_CRC, crc16(0, s, SB_HEADER_CRC_SPAN));
    card->poke(0, s, 512);
    card->reset_counters();
    testcards::RecordingSink sink{MsgResult::Yes};
    EXPECT_EQ(check_card_command(DRIVE, refresh), CardCheckOutcome::NoVolume);
    ASSERT_EQ(sink.messages.size(), 1u);
    const Message& m = sink.messages[0];
    EXPECT_EQ(m.icon, MsgIcon::Error);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_EQ(m.text.rfind("无法检查SD卡：卷的布局与格式化时写入的不一致", 0), 0u) << m.text;
    EXPECT_NE(m.text.find("data_start is"), std::string::npos) << m.text;
    EXPECT_EQ(card->counters().writes, 0u);
    EXPECT_EQ(refreshed, 0);
}

TEST(CheckBoxText, LongReportsAreCutWithACount) {
    std::vector<std::string> lines;
    for (int i = 0; i < 25; ++i) lines.push_back("line " + std::to_string(i));
    const std::string text = check_box_text("H", lines);
    EXPECT_EQ(text.rfind("H\nline 0\nline 1\n", 0), 0u);
    EXPECT_NE(text.find("\nline 19\n……另有 5 项"), std::string::npos);
    EXPECT_EQ(text.find("line 20"), std::string::npos);
    EXPECT_EQ(check_box_text("H", {"a"}), "H\na");
}
