// The default speed dialog: its controls, the speed it hands over on OK, and the value
// the spin edit keeps between showings.
#include "maintenance/setSDSpeedDlg.h"
#include "support/modal_qt.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

using testgui::when_modal;

TEST(SpeedDialog, ShowsItsTextsAndARangeOf3To30StartingAt14) {
    TForm5 dialog;
    EXPECT_EQ(dialog.windowTitle(), "设置默认SD卡速度");
    EXPECT_EQ(dialog.size(), QSize(208, 143));
    EXPECT_EQ(dialog.Label1->text(),
              "在下面输入默认的SD卡速度。\n该速度也可以在NDS菜单中临时\n"
              "更改，但NDS菜单中更改后无法\n保存，在这里修改的可以保存。");
    EXPECT_EQ(dialog.Label3->text(), "速度");
    EXPECT_EQ(dialog.Label2->text(), "范围：3--30");
    EXPECT_EQ(dialog.Button1->text(), "确定");
    EXPECT_EQ(dialog.Button2->text(), "取消");
    EXPECT_EQ(dialog.RzSpinEdit1->minimum(), 3);
    EXPECT_EQ(dialog.RzSpinEdit1->maximum(), 30);
    EXPECT_EQ(dialog.RzSpinEdit1->value(), 14);
    dialog.RzSpinEdit1->setValue(31);
    EXPECT_EQ(dialog.RzSpinEdit1->value(), 30);
    dialog.RzSpinEdit1->setValue(2);
    EXPECT_EQ(dialog.RzSpinEdit1->value(), 3);
}

TEST(SpeedDialog, OkHandsTheSpeedOverCancelKeepsTheLastOne) {
    TForm5 dialog;
    when_modal(&dialog, [&] {
        dialog.RzSpinEdit1->setValue(30);
        dialog.Button1->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.DefaultSpeed, 30);

    int shown = 0;
    when_modal(&dialog, [&] {
        shown = dialog.RzSpinEdit1->value();
        dialog.RzSpinEdit1->setValue(5);
        dialog.Button2->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(shown, 30);
    EXPECT_EQ(dialog.DefaultSpeed, 30);
    EXPECT_EQ(dialog.RzSpinEdit1->value(), 5);   // the spin edit shows what it last held

    // Enter in the spin edit takes the speed.
    when_modal(&dialog, [&] {
        dialog.RzSpinEdit1->setValue(3);
        testgui::press_key(dialog.RzSpinEdit1, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.DefaultSpeed, 3);
}
