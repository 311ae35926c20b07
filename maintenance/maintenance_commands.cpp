#include "maintenance/maintenance_commands.h"

#include "maintenance/card_models.h"
#include "maintenance/format_card.h"
#include "maintenance/maintenance_messages.h"
#include "maintenance/menu_install.h"
#include "maintenance/side_files.h"
#include "maintenance/speed_file.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"
#include "platform/host_folder.h"
#include "transfer/transfer.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The host's attribute filter on this platform: whether a folder entry goes to the copy.
bool passes_filter(const std::string& path) {
    const host::Kind kind = host::kind_of(path);
    // An entry that cannot be examined goes to the copy, which reports it.
    // Regular files are the MoonShell files; a subfolder is handed on so that the copy
    // refuses it. Devices, pipes and sockets are no files to copy and must never be
    // opened (a pipe would block).
    return kind == host::Kind::Missing || kind == host::Kind::Regular || kind == host::Kind::Directory;
}

// The folder's entries, "." and ".." included, in byte order of their names; false
// when the folder cannot be listed at all.
bool list_folder(const std::string& folder, std::vector<std::string>& names) {
    if (!host::list_folder(folder, &names)) return false;
    std::sort(names.begin(), names.end());
    return true;
}

// A copy onto the card that counts: started and complete. A stopped one (a failed
// write, a card file that could not be committed, a source that shrank) is a failure
// like a refused one.
bool copy_complete(const std::string& path, uint8_t drive) {
    return copy_win_to_ob(path, drive) && last_copy_end() == CopyEnd::Complete;
}

}  // namespace

bool confirm_format() { return show_maint_message(maint_msg::FORMAT_WARNING) == MsgResult::Yes; }

bool format_with_model(uint8_t drive, int row) {
    if (!is_card_model_row(row)) return false;
    const PARTITION_INFO_T& model = card_model_table[size_t(row)];
    if (format_card(drive, model.partition_start, model.speed)) {
        show_maint_message(maint_msg::FORMAT_DONE);
        return true;
    }
    show_maint_message(maint_msg::FORMAT_FAILED);
    return false;
}

bool write_default_speed(uint8_t drive, uint8_t speed) {
    // Like every other card write, never on drive 0, the host's system disk.
    const bool written = drive != 0 && volume().mount(drive) && write_speed_file(speed);
    if (!written) {
        show_maint_message(maint_msg::SPEED_FAILED);
        return false;
    }
    show_maint_message(maint_msg::SPEED_SET, speed_text(speed));
    return true;
}

bool update_save_list(uint8_t drive) {
    if (!copy_complete(beside_program(SAVE_LIST_FILE), drive)) {
        show_maint_message(maint_msg::SAVELIST_FAILED);
        return false;
    }
    show_maint_message(maint_msg::UPDATE_DONE);
    return true;
}

bool update_menu_program(uint8_t drive) {
    if (!install_menu_program(drive)) {
        show_maint_message(maint_msg::MENU_FAILED);
        return false;
    }
    show_maint_message(maint_msg::UPDATE_DONE);
    return true;
}

MoonShellResult install_moonshell(uint8_t drive, const std::function<void()>& refresh_card_list) {
    const std::string folder = beside_program(MOONSHELL_FOLDER) + "/";
    if (!host::is_folder(folder)) {
        show_maint_message(maint_msg::MOONSHELL_NO_FOLDER);
        return MoonShellResult::NoFolder;
    }
    std::vector<std::string> names;
    if (!list_folder(folder, names) || names.empty()) {
        show_maint_message(maint_msg::MOONSHELL_NO_FILES);
        return MoonShellResult::NoFiles;
    }
    for (const std::string& name : names) {
        if (name == "." || name == "..") continue;
        const std::string path = folder + name;
        if (!passes_filter(path)) continue;
        if (!copy_complete(path, drive)) {
            show_maint_message(maint_msg::MOONSHELL_ERROR);
            return MoonShellResult::Failed;
        }
    }
    if (refresh_card_list) refresh_card_list();
    show_maint_message(maint_msg::MOONSHELL_DONE);
    return MoonShellResult::Installed;
}
