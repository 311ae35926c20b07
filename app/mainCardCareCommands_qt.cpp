// The whole-card Tools commands of the main window: 整理SD卡 (compaction), 备份SD卡…
// and 恢复SD卡… (backup and restore through a host file dialog), and the checked item
// 写入后校验 (verify after write), which is remembered between runs. The work runs
// behind the progress window TCardJobForm; questions and result boxes come from
// maintenance/card_care_commands.
#include "app/cloneTargetDlg.h"
#include "app/image_list_qt.h"
#include "app/mainDlg.h"
#include "common/ui_text_qt.h"
#include "common/volume_busy.h"
#include "maintenance/cardJobDlg.h"
#include "maintenance/card_care_commands.h"
#include "maintenance/card_clone.h"
#include "maintenance/maintenance_messages.h"
#include "obfs/card.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"
#include "transfer/copy_job.h"
#include "transfer/host_path.h"
#include "transfer/verify.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSettings>

namespace {

// Where the window keeps the one setting it remembers.
const QString SETTINGS_ORG = QStringLiteral("Orbelle");
const QString SETTINGS_APP = QStringLiteral("Orbelle Manager");
const QString VERIFY_SETTING = QStringLiteral("transfer/verifyAfterWrite");
const char* const IMAGE_FILTER = UI_TEXT_NOOP("app", "SD卡备份 (*.img);;所有文件 (*)");

std::string host_bytes(const QString& path) { return path.toUtf8().toStdString(); }

}  // namespace

void TForm1::buildCardCareMenu() {
    ToolsMenu->addSeparator();
    CompactSD1 = ToolsMenu->addAction(image_list::icon(image_list::DISKETTE), ui_qtext("app", "整理SD卡"));
    CompactSD1->setObjectName("CompactSD1");
    connect(CompactSD1, &QAction::triggered, this, &TForm1::CompactSD1Click);
    BackupSD1 = ToolsMenu->addAction(image_list::icon(image_list::DISKETTE), ui_qtext("app", "备份SD卡…"));
    BackupSD1->setObjectName("BackupSD1");
    connect(BackupSD1, &QAction::triggered, this, &TForm1::BackupSD1Click);
    RestoreSD1 = ToolsMenu->addAction(image_list::icon(image_list::DISKETTE), ui_qtext("app", "恢复SD卡…"));
    RestoreSD1->setObjectName("RestoreSD1");
    connect(RestoreSD1, &QAction::triggered, this, &TForm1::RestoreSD1Click);
    // Moving to another card starts from the card the card pane shows: its own menu
    // offers it (buildContextMenus).
    CloneSD1 = new QAction(image_list::icon(image_list::DISKETTE), ui_qtext("app", "复制到另一张SD卡…"), this);
    CloneSD1->setObjectName("CloneSD1");
    connect(CloneSD1, &QAction::triggered, this, &TForm1::CloneSD1Click);
    ToolsMenu->addSeparator();
    VerifyAfterWrite1 = ToolsMenu->addAction(ui_qtext("app", "写入后校验"));
    VerifyAfterWrite1->setObjectName("VerifyAfterWrite1");
    VerifyAfterWrite1->setCheckable(true);
    const bool on = QSettings(SETTINGS_ORG, SETTINGS_APP).value(VERIFY_SETTING, false).toBool();
    VerifyAfterWrite1->setChecked(on);
    set_verify_after_write(on);
    connect(VerifyAfterWrite1, &QAction::toggled, this, &TForm1::VerifyAfterWrite1Toggled);
}

void TForm1::VerifyAfterWrite1Toggled(bool on) {
    // Batches run only while the progress window is modal, so no copy reads the switch
    // while it changes.
    set_verify_after_write(on);
    QSettings(SETTINGS_ORG, SETTINGS_APP).setValue(VERIFY_SETTING, on);
}

void TForm1::compactCard(uint8_t drive) {
    CompactReport report;
    TCardJobForm progress(this, ui_qtext("maintenance", maint_msg::COMPACT_PROGRESS_TITLE));
    progress.run([&](const std::atomic<bool>* cancel, const TCardJobForm::Report& show) {
        report = compact_card(drive, cancel, [&](uint64_t done, uint64_t total, const std::string& name) {
            show(done, total, name);
        });
    });
    ShowCardContents(drive);
    show_compact_result(report);
}

void TForm1::CompactSD1Click() {
    VolumeBusy busy;
    const uint8_t drive = CurrentDrive;
    if (!confirm_compaction()) return;
    compactCard(drive);
}

