#include "transfer/copyingDlg.h"
#include "common/ui_text_qt.h"

#include "common/message_seam.h"
#include "gui/window_place_qt.h"
#include "obfs/af_file.h"
#include "transfer/copy_batch.h"
#include "transfer/copy_plan.h"
#include "transfer/host_io.h"
#include "transfer/transfer.h"
#include "platform/host_folder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int CLIENT_WIDTH = 411;
constexpr int CLIENT_HEIGHT = 121;
constexpr int BAR_MAX = 100;

}  // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setup_tool_dialog(this, ui_qtext("transfer", "正在拷贝"), CLIENT_WIDTH, CLIENT_HEIGHT);

    RzStatusPane1 = new QLabel(this);
    RzStatusPane1->setObjectName("RzStatusPane1");
    RzStatusPane1->setGeometry(4, 48, 309, 23);
    RzStatusPane1->setFrameShape(QFrame::NoFrame);
    RzStatusPane1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    RzStatusPane1->setTextFormat(Qt::PlainText);

    suiProgressBar1 = add_progress_bar(this, "suiProgressBar1", BAR_MAX);
    suiProgressBar1->setTextVisible(true);
    suiProgressBar1->setAlignment(Qt::AlignCenter);

    Button1 = add_cancel_button(this, ui_qtext("transfer", "取消"));
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);

    Timer1 = add_poll_timer(this);
    connect(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
    Timer1->start();
}

TForm3::~TForm3() {
    // The program ends while a batch runs: stop it and wait.
    running = 0;
    threadHandle.stop_and_wait();
}

// --- Queuing --------------------------------------------------------------------------

void TForm3::AddWinFile(const std::string& path) {
    HostReader file;
    if (!file.open(path)) return;   // a folder, a missing or unreadable file
    winFiles.push_back(path);
    totalBytes += file.size();
}

void TForm3::AddOBFile(int drive, const std::string& name) {
    cAFFile file;
    if (!file.open(name, "r", 0)) return;   // e.g. a free-space row's caption
    obFiles.emplace_back(drive, name);
    totalBytes += file.get_size();
    file.close();
}

void TForm3::ClearJobs() {
    winFiles.clear();
    obFiles.clear();
    totalBytes = 0;
}

// --- Progress -------------------------------------------------------------------------

void TForm3::OnCopyProgress(void* context, uint32_t bytes) {
    auto* form = static_cast<TForm3*>(context);
    // Copies made outside a batch (maintenance commands, the formatter) report to the
    // hidden window while nothing is queued: there is no batch to measure them by.
    if (!form || form->totalBytes == 0) return;
    form->percentDone =
        float(double(bytes) * 100.0 / double(form->totalBytes) + double(form->percentDone));
    form->showBarPosition(int(form->percentDone));
}

void TForm3::showStatus(const std::string& text) {
    const QString whole = QString::fromStdString(text);
    QMetaObject::invokeMethod(this, [this, whole] { setStatusText(whole); }, Qt::QueuedConnection);
}

void TForm3::setStatusText(const QString& text) {
    // A host path longer than the pane shows its end, where the file name is; the
    // whole path is the pane's tool tip.
    const QFontMetrics metrics(RzStatusPane1->font());
    RzStatusPane1->setText(metrics.elidedText(text, Qt::ElideLeft, RzStatusPane1->width()));
    RzStatusPane1->setToolTip(text);
}

void TForm3::showBarPosition(int position) {
    // Files that grew after they were queued can carry the sum past the end of the bar.
    position = std::clamp(position, 0, BAR_MAX);
    QMetaObject::invokeMethod(this, [this, position] { suiProgressBar1->setValue(position); },
                              Qt::QueuedConnection);
}

