#include "gui/progress_worker_qt.h"

#include <QCoreApplication>
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int POLL_INTERVAL_MS = 100;

}  // namespace

ProgressWorker::~ProgressWorker() { stop_and_wait(); }

void ProgressWorker::start(std::function<void()> body) {
    if (thread_.joinable()) return;
    cancel_ = false;
    ended_ = false;
    busy_.emplace();
    thread_ = std::thread([this, body = std::move(body)] {
        body();
        ended_ = true;
    });
}

bool ProgressWorker::finish() {
    if (!thread_.joinable() || !ended_.load()) return false;
    thread_.join();
    busy_.reset();
    return true;
}

void ProgressWorker::stop_and_wait() {
    if (!thread_.joinable()) return;
    cancel();
    while (!ended_.load()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    finish();
}

QProgressBar* add_progress_bar(QDialog* window, const char* name, int bar_max) {
    auto* bar = new QProgressBar(window);
    bar->setObjectName(name);
    bar->setGeometry(8, 82, 309, 21);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(0, bar_max);
    bar->setValue(0);
    return bar;
}

QPushButton* add_cancel_button(QDialog* window, const QString& caption) {
    auto* button = new QPushButton(caption, window);
    button->setObjectName("Button1");
    button->setGeometry(324, 80, 75, 25);
    button->setAutoDefault(false);
    return button;
}

QTimer* add_poll_timer(QDialog* window) {
    auto* timer = new QTimer(window);
    timer->setObjectName("Timer1");
    timer->setInterval(POLL_INTERVAL_MS);
    return timer;
}
