// The main window's build, resize rule, view menu and About box, and the start-up
// windows.
#include "app/aboutDlg.h"
#include "app/card_list_qt.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "views/window_size.h"
#include "app/pane_row_qt.h"
#include "app/shell_combo_qt.h"
#include "app/shell_list_qt.h"
#include "device/drive_layer.h"
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/setSDSpeedDlg.h"
#include "transfer/copyingDlg.h"

#include <QActionGroup>
#include <QApplication>
#include <QScreen>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QListView>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        drive_layer::drive_table().clear();
        form.Timer1->stop();
    }
    void TearDown() override { drive_layer::drive_table().clear(); }
    TForm1 form;
};

QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions) out << a->text();
    return out;
}

}  // namespace

TEST_F(MainWindow, StartsWithTheSpecifiedStateAndControls) {
    EXPECT_EQ(form.windowTitle(), "Orbelle Manager");
    EXPECT_EQ(form.CurrentDrive, 255);
    EXPECT_EQ(form.LastDriveCount, 0);
    EXPECT_TRUE(form.acceptDrops());
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_EQ(form.Label1->text(), "OrbelleManager " OB_VERSION);
    EXPECT_EQ(form.statusBar()->height(), 19);
    EXPECT_EQ(form.RzSizePanel2->width(), 28);

    EXPECT_EQ(form.RzToolbarButton3->toolTip(), "刷新");
    EXPECT_EQ(form.RzToolbarButton4->toolTip(), "回上级目录");
    EXPECT_EQ(form.RzMenuToolbarButton1->toolTip(), "View List");
    EXPECT_EQ(form.RzToolbarButton6->toolTip(), "刷新");
    EXPECT_EQ(form.RzToolbarButton7->toolTip(), "删除");
    EXPECT_EQ(form.RzToolbarButton1->defaultAction(), form.actCopyWinToOB);
    EXPECT_EQ(form.RzToolbarButton2->defaultAction(), form.actCopyOBToWin);

    EXPECT_EQ(captions(form.menuBar()->actions()),
              (QStringList{"文件(&F)", "工具(&T)", "帮助(&H)"}));
    EXPECT_EQ(captions(form.FileMenu->actions()), QStringList{"退出(&X)"});
    EXPECT_EQ(captions(form.ToolsMenu->actions()),
              (QStringList{"格式化SD卡", "设置SD卡默认速度", "更新存档列表", "更新菜单程序",
                           "安装MoonShell", "", "检查SD卡", "", "整理SD卡", "备份SD卡…", "恢复SD卡…", "",
                           "写入后校验"}));
    EXPECT_EQ(captions(form.HelpMenu->actions()), QStringList{"关于(&A)"});
    for (QAction* tool : form.ToolsMenu->actions())
        EXPECT_NE(tool->isSeparator() || tool->isCheckable(), !tool->icon().isNull());  // a check, no icon
    EXPECT_TRUE(form.X1->icon().isNull());
    EXPECT_TRUE(form.N5->icon().isNull());

    // The card list: report view with its three columns, whole-row multi-selection.
    const QTreeWidgetItem* header = form.RzListView1->headerItem();
    EXPECT_EQ(header->text(0), "文件名");
    EXPECT_EQ(header->text(1), "大小");
    EXPECT_EQ(header->text(2), "类型");
    EXPECT_EQ(form.RzListView1->header()->sectionSize(0), 220);
    EXPECT_EQ(form.RzListView1->header()->sectionSize(2), 64);
    EXPECT_EQ(form.RzListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(form.RzListView1->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(form.RzListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(form.RzListView1->dragEnabled());

    EXPECT_EQ(form.RzShellList1->viewStyle(), ShellList::ViewStyle::Details);
    EXPECT_EQ(form.RzShellList1->detailsView()->selectionMode(),
              QAbstractItemView::ExtendedSelection);
}

TEST_F(MainWindow, LeftPaneTakesHalfOfWhatTheMiddleColumnLeaves) {
    form.show();
    QApplication::processEvents();
    // The outer size at start follows the screen: 720x480 at the least.
    const QRect screen = form.screen()->availableGeometry();
    const WindowSize start = first_window_size(screen.width(), screen.height());
    EXPECT_EQ(form.frameGeometry().size(), QSize(start.width, start.height));
    ASSERT_EQ(start.width, 720) << "the offscreen screen is expected to be narrow";
    EXPECT_EQ(form.Panes->leftWidth(), 346);
    EXPECT_EQ(form.RzSizePanel1->width(), 346);
    EXPECT_EQ(form.RzSizePanel2->x(), 346);
    EXPECT_EQ(form.RzSizePanel3->x(), 346 + 28);
    EXPECT_EQ(form.RzSizePanel3->x() + form.RzSizePanel3->width(), form.Panes->width());

    const QSize frame = form.frameGeometry().size() - form.size();
    auto resize_outer = [&](int width) {
        form.resize(width - frame.width(), form.height());
        QApplication::processEvents();
    };
    resize_outer(722);   // 2 pixels wider: the left pane gains 1
    EXPECT_EQ(form.RzSizePanel1->width(), 347);
    resize_outer(723);   // an odd remainder is dropped
    EXPECT_EQ(form.RzSizePanel1->width(), 347);
    resize_outer(400);
    EXPECT_EQ(form.RzSizePanel1->width(), 186);
    EXPECT_EQ(form.RzSizePanel2->width(), 28);
}

TEST_F(MainWindow, ViewMenuIsOneRadioGroupForTheHostListOnly) {
    const QList<QAction*> items = form.PopupMenu1->actions();
    ASSERT_EQ(captions(items), (QStringList{"图标", "平铺", "列表", "详细信息"}));
    EXPECT_TRUE(form.ViewGroup->isExclusive());
    auto checked = [&] {
        QStringList out;
        for (QAction* a : items)
            if (a->isChecked()) out << a->text();
        return out;
    };
    EXPECT_EQ(checked(), QStringList{"详细信息"});

    form.N6->trigger();
    EXPECT_EQ(checked(), QStringList{"图标"});
    EXPECT_EQ(form.RzShellList1->viewStyle(), ShellList::ViewStyle::LargeIcons);
    EXPECT_EQ(form.RzShellList1->currentView(),
              static_cast<QAbstractItemView*>(form.RzShellList1->iconsView()));
    // The card list keeps its report view.
    EXPECT_FALSE(form.RzListView1->isHeaderHidden());
    EXPECT_EQ(form.RzListView1->columnCount(), 3);

    form.N7->trigger();
    EXPECT_EQ(checked(), QStringList{"平铺"});
    EXPECT_EQ(form.RzShellList1->viewStyle(), ShellList::ViewStyle::SmallIcons);
    form.N8->trigger();
    EXPECT_EQ(checked(), QStringList{"列表"});
    EXPECT_EQ(form.RzShellList1->viewStyle(), ShellList::ViewStyle::List);
    form.N9->trigger();
    EXPECT_EQ(checked(), QStringList{"详细信息"});
    EXPECT_EQ(form.RzShellList1->currentView(),
              static_cast<QAbstractItemView*>(form.RzShellList1->detailsView()));
}

TEST_F(MainWindow, HostPaneBrowsesFolders) {
    const QString start = form.hostFolder();
    ASSERT_TRUE(form.RzShellList1->setFolder("/usr/share"));
    EXPECT_EQ(form.hostFolder(), "/usr/share");
    EXPECT_EQ(form.RzShellCombo1->currentText(), "/usr/share");
    form.RzToolbarButton4->click();
    EXPECT_EQ(form.hostFolder(), "/usr");
    EXPECT_EQ(form.RzShellCombo1->currentText(), "/usr");
    EXPECT_FALSE(form.RzShellList1->setFolder("/no/such/folder"));
    EXPECT_EQ(form.hostFolder(), "/usr");
    form.RzToolbarButton3->click();                // re-reads, stays in the folder
    EXPECT_EQ(form.hostFolder(), "/usr");
    ASSERT_TRUE(form.RzShellList1->setFolder("/"));
    EXPECT_FALSE(form.RzShellList1->goUp());
    EXPECT_TRUE(form.hostSelectedPaths().isEmpty());
    (void)start;
}

TEST(StartUp, CreatesTheSixWindowsWithTheirCaptions) {
    create_forms();
    ASSERT_NE(Form1, nullptr);
    EXPECT_EQ(Form1->windowTitle(), "Orbelle Manager");
    EXPECT_EQ(Form2->windowTitle(), "选择SD卡");
    EXPECT_EQ(Form3->windowTitle(), "正在拷贝");
    EXPECT_EQ(Form4->windowTitle(), "格式化SD卡");
    EXPECT_EQ(Form5->windowTitle(), "设置默认SD卡速度");
    EXPECT_EQ(Form6->windowTitle(), "Orbelle Manager");
    EXPECT_EQ(Form2->size(), QSize(312, 192));
    EXPECT_EQ(Form3->size(), QSize(411, 121));
    EXPECT_EQ(Form4->size(), QSize(358, 213));
    EXPECT_EQ(Form5->size(), QSize(208, 143));
    EXPECT_EQ(Form6->size(), QSize(240, 120));
    for (QWidget* w : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2),
                       static_cast<QWidget*>(Form6)})
        EXPECT_FALSE(w->isVisible());
    destroy_forms();
    EXPECT_EQ(Form1, nullptr);
    EXPECT_EQ(Form6, nullptr);
}

TEST(StartUp, AboutBoxIsModalUntilOk) {
    drive_layer::drive_table().clear();
    create_forms();
    Form1->Timer1->stop();
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
        modal = QApplication::activeModalWidget();
        Form6->Button1->click();
    });
    Form1->N5->trigger();
    EXPECT_EQ(modal, Form6);
    EXPECT_EQ(Form6->result(), QDialog::Accepted);
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_EQ(Form6->Button1->text(), "确定");
    EXPECT_TRUE(Form6->RzURLLabel1->text().contains(PROJECT_HOME_PAGE));
    destroy_forms();
}
