#include "maintenance/setSDSpeedDlg.h"

#include "app/window_place_qt.h"

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setObjectName("Form5");
    setup_tool_dialog(this, QStringLiteral("设置默认SD卡速度"), 208, 143);
}
