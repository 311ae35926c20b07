#include "app/aboutDlg.h"
#include "common/ui_text_qt.h"

#include "app/image_list_qt.h"
#include "gui/window_place_qt.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TForm6::TForm6(QWidget* parent) : QDialog(parent) {
    setObjectName("Form6");
    setup_tool_dialog(this, QStringLiteral("Orbelle Manager"), 240, 120);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(image_list::picture(image_list::CONSOLE, 34));
    Image1->setFixedSize(34, 34);

    Label1 = new QLabel(QStringLiteral("Orbelle Manager " OB_VERSION), this);
    Label1->setObjectName("Label1");
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    RzURLLabel1 = new QLabel(this);
    RzURLLabel1->setObjectName("RzURLLabel1");
    // The label shows the address without its scheme so that it fits the small box.
    const QUrl home{QString(PROJECT_HOME_PAGE)};
    RzURLLabel1->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                             .arg(home.toString(), home.host() + home.path(QUrl::FullyDecoded)));
    RzURLLabel1->setToolTip(home.toString());
    RzURLLabel1->setTextFormat(Qt::RichText);
    RzURLLabel1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    RzURLLabel1->setOpenExternalLinks(false);
    RzURLLabel1->setCursor(Qt::PointingHandCursor);
    connect(RzURLLabel1, &QLabel::linkActivated, this, &TForm6::RzURLLabel1Click);

    Button1 = new QPushButton(ui_qtext("app", "确定"), this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addWidget(RzURLLabel1);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 8);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

void TForm6::RzURLLabel1Click() { QDesktopServices::openUrl(QUrl(QString(PROJECT_HOME_PAGE))); }
