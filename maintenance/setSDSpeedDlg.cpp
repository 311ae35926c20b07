#include "maintenance/setSDSpeedDlg.h"
#include "common/ui_text_qt.h"

#include "gui/window_place_qt.h"
#include "gui/dialog_buttons_qt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setObjectName("Form5");
    setup_tool_dialog(this, ui_qtext("maintenance", "设置默认SD卡速度"), 208, 143);

    Label1 = new QLabel(ui_qtext("maintenance", "在下面输入默认的SD卡速度。\n"
                                       "该速度也可以在NDS菜单中临时\n"
                                       "更改，但NDS菜单中更改后无法\n"
                                       "保存，在这里修改的可以保存。"),
                        this);
    Label1->setObjectName("Label1");
    Label3 = new QLabel(ui_qtext("maintenance", "速度"), this);
    Label3->setObjectName("Label3");
    RzSpinEdit1 = new QSpinBox(this);
    RzSpinEdit1->setObjectName("RzSpinEdit1");
    RzSpinEdit1->setRange(MIN_SPEED, MAX_SPEED);
    RzSpinEdit1->setValue(START_SPEED);
    RzSpinEdit1->setAlignment(Qt::AlignRight);
    Label3->setBuddy(RzSpinEdit1);
    Label2 = new QLabel(ui_qtext("maintenance", "范围：3--30"), this);
    Label2->setObjectName("Label2");
    const OkCancelRow bottom = ok_cancel_row(this, "Button1", "Button2");
    Button1 = bottom.ok;
    Button2 = bottom.cancel;
    // Enter in the spin edit takes the speed.
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);

    auto* speed_row = new QHBoxLayout;
    speed_row->setSpacing(6);
    speed_row->addWidget(Label3);
    speed_row->addWidget(RzSpinEdit1);
    speed_row->addWidget(Label2);
    speed_row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    layout->addWidget(Label1);
    layout->addLayout(speed_row);
    layout->addStretch();
    layout->addLayout(bottom.layout);
}

void TForm5::Button1Click() {
    // The spin edit holds whole numbers within 3..30, so the value fits a byte as is.
    DefaultSpeed = uint8_t(RzSpinEdit1->value());
    accept();
}
