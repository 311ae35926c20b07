// TForm4: the format dialog. Until the format command is built it is an empty window
// with its caption and size.
#pragma once

#include <QDialog>

class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};
