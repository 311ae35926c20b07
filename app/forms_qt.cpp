#include "app/forms_qt.h"

#include "app/aboutDlg.h"
#include "app/mainDlg.h"
#include "maintenance/FormatSDDlg.h"
#include "maintenance/SelectSDDlg.h"
#include "maintenance/setSDSpeedDlg.h"
#include "transfer/copyingDlg.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TForm6* Form6 = nullptr;

void create_forms() {
    Form1 = new TForm1;
    Form2 = new TForm2(Form1);   // the dialogs belong to the main window
    Form3 = new TForm3(Form1);
    Form4 = new TForm4(Form1);
    Form5 = new TForm5(Form1);
    Form6 = new TForm6(Form1);
}

void destroy_forms() {
    delete Form6;
    Form6 = nullptr;
    delete Form5;
    Form5 = nullptr;
    delete Form4;
    Form4 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}
