#include "transfer/copyingDlg.h"

#include "app/window_place_qt.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setup_tool_dialog(this, QStringLiteral("正在拷贝"), 411, 121);
}
