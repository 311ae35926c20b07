// TForm3: the copy progress window. Until the copy jobs are built it is an empty
// window with its caption and size.
#pragma once

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};
