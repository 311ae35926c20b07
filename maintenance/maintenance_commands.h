// The card-side work of the five Tools commands. The window's handlers run their
// dialogs first (model choice, format warning, speed) and then call these; obtool
// calls them from its commands. Each routine shows its own result boxes through the
// message seam (texts, titles and icons in maintenance_messages.h) and runs
// synchronously on the calling thread, which must be the only one using the card.
#pragma once

#include <cstdint>
#include <functional>

// Asks the format warning (Yes/No, No by default, warning icon); true for Yes.
bool confirm_format();

// Formats the drive for row `row` of card_model_table, then shows "格式化完成" or
// "格式化失败". A row that is not in the table does nothing and returns false. true
// when the card was formatted; the window then refills its card list.
bool format_with_model(uint8_t drive, int row);

// Writes "sd_speed.ini" with the speed on the drive's volume and confirms with
// "SD 卡默认速度已设为 " and the digits; when the drive holds no volume or the file is
// not fully written, shows "设置SD卡默认速度失败" instead and returns false.
bool write_default_speed(uint8_t drive, uint8_t speed);

// Copies "savelist.bin" from the program's folder onto the card: "更新成功", or
// "传送存档列表失败".
bool update_save_list(uint8_t drive);

// Installs "obmenu2.nds" from the program's folder into the menu program area:
// "更新成功", or "传送菜单程序失败".
bool update_menu_program(uint8_t drive);

enum class MoonShellResult { NoFolder, NoFiles, Failed, Installed };

// Copies every regular file of the folder "msob" beside the program onto the card,
// in name order, each under its own name. Subfolders are handed to the copy, which
// refuses them and so stops the installation with an error box; devices, pipes and
// sockets are skipped unopened. On success `refresh_card_list` (if any) runs before
// "MoonShell 安装完成" is shown.
MoonShellResult install_moonshell(uint8_t drive, const std::function<void()>& refresh_card_list = {});
