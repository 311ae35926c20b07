// The host pane's own delete: the selected files and folders go to the desktop's
// trash, never straight out of existence, so a slip of the mouse can be undone from
// the file manager. What could not be moved there is named.
#include "views/delete_question.h"
#include "app/mainDlg.h"
#include "app/shell_list_qt.h"
#include "common/message_seam.h"
#include "common/ui_text.h"

#include <QFile>
#include <QFileInfo>

void TForm1::HostDeleteClick() {
    const QStringList paths = hostSelectedPaths();
    if (paths.isEmpty()) return;
    std::vector<std::string> names;
    for (const QString& path : paths) names.push_back(QFileInfo(path).fileName().toStdString());
    if (show_message({host_trash_question(names), APP_TITLE, MsgIcon::Warning, MsgButtons::YesNo}) != MsgResult::Yes)
        return;
    std::vector<std::string> kept;
    for (const QString& path : paths)
        if (!QFile::moveToTrash(path)) kept.push_back(QFileInfo(path).fileName().toStdString());
    if (!kept.empty()) show_error(host_trash_failed_notice(kept));
    RzShellList1->reload();
}