void TForm3::showCopyFailed(const std::string& text) {
    // The box belongs to this window, which is the modal one while a batch runs; the
    // worker waits until it has been closed.
    const Message failure{text.empty() ? std::string(ui_text("transfer", COPY_FAILED)) : text, "",
                          MsgIcon::None, MsgButtons::Ok};
    if (QThread::currentThread() == thread()) {
        show_message(failure);
        return;
    }
    QMetaObject::invokeMethod(this, [&failure] { show_message(failure); },
                              Qt::BlockingQueuedConnection);
}

// --- The batch ------------------------------------------------------------------------

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm3::FormShow() {
    if (threadHandle.active()) return;   // shown again while a worker still runs
    running = 1;
    setStatusText(QString());
    suiProgressBar1->setValue(0);
    threadHandle.start([this] { CopyThreadProc(); });
}

void TForm3::CopyThreadProc() {
    set_copy_cancel_flag(threadHandle.cancel_flag());
    if (copyToOB == 1) RunWinToOB(driveNumber);
    else RunOBToWin(destFolder);
    set_copy_cancel_flag(nullptr);
}

// A copy that did not complete — refused, or stopped by a failed read, a full card or
// a card file that could not be committed — shows the failure box and ends the batch:
// the window must never close as if all went well. A cancelled copy is no failure.
void TForm3::RunWinToOB(uint8_t drive) {
    percentDone = 0;
    showBarPosition(0);
    set_copy_callback(&TForm3::OnCopyProgress, this);
    CopyBatch batch;
    const size_t count = winFiles.size();
    for (size_t i = 0; i < count && running != 0; ++i) {
        showStatus(winFiles[i]);
        const std::string next = i + 1 < count ? winFiles[i + 1] : std::string();
        const CopyEnd end = batch.copy_to_card(winFiles[i], drive, next);
        if (end == CopyEnd::Refused || end == CopyEnd::Stopped) {
            showCopyFailed();
            break;
        }
        if (end == CopyEnd::VerifyFailed) {
            showCopyFailed(ui_text("transfer", VERIFY_FAILED) + winFiles[i]);
            break;
        }
    }
    batch.end();
    ClearJobs();
}

void TForm3::RunOBToWin(const std::string& folder) {
    percentDone = 0;
    showBarPosition(0);
    set_copy_callback(&TForm3::OnCopyProgress, this);
    if (!host::is_folder(folder)) {
        ClearJobs();
        return;
    }
    CopyBatch batch;
    for (size_t i = 0; i < obFiles.size() && running != 0; ++i) {
        const auto& [drive, name] = obFiles[i];
        showStatus(name);
        // The files that follow on this copy's drive, for its head start and read-ahead.
        std::vector<std::string> following;
        for (size_t j = i + 1; j < obFiles.size() && obFiles[j].first == drive && following.size() < 64; ++j)
            following.push_back(obFiles[j].second);
        const CopyEnd end = batch.copy_to_host(uint8_t(drive & 0xFF), name, host_target_path(folder, name), following);
        if (end == CopyEnd::Refused || end == CopyEnd::Stopped || end == CopyEnd::VerifyFailed) {
            batch.end();
            showCopyFailed(end == CopyEnd::VerifyFailed ? ui_text("transfer", VERIFY_FAILED) + name : std::string());
            ClearJobs();
            return;
        }
    }
    // The host files are synced together at the end; one that did not reach the disk
    // fails the batch like a copy that never started.
    if (!batch.end().empty()) showCopyFailed();
    ClearJobs();
}

void TForm3::Timer1Timer() {
    if (!threadHandle.finish()) return;
    // What the worker handed over before it ended is shown before the window goes.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    done(QDialog::Accepted);
}

// --- Cancelling -----------------------------------------------------------------------

void TForm3::requestCancel() {
    running = 0;
    threadHandle.cancel();
}

void TForm3::Button1Click() {
    if (threadHandle.active()) requestCancel();
}

void TForm3::reject() {
    if (threadHandle.active()) {
        requestCancel();   // the window closes itself once the worker has ended
        return;
    }
    QDialog::reject();
}
