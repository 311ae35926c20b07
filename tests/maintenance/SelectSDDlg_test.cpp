// The card model selection dialog: its list of models, and how OK, Cancel and the
// selection carry over from one showing to the next.
#include "maintenance/SelectSDDlg.h"
#include "maintenance/card_models.h"
#include "support/modal_qt.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using testgui::when_modal;

namespace {

// Selects row `row` of the dialog's list the way a click does (-1: clears the selection).
void choose(TForm2& dialog, int row) {
    dialog.RzListView1->clearSelection();
    if (row >= 0) dialog.RzListView1->topLevelItem(row)->setSelected(true);
}

}  // namespace

TEST(SelectCardDialog, ListsEveryModelWithItsSpeedInTableOrder) {
    TForm2 dialog;
    EXPECT_EQ(dialog.windowTitle(), "选择SD卡");
    EXPECT_EQ(dialog.size(), QSize(312, 192));
    EXPECT_EQ(dialog.SelectedModel, -1);
    EXPECT_EQ(dialog.RzGroupBox1->title(), "在下面的列表中选择TF卡的品牌和型号");
    EXPECT_EQ(dialog.RzGroupBox1->height(), 157);
    EXPECT_EQ(dialog.Button1->text(), "确定");
    EXPECT_EQ(dialog.Button2->text(), "取消");

    QTreeWidget* list = dialog.RzListView1;
    EXPECT_EQ(list->headerItem()->text(0), "品牌和型号");
    EXPECT_EQ(list->headerItem()->text(1), "速度");
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    ASSERT_EQ(list->topLevelItemCount(), CARD_MODEL_ROWS);
    for (int row = 0; row < CARD_MODEL_ROWS; ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        EXPECT_EQ(item->text(0).toStdString(), card_model_table[size_t(row)].name);
        EXPECT_EQ(item->text(1).toInt(), card_model_table[size_t(row)].speed);
        EXPECT_TRUE(item->textAlignment(1) & Qt::AlignRight);
    }
    EXPECT_EQ(list->topLevelItem(14)->text(0), "其他Micro SD卡");
    EXPECT_EQ(list->topLevelItem(14)->text(1), "24");
    EXPECT_EQ(list->topLevelItem(8)->text(1), "13");
    EXPECT_EQ(list->topLevelItem(9)->text(1), "13");
    EXPECT_EQ(list->topLevelItem(4)->text(0), "PNY Micro SD 512M");

    // Column widths 220 and 48, the name column never narrower, the speed never wider.
    EXPECT_EQ(list->columnWidth(0), 220);
    EXPECT_EQ(list->columnWidth(1), 48);
    list->header()->resizeSection(0, 100);
    list->header()->resizeSection(1, 100);
    EXPECT_EQ(list->columnWidth(0), 220);
    EXPECT_EQ(list->columnWidth(1), 48);
    list->header()->resizeSection(0, 260);
    list->header()->resizeSection(1, 30);
    EXPECT_EQ(list->columnWidth(0), 260);
    EXPECT_EQ(list->columnWidth(1), 30);

    // A second dialog (or obtool) never lists a model twice.
    TForm2 again;
    EXPECT_EQ(again.RzListView1->topLevelItemCount(), CARD_MODEL_ROWS);
}

TEST(SelectCardDialog, OkTakesTheRowCancelKeepsItAndTheSelectionPersists) {
    TForm2 dialog;
    QWidget* focus_at_show = nullptr;
    when_modal(&dialog, [&] {
        focus_at_show = dialog.focusWidget();
        choose(dialog, 9);
        dialog.Button1->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(focus_at_show, dialog.Button2);
    EXPECT_EQ(dialog.SelectedModel, 9);

    // Reopened: the row is still selected; the focus is back on Cancel; Cancel (and
    // closing the window) keep the choice even when another row was clicked meanwhile.
    bool still_selected = false;
    when_modal(&dialog, [&] {
        focus_at_show = dialog.focusWidget();
        still_selected = dialog.RzListView1->topLevelItem(9)->isSelected();
        choose(dialog, 3);
        dialog.Button2->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(still_selected);
    EXPECT_EQ(focus_at_show, dialog.Button2);
    EXPECT_EQ(dialog.SelectedModel, 9);
    when_modal(&dialog, [&] { dialog.close(); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.SelectedModel, 9);

    // OK with nothing selected stores -1.
    when_modal(&dialog, [&] {
        choose(dialog, -1);
        dialog.Button1->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedModel, -1);
}

TEST(SelectCardDialog, EnterPressesTheFocusedButtonAndInTheListTakesTheRow) {
    TForm2 dialog;
    when_modal(&dialog, [&] {
        choose(dialog, 2);
        testgui::press_key(dialog.Button2, Qt::Key_Return);   // the focus is on Cancel
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.SelectedModel, -1);
    when_modal(&dialog, [&] {
        dialog.RzListView1->setFocus();
        testgui::press_key(dialog.RzListView1, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedModel, 2);
}
