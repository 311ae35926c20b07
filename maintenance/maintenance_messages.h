// Every message box of the card preparation: the formatter's own boxes and those of
// the five Tools commands, with their exact texts, titles, icons and buttons. The
// core routines show them through the message seam; the window code shows the same
// constants (and the dialog's own "请选择SD卡型号") so the two never drift apart.
#pragma once

#include "common/message_seam.h"
#include "common/ui_text.h"

#include <string>

struct MaintMessage {
    const char* text;
    const char* title;
    MsgIcon icon;
    MsgButtons buttons;
};

namespace maint_msg {

// The format warning, asked after the format dialog: Yes/No with No as the default.
constexpr MaintMessage FORMAT_WARNING{UI_TEXT_NOOP("maintenance", "格式化将破坏SD卡上所有的数据，确定要继续吗？"), APP_TITLE,
                                      MsgIcon::Warning, MsgButtons::YesNo};
constexpr MaintMessage FORMAT_DONE{UI_TEXT_NOOP("maintenance", "格式化完成"), APP_TITLE, MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage FORMAT_FAILED{UI_TEXT_NOOP("maintenance", "格式化失败"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};

// Shown by the formatter itself (no owner window) and by the update commands.
constexpr MaintMessage MENU_FAILED{UI_TEXT_NOOP("maintenance", "传送菜单程序失败"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage SAVELIST_FAILED{UI_TEXT_NOOP("maintenance", "传送存档列表失败"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage SAVEINFO_FAILED{UI_TEXT_NOOP("maintenance", "传送存档信息文件失败"), APP_TITLE, MsgIcon::Error,
                                       MsgButtons::Ok};
// The formatter's last step, the default speed file, did not reach the card.
constexpr MaintMessage FORMAT_SPEED_FAILED{UI_TEXT_NOOP("maintenance", "写入SD卡默认速度文件失败，请重新格式化SD卡"), APP_TITLE,
                                           MsgIcon::Error, MsgButtons::Ok};

// The default speed: the confirmation is this text followed by the speed's digits.
constexpr MaintMessage SPEED_SET{UI_TEXT_NOOP("maintenance", "SD 卡默认速度已设为 "), APP_TITLE, MsgIcon::Information,
                                 MsgButtons::Ok};
constexpr MaintMessage SPEED_FAILED{UI_TEXT_NOOP("maintenance", "设置SD卡默认速度失败"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};

constexpr MaintMessage UPDATE_DONE{UI_TEXT_NOOP("maintenance", "更新成功"), APP_TITLE, MsgIcon::Information, MsgButtons::Ok};

constexpr MaintMessage MOONSHELL_NO_FOLDER{UI_TEXT_NOOP("maintenance", "MoonShell 目录不存在"), APP_TITLE, MsgIcon::Information,
                                           MsgButtons::Ok};
constexpr MaintMessage MOONSHELL_NO_FILES{UI_TEXT_NOOP("maintenance", "MoonShell 文件不存在"), APP_TITLE, MsgIcon::Information,
                                          MsgButtons::Ok};
constexpr MaintMessage MOONSHELL_ERROR{UI_TEXT_NOOP("maintenance", "MoonShell 安装过程中出现错误"), APP_TITLE, MsgIcon::Error,
                                       MsgButtons::Ok};
constexpr MaintMessage MOONSHELL_DONE{UI_TEXT_NOOP("maintenance", "MoonShell 安装完成"), APP_TITLE, MsgIcon::Information,
                                      MsgButtons::Ok};

// Compaction (整理SD卡): asked first, No by default; the failure box ends with the
// name of the file whose move failed.
constexpr MaintMessage COMPACT_QUESTION{UI_TEXT_NOOP("maintenance", "整理SD卡将移动卡上的文件，使剩余空间连成一片。整理期间请勿拔出SD卡。确定要继续吗？"),
                                        APP_TITLE, MsgIcon::Question, MsgButtons::YesNo};
constexpr MaintMessage COMPACT_DONE{UI_TEXT_NOOP("maintenance", "整理完成"), APP_TITLE, MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage COMPACT_NOT_NEEDED{UI_TEXT_NOOP("maintenance", "SD卡的剩余空间已连成一片，无需整理"), APP_TITLE, MsgIcon::Information,
                                          MsgButtons::Ok};
constexpr MaintMessage COMPACT_CANCELLED{UI_TEXT_NOOP("maintenance", "整理已取消，卡上的文件都完好"), APP_TITLE, MsgIcon::Information,
                                         MsgButtons::Ok};
constexpr MaintMessage COMPACT_FAILED{UI_TEXT_NOOP("maintenance", "整理SD卡失败，卡上的文件都可读取："), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage COMPACT_DAMAGED{UI_TEXT_NOOP("maintenance", "SD卡有错误，请先在工具菜单中选择检查SD卡"), APP_TITLE, MsgIcon::Warning,
                                       MsgButtons::Ok};
// A copy to the card that no run holds although the free space would in total; the
// file's name follows the text.
constexpr MaintMessage COMPACT_OFFER{UI_TEXT_NOOP("maintenance", "SD卡的剩余空间总量足够，但没有一段连续空间放得下这个文件。要先整理SD卡吗？\n"),
                                     APP_TITLE, MsgIcon::Question, MsgButtons::YesNo};
constexpr const char* COMPACT_PROGRESS_TITLE = UI_TEXT_NOOP("maintenance", "正在整理SD卡");

// Backup (备份SD卡…) and restore (恢复SD卡…) of a whole card.
constexpr MaintMessage BACKUP_DONE{UI_TEXT_NOOP("maintenance", "备份完成"), APP_TITLE, MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage BACKUP_FAILED{UI_TEXT_NOOP("maintenance", "备份SD卡失败"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage RESTORE_WARNING{UI_TEXT_NOOP("maintenance", "恢复将覆盖SD卡上所有的数据，确定要继续吗？"), APP_TITLE, MsgIcon::Warning,
                                       MsgButtons::YesNo};
constexpr MaintMessage RESTORE_DONE{UI_TEXT_NOOP("maintenance", "恢复完成"), APP_TITLE, MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage RESTORE_FAILED{UI_TEXT_NOOP("maintenance", "恢复SD卡失败，请重新恢复或格式化SD卡"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage RESTORE_CANCELLED{UI_TEXT_NOOP("maintenance", "恢复已取消，请重新恢复或格式化SD卡"), APP_TITLE, MsgIcon::Information,
                                         MsgButtons::Ok};
constexpr MaintMessage RESTORE_NOT_A_BACKUP{UI_TEXT_NOOP("maintenance", "这不是SD卡的备份文件"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage RESTORE_CARD_TOO_SMALL{UI_TEXT_NOOP("maintenance", "SD卡的容量小于备份，无法恢复"), APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
constexpr const char* BACKUP_PROGRESS_TITLE = UI_TEXT_NOOP("maintenance", "正在备份SD卡");
constexpr const char* RESTORE_PROGRESS_TITLE = UI_TEXT_NOOP("maintenance", "正在恢复SD卡");

// Moving to another card (复制到另一张SD卡…, obtool clone).
constexpr MaintMessage CLONE_WARNING{
    UI_TEXT_NOOP("maintenance", "复制前会先格式化目标SD卡，目标卡上原有的数据将全部丢失。确定要继续吗？"), APP_TITLE,
    MsgIcon::Warning, MsgButtons::YesNo};
constexpr MaintMessage CLONE_DONE{UI_TEXT_NOOP("maintenance", "复制完成，目标SD卡上的文件已校验无误"), APP_TITLE,
                                  MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage CLONE_REFUSED{UI_TEXT_NOOP("maintenance", "没有复制，目标SD卡未被改动："), APP_TITLE, MsgIcon::Error,
                                     MsgButtons::Ok};
constexpr MaintMessage CLONE_CANCELLED{UI_TEXT_NOOP("maintenance", "复制已取消，目标SD卡上只有取消前复制完的文件"), APP_TITLE,
                                       MsgIcon::Information, MsgButtons::Ok};
constexpr MaintMessage CLONE_FAILED{UI_TEXT_NOOP("maintenance", "复制失败，目标SD卡上只有失败前复制完的文件："), APP_TITLE,
                                    MsgIcon::Error, MsgButtons::Ok};
constexpr MaintMessage CLONE_NO_VOLUME_LEFT{UI_TEXT_NOOP("maintenance", "复制失败，请重新复制或格式化目标SD卡："),
                                            APP_TITLE, MsgIcon::Error, MsgButtons::Ok};
// What a read-back that differs names when it is not a file.
constexpr const char* CLONE_MENU_AREA = UI_TEXT_NOOP("maintenance", "菜单程序区");
constexpr MaintMessage CLONE_VERIFY_FAILED{
    UI_TEXT_NOOP("maintenance", "复制后校验失败，目标SD卡上的内容与源SD卡不一致："), APP_TITLE, MsgIcon::Error,
    MsgButtons::Ok};
constexpr MaintMessage CLONE_NO_OTHER_CARD{UI_TEXT_NOOP("maintenance", "没有另一张SD卡可以复制过去，请插入目标SD卡"),
                                           APP_TITLE, MsgIcon::Information, MsgButtons::Ok};
constexpr const char* CLONE_PROGRESS_TITLE = UI_TEXT_NOOP("maintenance", "正在复制到另一张SD卡");

// The format dialog's own box (owner: the dialog; empty title; no icon). Shown by
// the window code only.
constexpr MaintMessage SELECT_MODEL{UI_TEXT_NOOP("maintenance", "请选择SD卡型号"), "", MsgIcon::None, MsgButtons::Ok};

}  // namespace maint_msg

// Shows one of the boxes above through the seam, in the user's language; `suffix` is
// appended to its text.
MsgResult show_maint_message(const MaintMessage& message, const std::string& suffix = {});
