// The texts the user sees when a drive cannot be opened for writing or reading: a disk
// in use, a system disk, a refused or impossible authorisation. Each takes the device
// path (and where it says so, the list of mount points) at its %s marks, in order.
// fill_message() looks each up in the user's language before filling it in.
#pragma once

#include "common/ui_text.h"

namespace drive_msg {

constexpr const char* TITLE = "Orbelle Manager";

constexpr const char* MOUNTED =
    UI_TEXT_NOOP("device", "设备 %s 上有已挂载的文件系统：%s。为免破坏它们，不会写入这个设备；请先卸载它们。");
constexpr const char* ASK_UNMOUNT =
    UI_TEXT_NOOP("device", "设备 %s 上有已挂载的文件系统：%s。\n要卸载它们并继续吗？卸载前请确认没有程序正在使用它们。");
constexpr const char* UNMOUNTED = UI_TEXT_NOOP("device", "已卸载 %s");
constexpr const char* UNMOUNT_FAILED = UI_TEXT_NOOP("device", "卸载 %s 失败：%s");
constexpr const char* SYSTEM_DISK =
    UI_TEXT_NOOP("device", "设备 %s 是本机的系统盘或内置盘（装有系统文件系统、交换空间或 LVM/RAID/加密卷），绝不会当作SD卡写入。");
constexpr const char* BUSY =
    UI_TEXT_NOOP("device", "设备 %s 正被其他程序使用（已挂载或被独占打开），现在无法写入。请关闭使用它的程序后再试。");
constexpr const char* NOT_AUTHORIZED =
    UI_TEXT_NOOP("device", "没有打开设备 %s 的权限：系统拒绝了授权。请让管理员允许你打开可移动磁盘（见 README 中的 polkit 规则）。");
constexpr const char* DISMISSED = UI_TEXT_NOOP("device", "打开设备 %s 所需的授权已被取消。");
constexpr const char* NO_AGENT =
    UI_TEXT_NOOP("device", "打开设备 %s 需要输入密码授权，但没有正在运行的 polkit 认证代理。请在桌面会话中运行本程序，"
                           "或在终端中先启动认证代理（例如 pkttyagent）。");
constexpr const char* NO_UDISKS =
    UI_TEXT_NOOP("device", "没有直接打开设备 %s 的权限，而 udisks2 服务不可用（%s）。请安装并启动 udisks2（Debian 软件包 udisks2）。");
constexpr const char* OPEN_FAILED = UI_TEXT_NOOP("device", "无法打开设备 %s：%s");

// Between the mount points of a list.
constexpr const char* LIST_SEPARATOR = UI_TEXT_NOOP("device", "、");

// Appended by obtool to MOUNTED: how it unmounts them.
constexpr const char* CLI_UNMOUNT_HINT = UI_TEXT_NOOP("device", "（加上 --unmount，obtool 会先卸载它们）");

}  // namespace drive_msg
