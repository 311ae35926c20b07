// TForm2: the card model selection dialog. Until the card model table is shown here it
// is an empty window with its caption and size.
#pragma once

#include <QDialog>

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};
