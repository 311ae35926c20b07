// The main window's commands that move or delete card files: the two copy buttons of
// the middle column, the card pane's delete button, card rows dragged onto the host
// pane, and files dropped from the desktop's file manager onto the card pane.
//
// Each copy command plans its copies with the routine obtool shares (the overwrite
// questions, the host paths), queues the plan on the progress window Form3 and shows
// it modally; afterwards it refreshes the pane that changed. While a command works on
// the card (questions included) it holds a VolumeBusy, so the drive watch does not
// remount the volume under it.
#include "app/card_list_qt.h"
#include "views/delete_question.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "common/message_seam.h"
#include "app/shell_list_qt.h"
#include "common/volume_busy.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/copy_plan.h"
#include "transfer/copyingDlg.h"
#include "transfer/host_path.h"
#include "transfer/transfer.h"

#include <QAbstractItemView>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListView>
#include <QTreeView>

#include <functional>

namespace {

// Host paths as the core takes them: UTF-8 (what Qt's file names are on Linux; the
// Windows side of the host layer turns UTF-8 into the system's UTF-16).
std::string host_bytes(const QString& path) { return path.toUtf8().toStdString(); }

// Toolkit drags start inside this program; drags from other programs have no source.
bool drag_from_this_program(const QDropEvent* event) { return event->source() != nullptr; }

// Routes the drag events of one widget to handlers.
class DragRelay : public QObject {
public:
    using Over = std::function<void(QDragMoveEvent*)>;
    using Drop = std::function<void(QDropEvent*)>;

    DragRelay(QWidget* target, Over over, Drop drop)
        : QObject(target), over_(std::move(over)), drop_(std::move(drop)) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:   // a QDragEnterEvent is a QDragMoveEvent
        case QEvent::DragMove: over_(static_cast<QDragMoveEvent*>(event)); return true;
        case QEvent::Drop: drop_(static_cast<QDropEvent*>(event)); return true;
        default: return false;
        }
    }

private:
    Over over_;
    Drop drop_;
};

}  // namespace

// --- Host files onto the card ---------------------------------------------------------

void TForm1::actCopyWinToOBExecute() {
    if (hostItemCount() == 0) return;
    const QStringList paths = hostSelectedPaths();
    if (paths.isEmpty()) return;
    const int drive = SelectedDrive();
    if (drive < 0) return;
    copyHostFilesToCard(uint8_t(drive), paths);
}

void TForm1::copyHostFilesToCard(uint8_t drive, const QStringList& paths) {
    if (!Form3) return;
    VolumeBusy busy;
    Form3->driveNumber = drive;
    std::vector<std::string> host_paths;
    for (const QString& each : paths) host_paths.push_back(host_bytes(each));
    for (const std::string& path : plan_copy_to_card(drive, host_paths).queued)
        Form3->AddWinFile(path);   // a folder or an unreadable file is left out here
    if (Form3->winFiles.empty()) return;
    offerCompactionFor(drive, Form3->winFiles);
    Form3->copyToOB = 1;
    Form3->exec();
    ShowCardContents(drive);
}

void TForm1::WMDropFiles(const QPoint& position, const QStringList& paths) {
    // Only drops onto the card list count; its client rectangle's edges included.
    const QRect client = RzListView1->contentsRect();
    const QPoint at = RzListView1->mapFrom(this, position) - client.topLeft();
    if (at.x() < 0 || at.x() > client.width() || at.y() < 0 || at.y() > client.height()) return;
    const int drive = SelectedDrive();
    if (drive < 0) return;
    copyHostFilesToCard(uint8_t(drive), paths);
}

// --- Card files into the host pane's folder -------------------------------------------

void TForm1::actCopyOBToWinExecute() {
    const int drive = SelectedDrive();
    if (drive < 0 || !Form3) return;
    VolumeBusy busy;
    if (!volume().mount(uint8_t(drive))) return;
    // Rows that name no card file (free space) are passed over without a word.
    for (const std::string& name : plan_copy_to_host(selectedCardNames(), host_bytes(hostFolder())).queued)
        Form3->AddOBFile(drive, name);
    if (Form3->obFiles.empty()) return;
    Form3->destFolder = host_bytes(hostFolder());
    Form3->copyToOB = 0;
    Form3->exec();
    RzShellList1->reload();   // the new files show at once
}

void TForm1::RzShellList1DragDrop() { actCopyOBToWinExecute(); }

// --- Deleting -------------------------------------------------------------------------

void TForm1::RzToolbarButton7Click() {
    const int drive = SelectedDrive();
    if (drive < 0 || RzListView1->selectedItems().isEmpty()) return;
    VolumeBusy busy;
    // Only rows that name a card file are deleted; a selection of free-space or
    // message rows alone says so instead of asking about nothing.
    std::vector<std::string> names;
    if (volume().mount(uint8_t(drive)))
        for (const std::string& caption : selectedCardNames())
            if (file_exists(caption)) names.push_back(caption);
    if (names.empty()) {
        show_info(nothing_deleted_notice());
        return;
    }
    if (show_message({delete_question(names), APP_TITLE, MsgIcon::Warning, MsgButtons::YesNo}) !=
        MsgResult::Yes)
        return;
    // A file that could not be deleted (the card refused a write, or no longer mounts)
    // is said once after the others were tried.
    bool failed = false;
    for (const std::string& name : names) {
        if (delete_ob_file(uint8_t(drive), name) != 0 && (!volume().mounted || file_exists(name)))
            failed = true;
    }
    if (failed) show_error(delete_failed_notice());
    ShowCardContents(uint8_t(drive));
}

// --- Drags ----------------------------------------------------------------------------

void TForm1::RzShellList1DragOver(QDragMoveEvent* event) {
    // Every drag of this program is welcome; files from the desktop are not copied
    // onto the host by dropping them there.
    if (!drag_from_this_program(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);   // the dragged rows stay in the card list
    event->accept();
}

void TForm1::RzListView1DragOver(QDragMoveEvent* event) {
    if (drag_from_this_program(event) || acceptsFileDrop(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::connectTransferDrags() {
    auto host_drop = [this](QDropEvent* event) {
        if (!drag_from_this_program(event)) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        // The copy runs once the drag has ended, not inside it.
        QMetaObject::invokeMethod(this, &TForm1::RzShellList1DragDrop, Qt::QueuedConnection);
    };
    auto host_over = [this](QDragMoveEvent* event) { RzShellList1DragOver(event); };
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(RzShellList1->detailsView()),
                                    static_cast<QAbstractItemView*>(RzShellList1->iconsView())})
        new DragRelay(view->viewport(), host_over, host_drop);

    // The card list has no drop handler of its own: card rows dropped on it do nothing,
    // and files from the desktop go to the window's file drop with the point in the
    // window's coordinates.
    QWidget* card_view = RzListView1->viewport();
    auto card_drop = [this, card_view](QDropEvent* event) {
        if (drag_from_this_program(event)) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
            return;
        }
        QDropEvent moved(card_view->mapTo(this, event->position().toPoint()),
                         event->possibleActions(), event->mimeData(), event->buttons(),
                         event->modifiers());
        dropEvent(&moved);
        event->setDropAction(moved.dropAction());
        event->setAccepted(moved.isAccepted());
    };
    new DragRelay(card_view, [this](QDragMoveEvent* event) { RzListView1DragOver(event); },
                  card_drop);
}
