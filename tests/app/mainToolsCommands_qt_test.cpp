// The Tools menu of the main window, run through its menu items and dialogs on cards:
// format, default speed, save list, menu program, MoonShell and the card check.
#include "app/card_list_qt.h"
#include "views/card_rows.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "device/drive_layer.h"
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/card_check.h"
#include "maintenance/setSDSpeedDlg.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"
#include "support/card_files.h"
#include "support/modal_qt.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using testcards::pattern_bytes;
using testgui::when_modal;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;

std::vector<uint8_t> card_file(const std::string& name) {
    return testcards::read_card_file(DRIVE, name);
}

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

class ToolsMenu : public ::testing::Test {
protected:
    void SetUp() override {
        drive_layer::drive_table().clear();
        create_forms();
        Form1->Timer1->stop();   // ticks are driven by hand
    }
    void TearDown() override {
        destroy_forms();
        drive_layer::drive_table().clear();
    }

    // A card with a blank volume in drive 1, listed and shown by the window.
    std::shared_ptr<drive_layer::FakeDrive> listedCard() {
        auto card = testcards::blank_card(DRIVE, CARD_BYTES);
        Form1->RefreshDriveList();
        return card;
    }
    QStringList shownNames() const { return Form1->RzListView1->columnTexts(0); }
    // The card list shows what the card contents view makes of the drive now.
    bool listIsCurrent() const {
        QStringList expected;
        for (const CardRow& row : card_rows(DRIVE)) expected << QString::fromStdString(row.caption);
        QStringList shown = shownNames();
        expected.sort();
        shown.sort();
        return expected == shown;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Message& m : sink.messages) out.push_back(m.text);
        return out;
    }

    // The format dialog's script: choose `row` in the select-card dialog, then OK.
    void formatDialogChooses(int row) {
        when_modal(Form4, [row] {
            when_modal(Form2, [row] {
                Form2->RzListView1->clearSelection();
                Form2->RzListView1->topLevelItem(row)->setSelected(true);
                Form2->Button1->click();
            });
            Form4->Button1->click();
            Form4->Button2->click();
        });
    }

    testcards::SideFiles side;
    testcards::RecordingSink sink;   // answers questions from its script, then No
};

}  // namespace

TEST_F(ToolsMenu, FormatThroughTheDialogsOnACardImage) {
    // A card image of 257,949,696 bytes formatted for row 0, whose nine partition starts
    // fence clusters 947 to 955.
    testcards::TempDir dir;
    const std::string image = dir.file("card.img");
    std::filesystem::resize_file((std::ofstream(image), image), 257949696);
    std::string error;
    ASSERT_TRUE(drive_layer::drive_table().attach_path(DRIVE, image, &error)) << error;
    Form1->RefreshDriveList();
    ASSERT_EQ(Form1->RzImageComboBox1->count(), 1);
    ASSERT_FALSE(listIsCurrent() && shownNames().contains("savelist.bin"));

    QString caption_shown;
    when_modal(Form4, [&] {
        caption_shown = Form4->Edit1->text();
        when_modal(Form2, [] {
            Form2->RzListView1->topLevelItem(0)->setSelected(true);
            Form2->Button1->click();
        });
        Form4->Button1->click();
        Form4->Button2->click();
    });
    sink.answers = {MsgResult::Yes};
    Form1->SD1->trigger();

    EXPECT_EQ(caption_shown, Form1->RzImageComboBox1->itemText(0));
    EXPECT_EQ(texts(), (std::vector<std::string>{"格式化将破坏SD卡上所有的数据，确定要继续吗？", "格式化完成"}));
    EXPECT_EQ(sink.messages[1].icon, MsgIcon::Information);
    EXPECT_EQ(sink.messages[1].title, "Orbelle Manager");

    // The result mounts, with the model's fences and the side files.
    ASSERT_TRUE(volume().mount(DRIVE));
    EXPECT_EQ(volume().data_start(), 9229u);
    EXPECT_EQ(volume().cluster_count(), 1931u);
    for (uint32_t c = 940; c < 960; ++c)
        EXPECT_EQ(volume().cluster_map[c] == MAP_FENCE, c >= 947 && c <= 955) << c;
    EXPECT_EQ(volume().header().partition_start[1], 0x07B00000u);
    EXPECT_EQ(card_file("savelist.bin"), side.save_list);
    EXPECT_EQ(card_file("save_info.dat"), side.save_info);
    EXPECT_EQ(card_file("sd_speed.ini"), bytes_of("4"));
    std::vector<uint8_t> menu_area(side.menu.size());
    std::ifstream(image, std::ios::binary)
        .seekg(512)
        .read(reinterpret_cast<char*>(menu_area.data()), std::streamsize(menu_area.size()));
    EXPECT_EQ(menu_area, side.menu);
    // The card list was refilled: one free row, the side files hidden.
    EXPECT_TRUE(listIsCurrent());
    EXPECT_EQ(shownNames().size(), 2);   // the free run before and after the fences
}

