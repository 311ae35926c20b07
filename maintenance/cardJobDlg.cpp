#include "maintenance/cardJobDlg.h"

#include "common/ui_text_qt.h"
#include "gui/window_place_qt.h"

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

    ProgressBar1 = add_progress_bar(this, "ProgressBar1", BAR_MAX);
    ProgressBar1->setFormat(QStringLiteral("%p%"));

    Button1 = add_cancel_button(this, ui_qtext("maintenance", "取消"));
    connect(Button1, &QPushButton::clicked, this, &TCardJobForm::Button1Click);

    Timer1 = add_poll_timer(this);
    connect(Timer1, &QTimer::timeout, this, &TCardJobForm::Timer1Timer);
}

TCardJobForm::~TCardJobForm() { worker_.stop_and_wait(); }

void TCardJobForm::run(Job job) {
    done_ = 0;
    total_ = 0;
    Button1->setEnabled(true);
    worker_.start([this, job = std::move(job)] {
        job(worker_.cancel_flag(), [this](uint64_t done, uint64_t total, const std::string& text) {
            done_ = done;
            total_ = total;
            if (text.empty()) return;
            std::lock_guard<std::mutex> lock(text_mutex_);
            text_ = text;
        });
    });
    Timer1->start();
    exec();
    Timer1->stop();
    worker_.stop_and_wait();
}

void TCardJobForm::Timer1Timer() {
    const uint64_t total = total_.load();
    ProgressBar1->setValue(total ? int(done_.load() * BAR_MAX / total) : 0);
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        Label1->setText(QString::fromStdString(text_));
    }
    if (worker_.finish()) done(QDialog::Accepted);
}

void TCardJobForm::Button1Click() {
    worker_.cancel();
    Button1->setEnabled(false);   // the job stops at its next safe point
}

void TCardJobForm::reject() {
    // The close box and Escape cancel; the window goes once the job has ended.
    if (worker_.active()) {
        Button1Click();
        return;
    }
    QDialog::reject();
}
