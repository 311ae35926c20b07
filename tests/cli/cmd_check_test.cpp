// obtool check on card images: problems reported one per line with a non-zero status,
// --repair mending and reporting each change, and the status after repair telling
// whether anything is left that repair does not mend.
#include "support/card_surgery.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t IMAGE_BYTES = 8u << 20;

class ObtoolCheck : public ::testing::Test {
protected:
    void SetUp() override { testcards::write_blank_volume(card, IMAGE_BYTES); }

    testcards::ToolResult check(const std::vector<std::string>& extra = {}) {
        testcards::write_host_file(image, card.peek(0, IMAGE_BYTES));
        std::vector<std::string> args = {"--image", image, "check"};
        args.insert(args.end(), extra.begin(), extra.end());
        testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
        // The card is what the tool left in the image.
        const auto after = testcards::read_host_file(image);
        card.poke(0, after.data(), after.size());
        return r;
    }

    static size_t lines_starting(const std::string& text, const std::string& start) {
        size_t n = 0;
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find('\n', at);
            if (text.compare(at, start.size(), start) == 0) ++n;
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return n;
    }

    drive_layer::FakeDrive card{IMAGE_BYTES};
    testcards::TempDir dir;
    std::string image = dir.file("card.img");
};

TEST_F(ObtoolCheck, CleanCardExitsZero) {
    testcards::CardSurgery(card).entry(0, "a.nds", 0, 1, 200000);
    const auto r = check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "the card is clean\n");
}

TEST_F(ObtoolCheck, ProblemsAreListedAndRepairLeavesACleanCard) {
    testcards::CardSurgery s(card);
    s.entry(0, "a.nds", 0, 1, 200000);
    s.map(5, 0xAC);                     // an orphan
    s.entry(1, "b.sav", 7, 7, 999999);  // larger than its run
    auto r = check();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("clusters 5..5 are marked as used but belong to no file\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("slot 1 (\"b.sav\"): size 999999 exceeds its run of 131072 bytes\n"), std::string::npos);
    EXPECT_NE(r.out.find("2 problems found"), std::string::npos) << r.out;
    EXPECT_EQ(s.map_at(5), 0xAC);  // a check without --repair changes nothing

    r = check({"--repair"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(lines_starting(r.out, "repaired: "), 2u) << r.out;
    EXPECT_NE(r.out.find("the card is clean now"), std::string::npos) << r.out;
    EXPECT_EQ(s.map_at(5), 0x00);

    r = check();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "the card is clean\n");
}

TEST_F(ObtoolCheck, WhatRepairDoesNotMendKeepsTheStatusNonZero) {
    testcards::CardSurgery s(card);
    s.entry(0, "a.nds", 0, 3, 4 * 131072);
    s.entry(1, "b.nds", 2, 5, 4 * 131072, false);  // overlaps a
    s.map(4, 0x02);
    s.map(5, 0x02);
    const auto r = check({"--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_GE(lines_starting(r.out, "remains: "), 1u) << r.out;
    EXPECT_NE(r.out.find("overlaps the run of slot 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("that repair does not mend"), std::string::npos) << r.out;
}

TEST_F(ObtoolCheck, NoVolumeAndBadArgumentsExitNonZero) {
    card.poke(0, std::vector<uint8_t>(512, 0).data(), 512);
    auto r = check();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no volume to check"), std::string::npos) << r.out;
    r = check({"--fix"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("usage: check [--repair]"), std::string::npos) << r.err;
}

}  // namespace
