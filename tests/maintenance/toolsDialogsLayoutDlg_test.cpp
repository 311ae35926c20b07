// The three Tools dialogs as they are drawn: every control lies inside the fixed client
// area and shows its whole text. With OB_PICTURES_DIR set, each dialog is also written
// there as a PNG for a look by eye.
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/setSDSpeedDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Lays the dialog out as when shown and checks its controls; returns its picture.
QPixmap drawn(QDialog& dialog, const char* file) {
    dialog.show();
    QApplication::processEvents();
    const QRect client = dialog.rect();
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&dialog) || w->parentWidget() != &dialog) continue;
        const QRect box = w->geometry();
        EXPECT_TRUE(client.contains(box)) << qPrintable(w->objectName()) << " lies outside";
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_GE(box.width(), label->sizeHint().width()) << qPrintable(label->objectName());
            EXPECT_GE(box.height(), label->sizeHint().height()) << qPrintable(label->objectName());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_GE(box.width(), button->fontMetrics().horizontalAdvance(button->text()))
                << qPrintable(button->objectName());
        }
    }
    QPixmap picture = dialog.grab();
    dialog.hide();
    if (const char* dir = std::getenv("OB_PICTURES_DIR")) {
        EXPECT_TRUE(picture.save(QDir(dir).filePath(file), "PNG"));
    }
    return picture;
}

}  // namespace

TEST(ToolsDialogsDrawn, SelectCardDialog) {
    TForm2 select;
    select.RzListView1->topLevelItem(9)->setSelected(true);
    EXPECT_EQ(drawn(select, "select-card.png").size(), QSize(312, 192));
    EXPECT_LE(select.RzGroupBox1->geometry().bottom(), select.Button1->geometry().top());
}

TEST(ToolsDialogsDrawn, FormatDialog) {
    TForm2 select;
    TForm4 format(&select);
    format.Edit1->setText("1 -   246 MB, Generic  STORAGE DEVICE    Removable Disk");
    format.Edit2->setText("Sandisk Ultra II Micro SD 1GB");
    EXPECT_EQ(drawn(format, "format.png").size(), QSize(358, 213));
    EXPECT_LT(format.Edit2->geometry().right(), format.Button1->geometry().left());
    EXPECT_LE(format.Edit2->geometry().bottom(), format.Button2->geometry().top());
}

TEST(ToolsDialogsDrawn, SpeedDialog) {
    TForm5 speed;
    EXPECT_EQ(drawn(speed, "speed.png").size(), QSize(208, 143));
    EXPECT_LE(speed.Label1->geometry().bottom(), speed.Label3->geometry().top());
    EXPECT_LE(speed.Label3->geometry().bottom(), speed.Button1->geometry().top());
}
