#include "gui/dialog_buttons_qt.h"
#include "common/ui_text_qt.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

OkCancelRow ok_cancel_row(QDialog* dialog, const char* ok_name, const char* cancel_name) {
    OkCancelRow row;
    row.ok = new QPushButton(ui_qtext("maintenance", "确定"), dialog);
    row.ok->setObjectName(ok_name);
    row.cancel = new QPushButton(ui_qtext("maintenance", "取消"), dialog);
    row.cancel->setObjectName(cancel_name);
    QObject::connect(row.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row.layout = new QHBoxLayout;
    row.layout->addStretch();
    row.layout->addWidget(row.ok);
    row.layout->addSpacing(6);
    row.layout->addWidget(row.cancel);
    return row;
}
