// TForm3: the copy progress window. It owns the jobs of one copy command, runs them
// one by one on a worker thread through the transfer routines, and shows the file
// being copied and a bar while the main window waits behind it.
//
// A batch goes one way: host files onto the card (winFiles) or card files into one
// host folder (obFiles). A command queues jobs, sets the direction and shows the
// window modally; FormShow starts the worker, and Timer1Timer closes the window once
// the worker has ended, which ends the command's exec().
//
// Widgets belong to the GUI thread: the worker never touches one. It hands the status
// text and the bar position to the GUI thread in the order it produces them, and the
// failure box is shown there while the worker waits for it to be closed.
//
// Cancelling ("取消" or the close box) stops the batch at the next chunk; the partial
// file of the interrupted copy is removed and the files copied before stay. The window
// stays up until the worker has ended, so nothing else reaches the card, the job lists
// or the progress slot meanwhile.
#pragma once

#include "common/ui_text.h"
#include "gui/progress_worker_qt.h"

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // --- Controls -------------------------------------------------------------------
    QLabel* RzStatusPane1 = nullptr;          // the file being copied
    QProgressBar* suiProgressBar1 = nullptr;  // 0..100
    QPushButton* Button1 = nullptr;           // "取消"
    QTimer* Timer1 = nullptr;                 // 100 ms: closes the window after the worker

    // --- The batch ------------------------------------------------------------------
    // Written by the GUI thread before the window is shown; while it is up only the
    // worker touches them.
    std::vector<std::string> winFiles;                 // full host paths
    std::vector<std::pair<int, std::string>> obFiles;  // (drive, card file name)
    uint64_t totalBytes = 0;   // sizes of the queued files, measured when queued
    uint8_t copyToOB = 1;      // 1: winFiles onto the card; else obFiles to the host
    uint8_t driveNumber = 0;   // the card of a host-to-card batch
    std::string destFolder;    // the host folder of a card-to-host batch
    std::atomic<uint8_t> running{0};   // tested before each file; 0 stops the batch
    float percentDone = 0;     // accumulated percentage of the running batch
    ProgressWorker threadHandle;  // the worker of the latest batch

    static constexpr const char* COPY_FAILED = UI_TEXT_NOOP("transfer", "拷贝失败，请检查磁盘的剩余空间");
    // A copy whose read-back (写入后校验) did not match; the file's name follows.
    static constexpr const char* VERIFY_FAILED = UI_TEXT_NOOP("transfer", "写入后校验失败，文件内容与源文件不一致：");

    // Queues one host file: left out without a word when it does not open as a
    // regular file.
    void AddWinFile(const std::string& path);
    // Queues one card file of the volume the caller has mounted on `drive`: left out
    // without a word when no card file has that name.
    void AddOBFile(int drive, const std::string& name);
    void ClearJobs();

    // The progress slot's callback, context = the window. Called on the copying thread
    // after every chunk; reports while no batch is queued (totalBytes 0) are ignored.
    static void OnCopyProgress(void* context, uint32_t bytes);

    // The two job loops, run by the worker.
    void RunWinToOB(uint8_t drive);
    void RunOBToWin(const std::string& folder);

    // True from FormShow until Timer1Timer has seen the worker end.
    bool workerActive() const { return threadHandle.active(); }

public slots:
    void FormShow();
    void Timer1Timer();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    // The close box and Escape: while the worker runs they cancel, and the window stays.
    void reject() override;

private:
    void CopyThreadProc();
    void requestCancel();
    // Hand-offs from the worker to the GUI thread.
    void showStatus(const std::string& text);
    void setStatusText(const QString& text);   // on the GUI thread
    void showBarPosition(int position);
    // An empty text shows COPY_FAILED in the window's language.
    void showCopyFailed(const std::string& text = std::string());
};
