// TForm2: the card model selection dialog. It lists the rows of the card model table
// with their speeds; OK takes the selected row over into SelectedModel, Cancel keeps the
// earlier choice. Created once at start-up and reused, so the choice and the list's
// selection persist from one showing to the next.
#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QTreeWidget;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // The row chosen when the dialog was last closed with OK, -1 when none.
    int SelectedModel = -1;

    QGroupBox* RzGroupBox1 = nullptr;
    QTreeWidget* RzListView1 = nullptr;   // report view: "品牌和型号", "速度"
    QPushButton* Button1 = nullptr;       // "确定"
    QPushButton* Button2 = nullptr;       // "取消"

public slots:
    void FormShow();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
};
