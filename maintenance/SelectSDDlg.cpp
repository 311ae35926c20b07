#include "maintenance/SelectSDDlg.h"

#include "app/window_place_qt.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName("Form2");
    setup_tool_dialog(this, QStringLiteral("选择SD卡"), 312, 192);
}
