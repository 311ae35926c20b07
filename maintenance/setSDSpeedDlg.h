// TForm5: the default speed dialog. The user picks the card's default access speed
// (3 to 30) that the menu program on the console starts with. Created once at start-up
// and reused, so the spin edit shows the value it last held.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QPushButton;
class QSpinBox;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    static constexpr int MIN_SPEED = 3;
    static constexpr int MAX_SPEED = 30;
    static constexpr int START_SPEED = 14;

    // The speed chosen when the dialog last closed with OK.
    uint8_t DefaultSpeed = START_SPEED;

    QLabel* Label1 = nullptr;        // the four lines of explanation
    QLabel* Label3 = nullptr;        // "速度"
    QSpinBox* RzSpinEdit1 = nullptr;
    QLabel* Label2 = nullptr;        // "范围：3--30"
    QPushButton* Button1 = nullptr;  // "确定"
    QPushButton* Button2 = nullptr;  // "取消"

public slots:
    void Button1Click();
};
