// The whole-card Tools items of the main window: 整理SD卡 with its question and
// progress window, the compaction offered before a copy that fits only after it, the
// remembered 写入后校验, and the progress window's look.
#include "app/card_list_qt.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "device/sector_io.h"
#include "maintenance/cardJobDlg.h"
#include "maintenance/card_check.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/card_files.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"
#include "transfer/verify.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QSettings>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

class CardCareMenu : public ::testing::Test {
protected:
    void SetUp() override {
        // Settings go to the scratch folder, not the user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.path()));
        drive_layer::drive_table().clear();
        create_forms();
        Form1->Timer1->stop();
        card = testcards::blank_card(DRIVE, 8u << 20);  // 27 clusters
        // Five 4-cluster files, the 2nd and 4th deleted: two holes of 4 free clusters
        // and a tail of 7.
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(testcards::put_card_file(DRIVE, "f" + std::to_string(i), pattern_bytes(4 * K, uint32_t(i))));
        ASSERT_TRUE(volume().mount(DRIVE) && delete_file("f1") && delete_file("f3") && disk_flush());
        Form1->RefreshDriveList();
    }
    void TearDown() override {
        destroy_forms();
        set_verify_after_write(false);
        drive_layer::drive_table().clear();
    }
    unsigned freeRuns() {
        EXPECT_TRUE(volume().mount(DRIVE));
        unsigned runs = 0;
        for (uint32_t c = 0; c < allocatable_clusters(); ++c)
            runs += volume().cluster_map[c] == MAP_FREE && (c == 0 || volume().cluster_map[c - 1] != MAP_FREE);
        return runs;
    }

    testcards::TempDir dir;
    std::shared_ptr<drive_layer::FakeDrive> card;
    testcards::RecordingSink sink;   // No unless scripted
};

TEST_F(CardCareMenu, CompactionAsksFirstAndNoLeavesTheCardAlone) {
    EXPECT_EQ(Form1->CompactSD1->text(), "整理SD卡");
    card->reset_counters();
    Form1->CompactSD1->trigger();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(card->counters().writes, 0u);
    EXPECT_EQ(freeRuns(), 3u);
}

TEST_F(CardCareMenu, CompactionOnYesPacksTheCardAndSaysSo) {
    sink.answers = {MsgResult::Yes};
    Form1->CompactSD1->trigger();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "整理完成");
    EXPECT_EQ(freeRuns(), 1u);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    for (int i : {0, 2, 4}) EXPECT_EQ(testcards::read_card_file(DRIVE, "f" + std::to_string(i)), pattern_bytes(4 * K, uint32_t(i)));
    // Once more: nothing to do.
    sink.messages.clear();
    sink.answers = {MsgResult::Yes};
    Form1->CompactSD1->trigger();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "SD卡的剩余空间已连成一片，无需整理");
}

TEST_F(CardCareMenu, ACopyThatFitsOnlyAfterCompactionOffersIt) {
    // 8 clusters: no run holds them, the 15 free clusters do.
    const std::string path = dir.file("big.nds");
    testcards::write_host_file(path, pattern_bytes(8 * K, 9));
    sink.answers = {MsgResult::Yes};
    const QRect client = Form1->RzListView1->contentsRect();
    Form1->WMDropFiles(Form1->RzListView1->mapTo(Form1, client.topLeft() + QPoint(5, 5)),
                       {QString::fromStdString(path)});
    ASSERT_GE(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text.find("SD卡的剩余空间总量足够"), 0u);
    EXPECT_NE(sink.messages[0].text.find("big.nds"), std::string::npos);
    EXPECT_EQ(sink.messages[1].text, "整理完成");
    EXPECT_EQ(testcards::read_card_file(DRIVE, "big.nds"), pattern_bytes(8 * K, 9));
}

TEST_F(CardCareMenu, VerifyAfterWriteIsACheckedItemRememberedBetweenRuns) {
    EXPECT_EQ(Form1->VerifyAfterWrite1->text(), "写入后校验");
    EXPECT_TRUE(Form1->VerifyAfterWrite1->isCheckable());
    EXPECT_FALSE(Form1->VerifyAfterWrite1->isChecked());
    Form1->VerifyAfterWrite1->trigger();
    EXPECT_TRUE(verify_after_write());
    // The next start of the window finds it on.
    destroy_forms();
    set_verify_after_write(false);
    create_forms();
    EXPECT_TRUE(Form1->VerifyAfterWrite1->isChecked());
    EXPECT_TRUE(verify_after_write());
    Form1->VerifyAfterWrite1->trigger();
    EXPECT_FALSE(verify_after_write());
}

TEST_F(CardCareMenu, BackupAndRestoreItemsAreThere) {
    EXPECT_EQ(Form1->BackupSD1->text(), "备份SD卡…");
    EXPECT_EQ(Form1->RestoreSD1->text(), "恢复SD卡…");
}

TEST_F(CardCareMenu, TheProgressWindowRunsItsJobAndCanCancelIt) {
    TCardJobForm form(Form1, QStringLiteral("正在整理SD卡"));
    bool saw_cancel = false;
    form.run([&](const std::atomic<bool>* cancel, const TCardJobForm::Report& report) {
        report(1, 4, "game.nds");
        QMetaObject::invokeMethod(&form, [&] { form.Button1->click(); }, Qt::QueuedConnection);
        while (!cancel->load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        saw_cancel = true;
    });
    EXPECT_TRUE(saw_cancel);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Button1->isEnabled());

    // Its look, for the eye.
    TCardJobForm shown(Form1, QStringLiteral("正在整理SD卡"));
    shown.Label1->setText(QStringLiteral("MarioKart.nds"));
    shown.ProgressBar1->setValue(420);
    shown.show();
    shown.grab().save(QDir::temp().filePath(QStringLiteral("card-job-window.png")));
    shown.hide();
}

}  // namespace
