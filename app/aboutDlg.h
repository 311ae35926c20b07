// TForm6: the About box. A small white tool window with the program's picture, name
// and version, a link to the project's home page and an OK button.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The address behind the link label.
constexpr const char* PROJECT_HOME_PAGE = "https://orbelle-manager.example/";

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;      // program name and version
    QLabel* RzURLLabel1 = nullptr; // the link
    QPushButton* Button1 = nullptr;  // "确定"

public slots:
    void RzURLLabel1Click();
};