TEST_F(ToolsMenu, FormatStopsWithoutADriveOnCancelAndOnNo) {
    // No drive listed: the box says how to attach one, and nothing else happens.
    Form1->RefreshDriveList();
    Form4->Edit1->setText("unchanged");
    Form1->SD1->trigger();
    EXPECT_EQ(Form4->Edit1->text(), "unchanged");
    EXPECT_EQ(texts(), std::vector<std::string>{NO_CARD_NOTICE});
    sink.messages.clear();

    auto card = listedCard();
    card->reset_counters();
    when_modal(Form4, [] { Form4->Button3->click(); });
    Form1->SD1->trigger();
    EXPECT_TRUE(sink.messages.empty());

    formatDialogChooses(14);
    Form1->SD1->trigger();                 // the warning's default answer: No
    EXPECT_EQ(texts(), std::vector<std::string>{"格式化将破坏SD卡上所有的数据，确定要继续吗？"});
    EXPECT_EQ(card->counters().writes, 0u);

    // The model persists: OK straight away formats with it after the warning.
    sink.messages.clear();
    sink.answers = {MsgResult::Yes};
    when_modal(Form4, [] {
        EXPECT_EQ(Form4->Edit2->text(), "其他Micro SD卡");
        Form4->Button2->click();
    });
    Form1->SD1->trigger();
    EXPECT_EQ(texts().back(), "格式化完成");
    EXPECT_EQ(card_file("sd_speed.ini"), bytes_of("24"));
}

TEST_F(ToolsMenu, FailedFormatShowsBothBoxesAndKeepsTheList) {
    auto card = listedCard();
    side.remove("savelist.bin");
    const QStringList before = shownNames();
    formatDialogChooses(10);
    sink.answers = {MsgResult::Yes};
    testing::internal::CaptureStdout();
    Form1->SD1->trigger();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(texts(), (std::vector<std::string>{"格式化将破坏SD卡上所有的数据，确定要继续吗？",
                                                 "传送存档列表失败", "格式化失败"}));
    EXPECT_EQ(sink.messages[2].icon, MsgIcon::Error);
    EXPECT_EQ(shownNames(), before);
}

TEST_F(ToolsMenu, DefaultSpeedThroughTheDialog) {
    listedCard();
    when_modal(Form5, [] {
        Form5->RzSpinEdit1->setValue(30);
        Form5->Button1->click();
    });
    Form1->SD2->trigger();
    EXPECT_EQ(texts(), std::vector<std::string>{"SD 卡默认速度已设为 30"});
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(card_file("sd_speed.ini"), bytes_of("30"));

    // Cancel writes nothing; the spin edit still shows 30 when it opens again.
    sink.messages.clear();
    int shown = 0;
    when_modal(Form5, [&] {
        shown = Form5->RzSpinEdit1->value();
        Form5->RzSpinEdit1->setValue(7);
        Form5->Button2->click();
    });
    Form1->SD2->trigger();
    EXPECT_EQ(shown, 30);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(card_file("sd_speed.ini"), bytes_of("30"));
}

TEST_F(ToolsMenu, DefaultSpeedOnACardWithoutVolumeIsAnError) {
    auto bare = testcards::attach_fake(DRIVE, CARD_BYTES);
    Form1->RefreshDriveList();
    ASSERT_EQ(Form1->CurrentDrive, DRIVE);
    when_modal(Form5, [] { Form5->Button1->click(); });
    Form1->SD2->trigger();
    EXPECT_EQ(texts(), std::vector<std::string>{"设置SD卡默认速度失败"});
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(bare->counters().writes, 0u);
}

TEST_F(ToolsMenu, SaveListAndMenuProgramUpdates) {
    auto card = listedCard();
    const QStringList before = shownNames();
    testing::internal::CaptureStdout();
    Form1->N2->trigger();
    Form1->N3->trigger();
    side.remove("savelist.bin");
    side.remove("obmenu2.nds");
    Form1->N2->trigger();
    Form1->N3->trigger();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(texts(), (std::vector<std::string>{"更新成功", "更新成功", "传送存档列表失败",
                                                 "传送菜单程序失败"}));
    EXPECT_EQ(sink.messages[2].icon, MsgIcon::Error);
    EXPECT_EQ(sink.messages[3].icon, MsgIcon::Error);
    EXPECT_EQ(card_file("savelist.bin"), side.save_list);
    EXPECT_EQ(card->peek(512, side.menu.size()), side.menu);
    EXPECT_EQ(shownNames(), before);   // neither command refills the card list
}

