#include "app/cloneTargetDlg.h"

#include "common/ui_text_qt.h"
#include "gui/dialog_buttons_qt.h"
#include "gui/window_place_qt.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TCloneTargetForm::TCloneTargetForm(QWidget* parent, const QString& source_caption,
                                   const std::vector<std::pair<uint8_t, QString>>& targets)
    : QDialog(parent) {
    setObjectName("CloneTargetForm");
    setup_tool_dialog(this, ui_qtext("app", "复制到另一张SD卡"), 360, 150);
    Label1 = new QLabel(ui_qtext("app", "从：%1").arg(source_caption), this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label2 = new QLabel(ui_qtext("app", "复制到（这张SD卡会先被格式化）："), this);
    Label2->setObjectName("Label2");
    RzComboBox1 = new QComboBox(this);
    RzComboBox1->setObjectName("RzComboBox1");
    for (const auto& [drive, caption] : targets) RzComboBox1->addItem(caption, int(drive));
    Label2->setBuddy(RzComboBox1);
    const OkCancelRow bottom = ok_cancel_row(this, "Button1", "Button2");
    Button1 = bottom.ok;
    Button2 = bottom.cancel;
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(RzComboBox1);
    layout->addStretch();
    layout->addLayout(bottom.layout);
}

uint8_t TCloneTargetForm::target() const { return uint8_t(RzComboBox1->currentData().toInt()); }
