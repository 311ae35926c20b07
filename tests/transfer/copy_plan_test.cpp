// Copy planning, shared by the window's copy commands and obtool put/get: which files
// are asked about, what a No leaves out, how host paths are formed, on a fake card.
#include "transfer/copy_plan.h"

#include "common/ui_text.h"
#include "device/drive_layer.h"
#include "obfs/obfs.h"
#include "support/card_files.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>

using testcards::pattern_bytes;
using testcards::put_card_file;

namespace {

constexpr uint8_t DRIVE = 1;

class CopyPlanning : public ::testing::Test {
protected:
    void SetUp() override {
        drive_layer::drive_table().clear();
        card = testcards::blank_card(DRIVE, 64u << 20);
        for (const char* name : {"a.nds", "b.sav", "Game.nds"})
            ASSERT_TRUE(put_card_file(DRIVE, name, pattern_bytes(1000, 1)));
    }
    void TearDown() override { drive_layer::drive_table().clear(); }

    std::vector<std::string> asked() const {
        std::vector<std::string> texts;
        for (const Message& m : sink.messages) texts.push_back(m.text);
        return texts;
    }

    std::shared_ptr<drive_layer::FakeDrive> card;
    testcards::TempDir dir;
    testcards::RecordingSink sink{MsgResult::No};
};

using Names = std::vector<std::string>;

TEST_F(CopyPlanning, ToTheCardAsksPerNameOnTheCardAndNoLeavesOutOnlyThatFile) {
    sink.answers = {MsgResult::No, MsgResult::Yes};
    const CopyPlan plan = plan_copy_to_card(
        DRIVE, {dir.file("a.nds"), dir.file("new.nds"), "C:\\games\\b.sav", dir.file("game.nds")});
    // Backslash paths name the same card file; names differ by case are other files.
    EXPECT_EQ(asked(), (Names{"a.nds已经存在，要覆盖吗？", "b.sav已经存在，要覆盖吗？"}));
    EXPECT_EQ(plan.queued, (Names{dir.file("new.nds"), "C:\\games\\b.sav", dir.file("game.nds")}));
    EXPECT_EQ(plan.declined, (Names{"a.nds"}));
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0].title, "");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Question);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
}

TEST_F(CopyPlanning, ToTheCardTheSameNameTwiceInOneBatchIsAskedTheSecondTime) {
    const CopyPlan plan = plan_copy_to_card(DRIVE, {dir.file("x/c.nds"), dir.file("y/c.nds")});
    EXPECT_EQ(asked(), (Names{"c.nds已经存在，要覆盖吗？"}));
    EXPECT_EQ(plan.queued, (Names{dir.file("x/c.nds")}));
}

TEST_F(CopyPlanning, ToTheHostAsksByFullPathAndPassesOverRowsThatAreNoFiles) {
    testcards::write_host_file(dir.file("a.nds"), pattern_bytes(10, 2));
    std::filesystem::create_directory(dir.file("b.sav"));   // a folder: no question
    volume().mount(DRIVE);
    const CopyPlan plan =
        plan_copy_to_host({"<< FREE SPACE >>", "a.nds", "b.sav", "Game.nds", "../up.nds"}, dir.path());
    EXPECT_EQ(asked(), (Names{dir.file("a.nds") + "已经存在，要覆盖吗？"}));
    EXPECT_EQ(plan.missing, (Names{"<< FREE SPACE >>"}));
    EXPECT_EQ(plan.declined, (Names{dir.file("a.nds")}));
    // A name that cannot be a host file is left to the copy, which refuses it.
    EXPECT_EQ(plan.queued, (Names{"b.sav", "Game.nds", "../up.nds"}));
}

TEST_F(CopyPlanning, ToTheHostTheSameNameTwiceIsAskedTheSecondTime) {
    volume().mount(DRIVE);
    sink.answers = {MsgResult::Yes};
    const CopyPlan plan = plan_copy_to_host({"a.nds", "a.nds"}, dir.path() + "/");
    EXPECT_EQ(asked(), (Names{dir.file("a.nds") + "已经存在，要覆盖吗？"}));
    EXPECT_EQ(plan.queued, (Names{"a.nds", "a.nds"}));
}

TEST_F(CopyPlanning, HostPathsAndTheQuestionInEnglish) {
    EXPECT_EQ(host_target_path("/tmp/x", "a.nds"), "/tmp/x/a.nds");
    EXPECT_EQ(host_target_path("/tmp/x/", "a.nds"), "/tmp/x/a.nds");
    EXPECT_EQ(host_target_path("", "a.nds"), "a.nds");
    set_ui_language(UiLanguage::English);
    EXPECT_EQ(overwrite_question("a.nds"), "a.nds already exists. Overwrite it?");
    set_ui_language(UiLanguage::Chinese);
    EXPECT_EQ(overwrite_question("a.nds"), "a.nds已经存在，要覆盖吗？");
}

}  // namespace
