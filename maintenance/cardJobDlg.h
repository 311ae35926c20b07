// The progress window of the whole-card commands (整理SD卡, 备份SD卡…, 恢复SD卡…): it
// runs one job on a worker thread, shows what the job reports on a bar, and offers
// "取消", which asks the job to stop at its next safe point. The window stays up until
// the job has ended, so nothing else reaches the card meanwhile.
#pragma once

#include "gui/progress_worker_qt.h"

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TCardJobForm : public QDialog {
    Q_OBJECT
public:
    // The job's way to report: bytes done, bytes in all, and a text (a file name, or
    // empty to keep the last).
    using Report = std::function<void(uint64_t done, uint64_t total, const std::string& text)>;
    using Job = std::function<void(const std::atomic<bool>* cancel, const Report& report)>;

    TCardJobForm(QWidget* parent, const QString& caption);
    ~TCardJobForm() override;

    // Shows the window modally while `job` runs on a worker thread; returns once it
    // has ended.
    void run(Job job);
    bool cancelRequested() const { return worker_.cancelled(); }

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button1 = nullptr;   // "取消"
    QTimer* Timer1 = nullptr;         // 100 ms: shows the progress, closes after the job

public slots:
    void Button1Click();
    void Timer1Timer();

protected:
    void reject() override;

private:
    std::atomic<uint64_t> done_{0}, total_{0};
    std::mutex text_mutex_;
    std::string text_;
    ProgressWorker worker_;
};
