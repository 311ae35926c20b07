#include "maintenance/cardJobDlg.h"

#include "app/window_place_qt.h"
#include "common/ui_text_qt.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int CLIENT_WIDTH = 411;
constexpr int CLIENT_HEIGHT = 121;
constexpr int BAR_MAX = 1000;

}  // namespace

TCardJobForm::TCardJobForm(QWidget* parent, const QString& caption) : QDialog(parent) {
    setObjectName("CardJobForm");
    setup_tool_dialog(this, caption, CLIENT_WIDTH, CLIENT_HEIGHT);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 40, 395, 23);
    Label1->setTextFormat(Qt::PlainText);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(8, 82, 309, 21);
    ProgressBar1->setRange(0, BAR_MAX);
    ProgressBar1->setFormat(QStringLiteral("%p%"));

    Button1 = new QPushButton(ui_qtext("maintenance", "取消"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(324, 80, 75, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TCardJobForm::Button1Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TCardJobForm::Timer1Timer);
}

TCardJobForm::~TCardJobForm() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void TCardJobForm::run(Job job) {
    cancel_ = false;
    ended_ = false;
    done_ = 0;
    total_ = 0;
    busy_.emplace();
    Button1->setEnabled(true);
    worker_ = std::thread([this, job = std::move(job)] {
        job(&cancel_, [this](uint64_t done, uint64_t total, const std::string& text) {
            done_ = done;
            total_ = total;
            if (text.empty()) return;
            std::lock_guard<std::mutex> lock(text_mutex_);
            text_ = text;
        });
        ended_ = true;
    });
    Timer1->start();
    exec();
    Timer1->stop();
    if (worker_.joinable()) worker_.join();
    busy_.reset();
}

void TCardJobForm::Timer1Timer() {
    const uint64_t total = total_.load();
    ProgressBar1->setValue(total ? int(done_.load() * BAR_MAX / total) : 0);
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        Label1->setText(QString::fromStdString(text_));
    }
    if (ended_.load()) done(QDialog::Accepted);
}

void TCardJobForm::Button1Click() {
    cancel_ = true;
    Button1->setEnabled(false);   // the job stops at its next safe point
}

void TCardJobForm::reject() {
    // The close box and Escape cancel; the window goes once the job has ended.
    if (!ended_.load()) {
        Button1Click();
        return;
    }
    QDialog::reject();
}
