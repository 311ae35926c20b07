// TForm4: the format dialog. It shows the drive to be formatted and the card model
// chosen through the select-card dialog; OK needs a model, Cancel (also the Enter key)
// leaves. Created once at start-up and reused: the model and its name persist between
// showings, the drive caption is set anew by every format command.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TForm2;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    // `selectCard` is the card model dialog that "选择型号" opens.
    explicit TForm4(TForm2* selectCard, QWidget* parent = nullptr);

    // The row of the card model table chosen for formatting, -1 when none.
    int SelectedModel = -1;

    QLabel* Label1 = nullptr;        // "磁盘ID"
    QLineEdit* Edit1 = nullptr;      // the drive caption
    QLabel* Label2 = nullptr;        // "MicroSD 卡型号"
    QLineEdit* Edit2 = nullptr;      // the chosen model's name
    QPushButton* Button1 = nullptr;  // "选择型号"
    QPushButton* Button2 = nullptr;  // "确定"
    QPushButton* Button3 = nullptr;  // "取消", the default button

public slots:
    void FormShow();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    TForm2* select_card_;
};