TEST_F(ToolsMenu, MoonShellWithoutItsFolderOrWithAnEmptyOne) {
    listedCard();
    Form1->MoonShell1->trigger();
    EXPECT_EQ(texts(), std::vector<std::string>{"MoonShell 目录不存在"});
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Information);

    // An empty folder lists only "." and "..": nothing to copy, and done.
    sink.messages.clear();
    std::filesystem::create_directory(side.path("msob"));
    Form1->MoonShell1->trigger();
    EXPECT_EQ(texts(), std::vector<std::string>{"MoonShell 安装完成"});
    EXPECT_TRUE(listIsCurrent());
}

TEST_F(ToolsMenu, MoonShellCopiesItsFilesAndRefreshesTheList) {
    listedCard();
    std::filesystem::create_directory(side.path("msob"));
    const auto shell = pattern_bytes(300000, 21);
    const auto ini = pattern_bytes(40, 22);
    side.write("msob/moonshl.nds", shell);
    side.write("msob/moonshl.ini", ini);
    testing::internal::CaptureStdout();
    Form1->MoonShell1->trigger();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(texts(), std::vector<std::string>{"MoonShell 安装完成"});
    EXPECT_EQ(card_file("moonshl.nds"), shell);
    EXPECT_EQ(card_file("moonshl.ini"), ini);
    EXPECT_TRUE(shownNames().contains("moonshl.nds"));
    EXPECT_TRUE(listIsCurrent());
}

TEST_F(ToolsMenu, MoonShellStopsAtASubfolderAndKeepsWhatWasCopied) {
    listedCard();
    const QStringList before = shownNames();
    std::filesystem::create_directories(side.path("msob/b_skins"));
    side.write("msob/a.nds", pattern_bytes(1000, 31));
    side.write("msob/c.nds", pattern_bytes(1000, 32));
    testing::internal::CaptureStdout();
    Form1->MoonShell1->trigger();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(texts(), std::vector<std::string>{"MoonShell 安装过程中出现错误"});
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(card_file("a.nds"), pattern_bytes(1000, 31));
    EXPECT_FALSE(testcards::card_has(DRIVE, "c.nds"));
    EXPECT_EQ(shownNames(), before);   // no refill after the error
}

TEST_F(ToolsMenu, CheckCardReportsAsksAndRepairs) {
    EXPECT_EQ(Form1->CheckSD1->text(), "检查SD卡");
    auto card = listedCard();
    Form1->CheckSD1->trigger();
    EXPECT_EQ(texts(), std::vector<std::string>{"SD卡检查完毕，没有发现问题。"});

    // Clusters marked as used that no file owns, as a cut-off copy leaves them.
    ASSERT_TRUE(volume().mount(DRIVE));
    volume().cluster_map[3] = 0xAC;
    volume().cluster_map[4] = 0x02;
    ASSERT_TRUE(volume().flush());
    Form1->ShowCardContents(DRIVE);
    const QStringList damaged = shownNames();

    sink.messages.clear();
    Form1->CheckSD1->trigger();            // No, the default answer
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_FALSE(check_card(DRIVE, false).clean());

    sink.messages.clear();
    sink.answers = {MsgResult::Yes};
    Form1->CheckSD1->trigger();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_NE(sink.messages[1].text.find("clusters 3..4 freed"), std::string::npos);
    EXPECT_TRUE(check_card(DRIVE, false).clean());
    EXPECT_TRUE(listIsCurrent());
    EXPECT_NE(shownNames(), damaged);
}

TEST_F(ToolsMenu, DriveWatchStaysAwayWhileACommandRuns) {
    listedCard();
    Form1->Timer1Timer();
    ASSERT_EQ(Form1->LastDriveCount, 1);
    uint8_t counted_inside = 0;
    int entries_inside = 0;
    when_modal(Form5, [&] {
        testcards::blank_card(4, CARD_BYTES);   // a second card comes while the dialog is open
        Form1->Timer1Timer();
        counted_inside = Form1->LastDriveCount;
        entries_inside = Form1->RzImageComboBox1->count();
        Form5->Button1->click();
    });
    Form1->SD2->trigger();
    EXPECT_EQ(counted_inside, 1);
    EXPECT_EQ(entries_inside, 1);
    EXPECT_EQ(texts(), std::vector<std::string>{"SD 卡默认速度已设为 14"});
    Form1->Timer1Timer();                    // the first tick after the command
    EXPECT_EQ(Form1->LastDriveCount, 2);
    EXPECT_EQ(Form1->RzImageComboBox1->count(), 2);
}
