// TForm5: the default speed dialog. Until the speed command is built it is an empty
// window with its caption and size.
#pragma once

#include <QDialog>

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
};
