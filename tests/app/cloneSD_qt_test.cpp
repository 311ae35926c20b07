// 复制到另一张SD卡… in the window, with two cards in the drive list of one window: the
// target chosen among the other card drives, the warning, the progress window, and
// the result box; No leaves the target alone, and one card alone has nowhere to go.
#include "app/cloneTargetDlg.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "maintenance/card_check.h"
#include "maintenance/menu_install.h"
#include "support/card_object.h"
#include "support/modal_qt.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

using drive_layer::FakeDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t SOURCE = 1, TARGET = 2;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

std::shared_ptr<FakeDrive> blank(uint32_t bytes) {
    auto drive = std::make_shared<FakeDrive>(bytes);
    testcards::write_blank_volume(*drive, bytes);
    return drive;
}

class CloneSD : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(source.mount() && source.put("game.nds", game) && source.put("game.sav", save));
        source.card().disk().close();
        create_forms();
        Form1->Timer1->stop();
    }
    void TearDown() override { destroy_forms(); }

    const std::vector<uint8_t> game = pattern_bytes(3 * K + 5, 1), save = pattern_bytes(K / 2, 2);
    testcards::CardOnDrive source{SOURCE, blank(16u << 20)};
    testcards::RecordingSink sink;  // No unless scripted
};

TEST_F(CloneSD, OneCardAloneHasNowhereToGo) {
    Form1->RefreshDriveList();
    Form1->CloneSD1->trigger();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "没有另一张SD卡可以复制过去，请插入目标SD卡");
}

struct Answer {
    MsgResult warning;
    bool cloned;
};

class CloneSDAnswers : public CloneSD, public ::testing::WithParamInterface<Answer> {};

TEST_P(CloneSDAnswers, TheTargetIsChosenWarnedAboutAndFilled) {
    testcards::CardOnDrive target(TARGET, blank(12u << 20));
    Form1->RefreshDriveList();
    ASSERT_EQ(Form1->RzImageComboBox1->count(), 2);
    EXPECT_TRUE(Form1->CardMenu->actions().contains(Form1->CloneSD1)) << "on the card pane's menu";
    sink.answers = {GetParam().warning};
    target.drive().reset_counters();
    bool chose = false;
    testgui::when_modal_of_type<TCloneTargetForm>([&](TCloneTargetForm* form) {
        EXPECT_EQ(form->RzComboBox1->count(), 1);
        EXPECT_EQ(form->target(), TARGET);
        form->grab().save(QDir::temp().filePath(QStringLiteral("clone-target.png")));
        chose = true;
        form->Button1->click();
    });
    Form1->CloneSD1->trigger();
    EXPECT_TRUE(chose);
    ASSERT_GE(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text.find("复制前会先格式化目标SD卡"), 0u);
    if (!GetParam().cloned) {
        EXPECT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(target.drive().counters().writes, 0u);
        return;
    }
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "复制完成，目标SD卡上的文件已校验无误");
    testcards::CardOnDrive fresh(TARGET, target.drive().clone());
    ASSERT_TRUE(fresh.mount());
    std::map<std::string, std::vector<uint8_t>> files;
    ASSERT_TRUE(fresh.files(&files));
    EXPECT_EQ(files, (std::map<std::string, std::vector<uint8_t>>{{"game.nds", game}, {"game.sav", save}}));
    EXPECT_TRUE(check_card(fresh.card(), TARGET, false).clean());
}

INSTANTIATE_TEST_SUITE_P(Answers, CloneSDAnswers,
                         ::testing::Values(Answer{MsgResult::No, false}, Answer{MsgResult::Yes, true}));

}  // namespace
