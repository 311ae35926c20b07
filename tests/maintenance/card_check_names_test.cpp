// Repair and names: a name reaches the same file's bytes after repair as before it,
// whatever slots with wrong hash entries or doubled names lie around; every other
// claimant gets a new name, and both are reported. Names in report lines are escaped.
#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using testcards::CardSurgery;
using testcards::pattern_bytes;

namespace {

constexpr uint32_t DISK = 64u << 20;
using Bytes = std::vector<uint8_t>;

std::string all_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool mentions(const std::vector<std::string>& lines, const std::string& text) {
    return all_lines(lines).find(text) != std::string::npos;
}

class CheckNames : public ::testing::Test {
protected:
    void SetUp() override { card = testcards::blank_card(1, DISK); }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    // A one-cluster file laid by hand, its hash entry `hash` unless 0xFFFFFFFF.
    Bytes lay(uint32_t slot, const std::string& name, uint32_t cluster, uint32_t seed, bool mark = true,
              uint32_t hash = 0xFFFFFFFFu) {
        const Bytes bytes = pattern_bytes(5000 + seed, seed);
        CardSurgery s(*card);
        s.entry(slot, name, cluster, cluster, uint32_t(bytes.size()), mark, hash);
        s.data(cluster, bytes);
        return bytes;
    }
    // The bytes `name` reaches through a lookup, or nothing when it reaches no file.
    Bytes reached(const std::string& name) {
        if (!volume().mount(1)) return {};
        cAFFile f;
        if (!f.open(name, "r", 0)) return {};
        Bytes bytes(f.get_size());
        bytes.resize(f.read(bytes.data(), uint32_t(bytes.size())));
        return bytes;
    }
    void expect_clean_twice() {
        const CardCheckReport first = check_card(1, false);
        EXPECT_TRUE(first.clean()) << all_lines(first.problems);
        EXPECT_TRUE(check_card(1, false).clean());
    }

    std::shared_ptr<drive_layer::FakeDrive> card;
};

TEST_F(CheckNames, ALowerSlotWithAWrongHashNeverTakesTheNameFromTheFileLookupsFind) {
    const Bytes stray = lay(2, "game.nds", 0, 1, true, name_hash("other"));
    const Bytes found = lay(5, "game.nds", 1, 2);
    ASSERT_EQ(reached("game.nds"), found);

    const CardCheckReport report = check_card(1, false);
    EXPECT_TRUE(mentions(report.problems, "slots 2, 5 carry the same name \"game.nds\"; lookups find slot 5"))
        << all_lines(report.problems);
    const CardCheckReport repair = check_card(1, true);
    EXPECT_TRUE(mentions(repair.repairs,
                         "slot 2 (\"game.nds\"): renamed to \"game (2).nds\"; the name stays with slot 5"))
        << all_lines(repair.repairs);
    EXPECT_EQ(reached("game.nds"), found);
    EXPECT_EQ(reached("game (2).nds"), stray);
    expect_clean_twice();
}

TEST_F(CheckNames, WhenNoSlotIsFoundTheOneWhoseRunTheMapConfirmsKeepsTheName) {
    const Bytes unmarked = lay(1, "x.sav", 3, 1, /*mark=*/false, 0x1234);
    const Bytes marked = lay(4, "x.sav", 6, 2, true, 0x5678);
    ASSERT_TRUE(reached("x.sav").empty());  // the name reaches nothing yet

    EXPECT_TRUE(mentions(check_card(1, false).problems, "lookups find none of them"));
    const CardCheckReport repair = check_card(1, true);
    EXPECT_TRUE(mentions(repair.repairs, "slot 1 (\"x.sav\"): renamed to \"x (2).sav\"; the name stays with slot 4"))
        << all_lines(repair.repairs);
    EXPECT_TRUE(mentions(repair.repairs, "slot 4 (\"x.sav\"): hash entry set")) << all_lines(repair.repairs);
    EXPECT_EQ(reached("x.sav"), marked);
    EXPECT_EQ(reached("x (2).sav"), unmarked);
    expect_clean_twice();
}

TEST_F(CheckNames, AHashEntryOfAnotherNameIsSetWithoutMovingThatName) {
    const Bytes a = lay(0, "a.nds", 0, 1, true, name_hash("b.nds"));
    const Bytes b = lay(3, "b.nds", 1, 2);
    ASSERT_EQ(reached("b.nds"), b);
    check_card(1, true);
    EXPECT_EQ(reached("a.nds"), a);
    EXPECT_EQ(reached("b.nds"), b);
    expect_clean_twice();
}

TEST_F(CheckNames, ThreeClaimantsKeepTheFoundOneAndGetNamesOfTheirOwn) {
    const Bytes first = lay(0, "s.bin", 0, 1, true, 0x77);
    const Bytes found = lay(1, "s.bin", 1, 2);
    const Bytes later = lay(2, "s.bin", 2, 3);  // its hash is right, but slot 1 comes first
    ASSERT_EQ(reached("s.bin"), found);
    const CardCheckReport repair = check_card(1, true);
    EXPECT_EQ(repair.repairs.size(), 2u) << all_lines(repair.repairs);
    EXPECT_EQ(reached("s.bin"), found);
    EXPECT_EQ(reached("s (2).bin"), first);
    EXPECT_EQ(reached("s (3).bin"), later);
    expect_clean_twice();
}

TEST_F(CheckNames, ANameNoLookupCanReachGetsOneThatCan) {
    const std::string zero = ".ZcJrMBC";  // hashes to 0, the mark of a free slot
    ASSERT_EQ(name_hash(zero), 0u);
    const Bytes bytes = lay(0, zero, 0, 1, true, 0x1234);
    const CardCheckReport repair = check_card(1, true);
    EXPECT_TRUE(mentions(repair.repairs, "renamed to \".ZcJrMBC (2)\"")) << all_lines(repair.repairs);
    EXPECT_EQ(reached(".ZcJrMBC (2)"), bytes);
    expect_clean_twice();
}

TEST_F(CheckNames, NamesInTheLinesAreEscaped) {
    const std::string evil = "evil\x1b[2J\n\x7f.nds";
    lay(0, evil, 0, 1, true, 0x1234);  // a wrong hash entry: reported with its name
    lay(1, evil, 1, 2);
    const CardCheckReport repair = check_card(1, true);
    const std::string text = all_lines(repair.problems) + all_lines(repair.repairs);
    EXPECT_NE(text.find("\"evil\\x1B[2J\\n\\x7F.nds\""), std::string::npos) << text;
    for (const std::string& line : repair.problems) EXPECT_EQ(line.find_first_of("\x1b\n\x7f"), std::string::npos);
    for (const std::string& line : repair.repairs) EXPECT_EQ(line.find_first_of("\x1b\n\x7f"), std::string::npos);
    expect_clean_twice();
}

}  // namespace
