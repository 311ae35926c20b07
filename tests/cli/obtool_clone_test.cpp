// obtool clone on two card images attached side by side: a clone with -y, the
// refusals and the unanswered warning that leave the target image as it was.
#include "support/card_object.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;

namespace {

constexpr uint32_t SOURCE_BYTES = 16u << 20, TARGET_BYTES = 12u << 20;

struct CliCase {
    std::vector<std::string> args;  // after the two --drive options
    int status;
    bool target_changes;
    const char* says;               // on stdout or stderr
};

class ObtoolClone : public ::testing::TestWithParam<CliCase> {
protected:
    void SetUp() override {
        auto drive = std::make_shared<FakeDrive>(SOURCE_BYTES);
        testcards::write_blank_volume(*drive, SOURCE_BYTES);
        {
            testcards::CardOnDrive card(11, drive);
            ASSERT_TRUE(card.mount());
            ASSERT_TRUE(card.put("game.nds", testcards::pattern_bytes(300000, 1)));
            ASSERT_TRUE(card.put("game.sav", testcards::pattern_bytes(1000, 2)));
        }
        testcards::write_host_file(source, drive->peek(0, SOURCE_BYTES));
        FakeDrive target_drive(TARGET_BYTES);
        testcards::write_blank_volume(target_drive, TARGET_BYTES);
        testcards::write_host_file(target, target_drive.peek(0, TARGET_BYTES));
    }

    testcards::TempDir dir;
    std::string source = dir.file("source.img"), target = dir.file("target.img");
};

TEST_P(ObtoolClone, Runs) {
    const CliCase& c = GetParam();
    const auto before = testcards::read_host_file(target);
    std::vector<std::string> args = {"--lang", "en", "--drive", "1=" + source, "--drive", "2=" + target};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    EXPECT_EQ(testcards::read_host_file(target) != before, c.target_changes);
    if (!c.target_changes) return;
    const testcards::ToolResult ls = testcards::run_tool(OB_TOOL_PATH, {"--image", target, "ls"});
    EXPECT_NE(ls.out.find("game.nds"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("game.sav"), std::string::npos) << ls.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObtoolClone,
    ::testing::Values(CliCase{{"-y", "clone", "--from", "1", "--to", "2"}, 0, true, "cloned: 2 files"},
                      CliCase{{"-y", "clone", "--from", "1", "--to", "2", "game.nds"}, 0, true, "cloned: 2 files"},
                      CliCase{{"clone", "--from", "1", "--to", "2"}, 1, false, "not cloned"},
                      CliCase{{"-y", "clone", "--from", "1", "--to", "1"}, 1, false, "same drive"},
                      CliCase{{"-y", "clone", "--from", "1"}, 1, false, "usage: clone"},
                      CliCase{{"-y", "clone", "--from", "1", "--to", "2", "nope.nds"}, 1, false, "nope.nds"}));

}  // namespace
