// The format dialog: its controls, the Enter key that cancels, the model chosen through
// the select-card dialog, and the question for a model when none is chosen.
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "support/modal_qt.h"
#include "support/recording_sink.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using testgui::when_modal;

namespace {

class FormatDialog : public ::testing::Test {
protected:
    // "选择型号", then in the select-card dialog row `row` (-1: none) and OK.
    void chooseModel(int row) {
        when_modal(&select, [this, row] {
            select.RzListView1->clearSelection();
            if (row >= 0) select.RzListView1->topLevelItem(row)->setSelected(true);
            select.Button1->click();
        });
        format.Button1->click();
    }

    TForm2 select;
    TForm4 format{&select};
    testcards::RecordingSink sink;
};

}  // namespace

TEST_F(FormatDialog, HasItsControlsAndCancelIsTheDefaultButton) {
    EXPECT_EQ(format.windowTitle(), "格式化SD卡");
    EXPECT_EQ(format.size(), QSize(358, 213));
    EXPECT_EQ(format.SelectedModel, -1);
    EXPECT_EQ(format.Label1->text(), "磁盘ID");
    EXPECT_EQ(format.Label2->text(), "MicroSD 卡型号");
    EXPECT_EQ(format.Button1->text(), "选择型号");
    EXPECT_EQ(format.Button2->text(), "确定");
    EXPECT_EQ(format.Button3->text(), "取消");
    EXPECT_TRUE(format.Edit1->isReadOnly());
    EXPECT_TRUE(format.Edit2->isReadOnly());
    EXPECT_EQ(format.Edit1->width(), 341);
    EXPECT_EQ(format.Edit2->width(), 273);
    EXPECT_NE(format.Edit1->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_TRUE(format.Button3->isDefault());
    EXPECT_FALSE(format.Button2->isDefault());
}

TEST_F(FormatDialog, EnterCancelsWhereverTheFocusIs) {
    QWidget* focus_at_show = nullptr;
    when_modal(&format, [&] {
        focus_at_show = format.focusWidget();
        testgui::press_key(format.Button3, Qt::Key_Return);
    });
    EXPECT_EQ(format.exec(), QDialog::Rejected);
    EXPECT_EQ(focus_at_show, format.Button3);

    // Even with a model chosen and the focus in a text field.
    chooseModel(4);
    when_modal(&format, [&] {
        format.Edit1->setFocus();
        testgui::press_key(format.Edit1, Qt::Key_Return);
    });
    EXPECT_EQ(format.exec(), QDialog::Rejected);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(FormatDialog, ChosenModelStaysAcrossCancelAndReopen) {
    when_modal(&format, [&] {
        chooseModel(9);
        format.Button3->click();
    });
    EXPECT_EQ(format.exec(), QDialog::Rejected);
    EXPECT_EQ(format.SelectedModel, 9);
    EXPECT_EQ(format.Edit2->text(), "Sandisk Micro SD 1GB");

    QString shown;
    when_modal(&format, [&] {
        shown = format.Edit2->text();
        format.Button2->click();
    });
    EXPECT_EQ(format.exec(), QDialog::Accepted);
    EXPECT_EQ(shown, "Sandisk Micro SD 1GB");
    EXPECT_EQ(format.SelectedModel, 9);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(FormatDialog, OkWithoutAModelAsksForOneAndStaysOpen) {
    bool open_after_ok = false;
    when_modal(&format, [&] {
        format.Button2->click();
        open_after_ok = format.isVisible();
        format.Button3->click();
    });
    EXPECT_EQ(format.exec(), QDialog::Rejected);
    EXPECT_TRUE(open_after_ok);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "请选择SD卡型号");
    EXPECT_EQ(sink.messages[0].title, "");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::Ok);
}

TEST_F(FormatDialog, NoRowInTheSelectDialogTakesTheModelAwayButNotItsName) {
    chooseModel(14);
    EXPECT_EQ(format.Edit2->text(), "其他Micro SD卡");
    chooseModel(-1);   // OK in the select-card dialog with nothing selected
    EXPECT_EQ(format.SelectedModel, -1);
    EXPECT_EQ(format.Edit2->text(), "其他Micro SD卡");
    when_modal(&format, [&] {
        format.Button2->click();
        format.Button3->click();
    });
    EXPECT_EQ(format.exec(), QDialog::Rejected);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "请选择SD卡型号");

    // Cancel in the select-card dialog hands its earlier choice over again.
    chooseModel(10);
    when_modal(&select, [&] { select.Button2->click(); });
    format.Button1->click();
    EXPECT_EQ(format.SelectedModel, 10);
    EXPECT_EQ(format.Edit2->text(), "Sandisk Micro SD 2GB");
}
