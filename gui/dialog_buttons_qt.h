// The bottom row that the Tools dialogs share: "确定" and "取消" side by side at the
// right end, Cancel closing the dialog with the result Cancel.
#pragma once

class QBoxLayout;
class QDialog;
class QPushButton;

struct OkCancelRow {
    QPushButton* ok = nullptr;       // "确定": the dialog connects what OK does
    QPushButton* cancel = nullptr;   // "取消": rejects the dialog
    QBoxLayout* layout = nullptr;    // to be added at the bottom of the dialog's layout
};

// The two buttons get the given object names (the dialog's layout names).
OkCancelRow ok_cancel_row(QDialog* dialog, const char* ok_name, const char* cancel_name);
