#include "maintenance/FormatSDDlg.h"

#include "app/window_place_qt.h"

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName("Form4");
    setup_tool_dialog(this, QStringLiteral("格式化SD卡"), 358, 213);
}
