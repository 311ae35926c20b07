// What both progress windows (the copy window and the whole-card job window) do around
// their work: one worker thread per run, its cancel flag, the flag it sets as its last
// act, the VolumeBusy that keeps the drive watch off the card meanwhile, the 100 ms
// timer that notices the end, and the shared placing of the bar and the "取消" button.
//
// The window stays up until the worker has ended: its close box and Escape only
// cancel, and a window destroyed mid-run cancels and waits, still delivering what the
// worker hands to the GUI thread so that it can finish.
#pragma once

#include "common/volume_busy.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

class QDialog;
class QProgressBar;
class QPushButton;
class QTimer;

class ProgressWorker {
public:
    ProgressWorker() = default;
    ~ProgressWorker();
    ProgressWorker(const ProgressWorker&) = delete;
    ProgressWorker& operator=(const ProgressWorker&) = delete;

    // Starts `body` on the worker thread (no-op while a worker still runs).
    void start(std::function<void()> body);
    // True from start() until finish() has seen the worker end.
    bool active() const { return thread_.joinable(); }
    bool ended() const { return ended_.load(); }
    // Joins a worker that has ended and lets the card go; false while it still runs.
    bool finish();
    // Asks the worker to stop at its next safe point.
    void cancel() { cancel_ = true; }
    bool cancelled() const { return cancel_.load(); }
    const std::atomic<bool>* cancel_flag() const { return &cancel_; }
    std::atomic<bool>* cancel_flag() { return &cancel_; }
    // Cancels and waits for the worker, delivering the GUI thread's events meanwhile.
    void stop_and_wait();

private:
    std::atomic<bool> cancel_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
    std::optional<VolumeBusy> busy_;
};

// The controls at the bottom of a progress window of client width 411: the bar on the
// left (range 0..`bar_max`), "取消" on the right, and the 100 ms timer (not started).
QProgressBar* add_progress_bar(QDialog* window, const char* name, int bar_max);
QPushButton* add_cancel_button(QDialog* window, const QString& caption);
QTimer* add_poll_timer(QDialog* window);
