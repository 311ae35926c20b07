// The choice of the card that 复制到另一张SD卡… copies onto: the card drives of the
// drive list other than the one shown, by their captions.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

class TCloneTargetForm : public QDialog {
    Q_OBJECT
public:
    // `targets`: drive numbers with the captions the drive list shows for them.
    TCloneTargetForm(QWidget* parent, const QString& source_caption,
                     const std::vector<std::pair<uint8_t, QString>>& targets);

    // The drive chosen (the first one until the user picks another).
    uint8_t target() const;

    QLabel* Label1 = nullptr;          // "从：" and the source card
    QLabel* Label2 = nullptr;          // "复制到："
    QComboBox* RzComboBox1 = nullptr;  // the other card drives
    QPushButton* Button1 = nullptr;    // "确定"
    QPushButton* Button2 = nullptr;    // "取消"
};