void TForm1::offerCompactionFor(uint8_t drive, const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, uint64_t>> files;
    for (const std::string& path : paths) {
        host::FileStatus st;
        files.emplace_back(file_name_of(path), host::status_of(path, &st) ? st.size : 0);
    }
    if (!volume().mount(drive)) return;
    const int needs = first_needing_compaction(files);
    if (needs >= 0 && offer_compaction(files[size_t(needs)].first)) compactCard(drive);
}

void TForm1::BackupSD1Click() {
    VolumeBusy busy;
    const uint8_t drive = CurrentDrive;
    // The dialog asks before it replaces a file.
    const QString path = QFileDialog::getSaveFileName(this, ui_qtext("app", "备份SD卡"),
                                                      QDir::home().filePath(QStringLiteral("sdcard.img")), ui_qtext("app", IMAGE_FILTER));
    if (path.isEmpty()) return;
    CardImageReport report;
    TCardJobForm progress(this, ui_qtext("maintenance", maint_msg::BACKUP_PROGRESS_TITLE));
    progress.run([&](const std::atomic<bool>* cancel, const TCardJobForm::Report& show) {
        report = backup_card(drive, host_bytes(path), cancel,
                             [&](uint64_t done, uint64_t total) { show(done, total, host_bytes(path)); });
    });
    if (report.outcome != CardImageOutcome::Cancelled) show_backup_result(report);
}

void TForm1::RestoreSD1Click() {
    VolumeBusy busy;
    const uint8_t drive = CurrentDrive;
    const QString path = QFileDialog::getOpenFileName(this, ui_qtext("app", "恢复SD卡"), QDir::homePath(), ui_qtext("app", IMAGE_FILTER));
    if (path.isEmpty()) return;
    const CardImageReport check = check_restore(drive, host_bytes(path));
    if (check.outcome != CardImageOutcome::Done) {
        show_restore_result(check);
        return;
    }
    if (!confirm_restore()) return;
    CardImageReport report;
    TCardJobForm progress(this, ui_qtext("maintenance", maint_msg::RESTORE_PROGRESS_TITLE));
    progress.run([&](const std::atomic<bool>* cancel, const TCardJobForm::Report& show) {
        report = restore_card(drive, host_bytes(path), cancel,
                              [&](uint64_t done, uint64_t total) { show(done, total, host_bytes(path)); });
    });
    ShowCardContents(drive);
    show_restore_result(report);
}

namespace {

// The clone's progress, from its job's chunks to the progress window.
struct CloneProgress {
    const TCardJobForm::Report& show;
    uint64_t total;
    std::string target;
    uint64_t done = 0;
    static void on_chunk(void* context, uint32_t bytes) {
        auto* self = static_cast<CloneProgress*>(context);
        self->done += bytes;
        self->show(self->done, self->total, self->target);
    }
};

}  // namespace

void TForm1::CloneSD1Click() {
    VolumeBusy busy;
    if (!cardDriveListed()) return;
    const uint8_t from = CurrentDrive;
    QString source_caption;
    std::vector<std::pair<uint8_t, QString>> others;
    for (int i = 0; i < RzImageComboBox1->count(); ++i) {
        const auto drive = uint8_t(RzImageComboBox1->itemData(i).toInt());
        if (drive == from) source_caption = RzImageComboBox1->itemText(i);
        else others.emplace_back(drive, RzImageComboBox1->itemText(i));
    }
    if (others.empty()) {
        show_maint_message(maint_msg::CLONE_NO_OTHER_CARD);
        return;
    }
    TCloneTargetForm choose(this, source_caption, others);
    if (choose.exec() != QDialog::Accepted) return;
    const uint8_t to = choose.target();
    const std::string target_caption = choose.RzComboBox1->currentText().toStdString();
    // Two card objects of the clone's own: the window's card stays as it is.
    cCard source, target;
    const CloneReport plan = plan_clone(source, from, target, to, CloneOptions{});
    if (plan.outcome != CloneOutcome::Done) {
        show_clone_result(plan);
        return;
    }
    if (!confirm_clone()) return;
    CloneReport report;
    TCardJobForm progress(this, ui_qtext("maintenance", maint_msg::CLONE_PROGRESS_TITLE));
    progress.run([&](const std::atomic<bool>* cancel, const TCardJobForm::Report& show) {
        CloneProgress shown{show, plan.bytes_total, target_caption};
        CopyJob job;
        job.progress = &CloneProgress::on_chunk;
        job.progress_context = &shown;
        job.cancel = cancel;
        job.percentage_line = false;
        report = clone_card(source, from, target, to, CloneOptions{}, job);
    });
    ShowCardContents(from);
    show_clone_result(report);
}
