#include "maintenance/FormatSDDlg.h"
#include "common/ui_text_qt.h"

#include "gui/window_place_qt.h"
#include "gui/dialog_buttons_qt.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_messages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr int DRIVE_EDIT_WIDTH = 341;
constexpr int MODEL_EDIT_WIDTH = 273;
constexpr int CHOOSE_BUTTON_WIDTH = 64;   // what the model field leaves of the row

// A read-only edit on a light grey ground: it shows, the user does not type.
QLineEdit* shown_text(const char* name, int width, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFixedWidth(width);
    QPalette grey = edit->palette();
    grey.setColor(QPalette::Base, QColor(0xE4, 0xE4, 0xE4));
    edit->setPalette(grey);
    return edit;
}

}  // namespace

TForm4::TForm4(TForm2* selectCard, QWidget* parent) : QDialog(parent), select_card_(selectCard) {
    setObjectName("Form4");
    setup_tool_dialog(this, ui_qtext("maintenance", "格式化SD卡"), 358, 213);

    Label1 = new QLabel(ui_qtext("maintenance", "磁盘ID"), this);
    Label1->setObjectName("Label1");
    Edit1 = shown_text("Edit1", DRIVE_EDIT_WIDTH, this);
    Label2 = new QLabel(ui_qtext("maintenance", "MicroSD 卡型号"), this);
    Label2->setObjectName("Label2");
    Edit2 = shown_text("Edit2", MODEL_EDIT_WIDTH, this);
    Button1 = new QPushButton(ui_qtext("maintenance", "选择型号"), this);
    Button1->setObjectName("Button1");
    Button1->setFixedWidth(CHOOSE_BUTTON_WIDTH);
    const OkCancelRow bottom = ok_cancel_row(this, "Button2", "Button3");
    Button2 = bottom.ok;
    Button3 = bottom.cancel;
    // Formatting destroys the card's contents: Enter must never start it by accident.
    Button3->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);

    auto* model_row = new QHBoxLayout;
    model_row->setSpacing(0);
    model_row->addWidget(Edit2);
    model_row->addStretch();
    model_row->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 10, 8, 10);
    layout->setSpacing(4);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addSpacing(12);
    layout->addWidget(Label2);
    layout->addLayout(model_row);
    layout->addStretch();
    layout->addLayout(bottom.layout);
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm4::FormShow() {
    // Long drive captions show from their start (the drive number), not their end.
    Edit1->setCursorPosition(0);
    Edit2->setCursorPosition(0);
    Button3->setFocus(Qt::OtherFocusReason);
}

void TForm4::Button1Click() {
    // Whatever the select-card dialog returns, its choice becomes this dialog's; a
    // choice of no row keeps the earlier name in view but OK then asks for a model.
    select_card_->exec();
    SelectedModel = select_card_->SelectedModel;
    if (is_card_model_row(SelectedModel))
        Edit2->setText(QString::fromStdString(card_model_caption(size_t(SelectedModel))));
}

void TForm4::Button2Click() {
    if (!is_card_model_row(SelectedModel)) {
        show_maint_message(maint_msg::SELECT_MODEL);
        return;
    }
    accept();
}
