// Card names through obtool: one rule both ways (put refuses what get would refuse),
// names printed escaped by ls and check, "--" reaching the command so a name may begin
// with "-", and a volume laid out other than the formatter's reported and left alone.
#include "obfs/superblock.h"
#include "support/card_surgery.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr uint32_t IMAGE_BYTES = 8u << 20;
using Bytes = std::vector<uint8_t>;

class CardNames : public ::testing::Test {
protected:
    void SetUp() override { testcards::write_blank_volume(card, IMAGE_BYTES); }

    // Runs obtool on the card as an image file; the card is what the tool left there.
    testcards::ToolResult obtool(const std::vector<std::string>& command) {
        testcards::write_host_file(image, card.peek(0, IMAGE_BYTES));
        std::vector<std::string> args = {"--image", image};
        args.insert(args.end(), command.begin(), command.end());
        testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
        const auto after = testcards::read_host_file(image);
        card.poke(0, after.data(), after.size());
        return r;
    }
    Bytes whole_card() const { return card.peek(0, IMAGE_BYTES); }

    drive_layer::FakeDrive card{IMAGE_BYTES};
    testcards::TempDir dir;
    std::string image = dir.file("card.img");
};

bool raw_controls(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
    return false;
}

TEST_F(CardNames, PutRefusesTheNamesGetRefusesAndChangesNothing) {
    for (const std::string name : {"tab\there.nds", "bell\x07.nds", "del\x7f.nds", "new\nline.nds"}) {
        SCOPED_TRACE(name);
        testcards::write_host_file(dir.file(name), testcards::pattern_bytes(1000, 1));
        const Bytes before = whole_card();
        const auto r = obtool({"put", dir.file(name)});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("control character"), std::string::npos) << r.err;
        EXPECT_FALSE(raw_controls(r.err)) << r.err;
        EXPECT_EQ(whole_card(), before);
    }
    // The other files of the same put still go onto the card.
    testcards::write_host_file(dir.file("fine.nds"), testcards::pattern_bytes(1000, 2));
    const auto r = obtool({"put", dir.file("tab\there.nds"), dir.file("fine.nds")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(obtool({"ls"}).out.find("fine.nds"), std::string::npos);
}

TEST_F(CardNames, GetRefusesTheSameNamesAndRmStillRemovesThem) {
    testcards::CardSurgery(card).entry(0, "tab\there.nds", 0, 0, 10);
    const auto r = obtool({"get", "-o", dir.path(), "tab\there.nds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"tab\\there.nds\": the name holds a control character"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("tab\there.nds")));
    EXPECT_EQ(obtool({"rm", "tab\there.nds"}).status, 0);
    EXPECT_EQ(obtool({"ls"}).out.find("tab"), std::string::npos);
}

TEST_F(CardNames, LsAndCheckPrintNamesEscaped) {
    testcards::CardSurgery s(card);
    const std::string evil = "evil\x1b]0;owned\x07\x1b[2J\nname\x9b.nds";
    s.entry(0, evil, 0, 0, 10);
    s.entry(1, evil, 1, 1, 10);  // the same name twice: check and repair name it
    s.entry(2, "\xe4\xb8\xad\xe6\x96\x87.nds", 2, 2, 10);  // Chinese stays readable

    auto r = obtool({"ls"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(raw_controls(r.out)) << r.out;
    EXPECT_NE(r.out.find("evil\\x1B]0;owned\\x07\\x1B[2J\\nname\\x9B.nds"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\xe4\xb8\xad\xe6\x96\x87.nds"), std::string::npos) << r.out;

    r = obtool({"check", "--repair"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(raw_controls(r.out)) << r.out;
    EXPECT_EQ(r.out.find('\x9b'), std::string::npos);
    EXPECT_NE(r.out.find("renamed to"), std::string::npos) << r.out;
    r = obtool({"check"});
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(CardNames, DoubleDashLetsANameBeginWithADash) {
    const Bytes bytes = testcards::pattern_bytes(3000, 3);
    testcards::write_host_file(dir.file("-dash.nds"), bytes);
    ASSERT_EQ(obtool({"put", "--", dir.file("-dash.nds")}).status, 0);
    std::filesystem::create_directory(dir.file("back"));
    auto r = obtool({"get", "-o", dir.file("back"), "--", "-dash.nds"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testcards::read_host_file(dir.file("back/-dash.nds")), bytes);
    // Without "--" the name is taken for an option (here "-d ash.nds") and refused.
    r = obtool({"get", "-o", dir.file("back"), "-dash.nds"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("-d"), std::string::npos) << r.err;
    // A "--" before the command still ends the global options only.
    r = testcards::run_tool(OB_TOOL_PATH, {"--image", image, "--", "rm", "--", "-dash.nds"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(CardNames, ALayoutOtherThanTheFormattersIsReportedAndRepairChangesNothing) {
    testcards::CardSurgery s(card);
    s.entry(0, "a.nds", 0, 0, 10);
    s.map(5, 0xAC);  // an orphan a repair would free on a volume it can trust
    s.superblock([](Superblock& sb) { sb.data_start += OBFS_CLUSTER_SECTORS; });
    const Bytes before = whole_card();
    auto r = obtool({"check", "--repair"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("data_start is"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nothing was changed"), std::string::npos) << r.out;
    EXPECT_EQ(whole_card(), before);
    EXPECT_EQ(obtool({"check"}).status, 1);
}

}  // namespace
