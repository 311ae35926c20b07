<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>app</name>
    <message>
        <source>整理SD卡</source>
        <translation>Compact SD card</translation>
    </message>
    <message>
        <source>备份SD卡…</source>
        <translation>Back up SD card…</translation>
    </message>
    <message>
        <source>恢复SD卡…</source>
        <translation>Restore SD card…</translation>
    </message>
    <message>
        <source>写入后校验</source>
        <translation>Verify after write</translation>
    </message>
    <message>
        <source>备份SD卡</source>
        <translation>Back up SD card</translation>
    </message>
    <message>
        <source>恢复SD卡</source>
        <translation>Restore SD card</translation>
    </message>
    <message>
        <source>SD卡备份 (*.img);;所有文件 (*)</source>
        <translation>SD card backups (*.img);;All files (*)</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source> 文件</source>
        <translation> file</translation>
    </message>
    <message>
        <source>这不是Orbelle格式的存储设备</source>
        <translation>This is not an Orbelle storage device</translation>
    </message>
    <message>
        <source>如果要使用它，请在工具菜单中选择格式化</source>
        <translation>To use it, choose Format SD card in the Tools menu</translation>
    </message>
    <message>
        <source>没有找到SD卡</source>
        <translation>No SD card found</translation>
    </message>
    <message>
        <source>请插入SD卡读卡器，或以 --drive N=映像文件 启动本程序</source>
        <translation>Insert an SD card reader, or start the program with --drive N=IMAGE</translation>
    </message>
    <message>
        <source>没有找到SD卡。
请插入SD卡读卡器，或以 --drive N=映像文件 启动本程序。</source>
        <translation>No SD card found.
Insert an SD card reader, or start the program with --drive N=IMAGE.</translation>
    </message>
    <message>
        <source>确实要删除这些文件吗？</source>
        <translation>Do you really want to delete these files?</translation>
    </message>
    <message>
        <source>所选的行都不是文件，没有删除任何文件。</source>
        <translation>None of the selected rows is a file; nothing was deleted.</translation>
    </message>
    <message>
        <source>删除文件失败，请重试；如仍失败，SD卡可能需要检查或格式化</source>
        <translation>A file could not be deleted. Please try again; if it still fails, the SD card may need to be checked or formatted.</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>工具(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>格式化SD卡</source>
        <translation>Format SD card</translation>
    </message>
    <message>
        <source>设置SD卡默认速度</source>
        <translation>Set default SD card speed</translation>
    </message>
    <message>
        <source>更新存档列表</source>
        <translation>Update save list</translation>
    </message>
    <message>
        <source>更新菜单程序</source>
        <translation>Update menu program</translation>
    </message>
    <message>
        <source>安装MoonShell</source>
        <translation>Install MoonShell</translation>
    </message>
    <message>
        <source>检查SD卡</source>
        <translation>Check SD card</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>关于(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>图标</source>
        <translation>Icons</translation>
    </message>
    <message>
        <source>平铺</source>
        <translation>Tiles</translation>
    </message>
    <message>
        <source>列表</source>
        <translation>List</translation>
    </message>
    <message>
        <source>详细信息</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>回上级目录</source>
        <translation>Up one folder</translation>
    </message>
    <message>
        <source>拷贝到SD卡</source>
        <translation>Copy to SD card</translation>
    </message>
    <message>
        <source>把左边选中的文件拷贝到SD卡</source>
        <translation>Copy the files selected on the left onto the SD card</translation>
    </message>
    <message>
        <source>拷贝到电脑</source>
        <translation>Copy to computer</translation>
    </message>
    <message>
        <source>把SD卡上选中的文件拷贝到左边的文件夹</source>
        <translation>Copy the selected SD card files into the folder on the left</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>可用空间 %1，最大连续空间 %2</source>
        <translation>Free space %1, largest free run %2</translation>
    </message>
    <message>
        <source>等 %1 个文件</source>
        <translation>… %1 files in all</translation>
    </message>
    <message>
        <source>View List</source>
        <translation>View List</translation>
    </message>
    <message>
        <source>确实要把这些文件移到回收站吗？</source>
        <translation>Do you really want to move these files to the trash?</translation>
    </message>
    <message>
        <source>下列文件未能移到回收站：</source>
        <translation>These files could not be moved to the trash:</translation>
    </message>
    <message>
        <source>复制到另一张SD卡</source>
        <translation>Copy to Another SD Card</translation>
    </message>
    <message>
        <source>从：%1</source>
        <translation>From: %1</translation>
    </message>
    <message>
        <source>复制到（这张SD卡会先被格式化）：</source>
        <translation>Copy to (this SD card is formatted first):</translation>
    </message>
    <message>
        <source>复制到另一张SD卡…</source>
        <translation>Copy to Another SD Card…</translation>
    </message>
</context>
<context>
    <name>device</name>
    <message>
        <source>设备 %s 上有已挂载的文件系统：%s。为免破坏它们，不会写入这个设备；请先卸载它们。</source>
        <translation>Device %s has mounted file systems: %s. To keep them intact, nothing is written to this device; unmount them first.</translation>
    </message>
    <message>
        <source>设备 %s 上有已挂载的文件系统：%s。
要卸载它们并继续吗？卸载前请确认没有程序正在使用它们。</source>
        <translation>Device %s has mounted file systems: %s.
Unmount them and go on? Make sure no program is using them first.</translation>
    </message>
    <message>
        <source>已卸载 %s</source>
        <translation>Unmounted %s</translation>
    </message>
    <message>
        <source>卸载 %s 失败：%s</source>
        <translation>Could not unmount %s: %s</translation>
    </message>
    <message>
        <source>设备 %s 是本机的系统盘或内置盘（装有系统文件系统、交换空间或 LVM/RAID/加密卷），绝不会当作SD卡写入。</source>
        <translation>Device %s is a system or built-in disk of this computer (it holds a system file system, swap space or an LVM/RAID/encrypted volume); it is never written as an SD card.</translation>
    </message>
    <message>
        <source>设备 %s 正被其他程序使用（已挂载或被独占打开），现在无法写入。请关闭使用它的程序后再试。</source>
        <translation>Device %s is in use by another program (mounted or opened exclusively) and cannot be written now. Close the program using it and try again.</translation>
    </message>
    <message>
        <source>没有打开设备 %s 的权限：系统拒绝了授权。请让管理员允许你打开可移动磁盘（见 README 中的 polkit 规则）。</source>
        <translation>No permission to open device %s: the system refused the authorization. Ask your administrator to allow you to open removable disks (see the polkit rule in the README).</translation>
    </message>
    <message>
        <source>打开设备 %s 所需的授权已被取消。</source>
        <translation>The authorization needed to open device %s was cancelled.</translation>
    </message>
    <message>
        <source>打开设备 %s 需要输入密码授权，但没有正在运行的 polkit 认证代理。请在桌面会话中运行本程序，或在终端中先启动认证代理（例如 pkttyagent）。</source>
        <translation>Opening device %s needs a password, but no polkit authentication agent is running. Run this program in a desktop session, or start an authentication agent in the terminal first (for example pkttyagent).</translation>
    </message>
    <message>
        <source>没有直接打开设备 %s 的权限，而 udisks2 服务不可用（%s）。请安装并启动 udisks2（Debian 软件包 udisks2）。</source>
        <translation>No permission to open device %s directly, and the udisks2 service is not available (%s). Install and start udisks2 (Debian package udisks2).</translation>
    </message>
    <message>
        <source>无法打开设备 %s：%s</source>
        <translation>Cannot open device %s: %s</translation>
    </message>
    <message>
        <source>（加上 --unmount，obtool 会先卸载它们）</source>
        <translation> (with --unmount, obtool unmounts them first)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>maintenance</name>
    <message>
        <source>写入SD卡默认速度文件失败，请重新格式化SD卡</source>
        <translation>The SD card&apos;s default speed file could not be written. Please format the SD card again.</translation>
    </message>
    <message>
        <source>整理SD卡将移动卡上的文件，使剩余空间连成一片。整理期间请勿拔出SD卡。确定要继续吗？</source>
        <translation>Compacting moves files on the card so that its free space becomes one run. Do not remove the SD card while it runs. Continue?</translation>
    </message>
    <message>
        <source>整理完成</source>
        <translation>Compaction finished</translation>
    </message>
    <message>
        <source>SD卡的剩余空间已连成一片，无需整理</source>
        <translation>The SD card&apos;s free space is already one run; nothing to compact</translation>
    </message>
    <message>
        <source>整理已取消，卡上的文件都完好</source>
        <translation>Compaction cancelled; every file on the card is intact</translation>
    </message>
    <message>
        <source>整理SD卡失败，卡上的文件都可读取：</source>
        <translation>Compacting the SD card failed; every file on the card can still be read: </translation>
    </message>
    <message>
        <source>SD卡有错误，请先在工具菜单中选择检查SD卡</source>
        <translation>The SD card has errors; please choose Check SD card in the Tools menu first</translation>
    </message>
    <message>
        <source>SD卡的剩余空间总量足够，但没有一段连续空间放得下这个文件。要先整理SD卡吗？
</source>
        <translation>The SD card has enough free space in total, but no single free run holds this file. Compact the SD card first?
</translation>
    </message>
    <message>
        <source>正在整理SD卡</source>
        <translation>Compacting SD card</translation>
    </message>
    <message>
        <source>备份完成</source>
        <translation>Backup finished</translation>
    </message>
    <message>
        <source>备份SD卡失败</source>
        <translation>Backing up the SD card failed</translation>
    </message>
    <message>
        <source>恢复将覆盖SD卡上所有的数据，确定要继续吗？</source>
        <translation>Restoring overwrites all data on the SD card. Continue?</translation>
    </message>
    <message>
        <source>恢复完成</source>
        <translation>Restore finished</translation>
    </message>
    <message>
        <source>恢复SD卡失败，请重新恢复或格式化SD卡</source>
        <translation>Restoring the SD card failed; please restore again or format the SD card</translation>
    </message>
    <message>
        <source>恢复已取消，请重新恢复或格式化SD卡</source>
        <translation>Restore cancelled; please restore again or format the SD card</translation>
    </message>
    <message>
        <source>这不是SD卡的备份文件</source>
        <translation>This is not an SD card backup</translation>
    </message>
    <message>
        <source>SD卡的容量小于备份，无法恢复</source>
        <translation>The SD card is smaller than the backup; it cannot be restored</translation>
    </message>
    <message>
        <source>正在备份SD卡</source>
        <translation>Backing up SD card</translation>
    </message>
    <message>
        <source>正在恢复SD卡</source>
        <translation>Restoring SD card</translation>
    </message>
    <message>
        <source>无法检查SD卡：</source>
        <translation>The SD card cannot be checked:</translation>
    </message>
    <message>
        <source>SD卡检查完毕，没有发现问题。</source>
        <translation>SD card checked; no problems found.</translation>
    </message>
    <message>
        <source>SD卡检查发现以下问题：</source>
        <translation>The SD card check found these problems:</translation>
    </message>
    <message>
        <source>要修复这些问题吗？（文件的内容不会被改动）</source>
        <translation>Repair these problems? (The contents of the files are not changed.)</translation>
    </message>
    <message>
        <source>SD卡修复完成：</source>
        <translation>SD card repaired:</translation>
    </message>
    <message>
        <source>没有可以自动修复的问题。</source>
        <translation>There was nothing that could be repaired automatically.</translation>
    </message>
    <message>
        <source>以下问题无法自动修复：</source>
        <translation>These problems cannot be repaired automatically:</translation>
    </message>
    <message>
        <source>再次检查没有发现问题。</source>
        <translation>A second check found no problems.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>格式化SD卡</source>
        <translation>Format SD card</translation>
    </message>
    <message>
        <source>磁盘ID</source>
        <translation>Disk ID</translation>
    </message>
    <message>
        <source>MicroSD 卡型号</source>
        <translation>MicroSD card model</translation>
    </message>
    <message>
        <source>选择型号</source>
        <translation>Model...</translation>
    </message>
    <message>
        <source>格式化将破坏SD卡上所有的数据，确定要继续吗？</source>
        <translation>Formatting destroys all data on the SD card. Do you want to continue?</translation>
    </message>
    <message>
        <source>格式化完成</source>
        <translation>Format complete</translation>
    </message>
    <message>
        <source>格式化失败</source>
        <translation>Format failed</translation>
    </message>
    <message>
        <source>传送菜单程序失败</source>
        <translation>Transferring the menu program failed</translation>
    </message>
    <message>
        <source>传送存档列表失败</source>
        <translation>Transferring the save list failed</translation>
    </message>
    <message>
        <source>传送存档信息文件失败</source>
        <translation>Transferring the save info file failed</translation>
    </message>
    <message>
        <source>SD 卡默认速度已设为 </source>
        <translation>The default SD card speed is now </translation>
    </message>
    <message>
        <source>设置SD卡默认速度失败</source>
        <translation>Setting the default SD card speed failed</translation>
    </message>
    <message>
        <source>更新成功</source>
        <translation>Update complete</translation>
    </message>
    <message>
        <source>MoonShell 目录不存在</source>
        <translation>The MoonShell folder does not exist</translation>
    </message>
    <message>
        <source>MoonShell 文件不存在</source>
        <translation>The MoonShell files do not exist</translation>
    </message>
    <message>
        <source>MoonShell 安装过程中出现错误</source>
        <translation>An error occurred while installing MoonShell</translation>
    </message>
    <message>
        <source>MoonShell 安装完成</source>
        <translation>MoonShell installed</translation>
    </message>
    <message>
        <source>请选择SD卡型号</source>
        <translation>Please choose the SD card model</translation>
    </message>
    <message>
        <source>选择SD卡</source>
        <translation>Choose SD card</translation>
    </message>
    <message>
        <source>在下面的列表中选择TF卡的品牌和型号</source>
        <translation>Choose the card&apos;s make and model:</translation>
    </message>
    <message>
        <source>品牌和型号</source>
        <translation>Make and model</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>设置默认SD卡速度</source>
        <translation>Set default SD card speed</translation>
    </message>
    <message>
        <source>在下面输入默认的SD卡速度。
该速度也可以在NDS菜单中临时
更改，但NDS菜单中更改后无法
保存，在这里修改的可以保存。</source>
        <translation>Enter the default speed.
The NDS menu can change it
for a while, but only the
speed set here is kept.</translation>
    </message>
    <message>
        <source>范围：3--30</source>
        <translation>Range: 3--30</translation>
    </message>
    <message>
        <source>……另有 %1 项</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>其他Micro SD卡</source>
        <translation>Other microSD card</translation>
    </message>
    <message>
        <source>无法检查SD卡：卷的布局与格式化时写入的不一致，检查和修复都不会改动这张卡。</source>
        <translation>The SD card cannot be checked: the volume&apos;s layout is not the one a format writes; neither the check nor a repair changes this card.</translation>
    </message>
    <message>
        <source>目标SD卡上现在没有可用的卷</source>
        <translation>the target SD card now holds no usable volume</translation>
    </message>
    <message>
        <source>源SD卡上没有这个文件：</source>
        <translation>the source SD card has no file named </translation>
    </message>
    <message>
        <source>目标SD卡放不下这些文件，没有连续空间可放：</source>
        <translation>the files do not fit on the target SD card; no contiguous space for </translation>
    </message>
    <message>
        <source>驱动器 0 是本机的系统盘</source>
        <translation>drive 0 is this computer&apos;s system disk</translation>
    </message>
    <message>
        <source>源SD卡和目标SD卡是同一个驱动器</source>
        <translation>the source and the target SD card are the same drive</translation>
    </message>
    <message>
        <source>源SD卡上没有Orbelle格式的卷</source>
        <translation>the source SD card holds no Orbelle volume</translation>
    </message>
    <message>
        <source>源SD卡上有文件名不合规的文件：</source>
        <translation>the source SD card holds a file whose name a card file cannot have: </translation>
    </message>
    <message>
        <source>没有这个SD卡型号</source>
        <translation>there is no such SD card model</translation>
    </message>
    <message>
        <source>目标SD卡还没有格式化，无法得知它的型号，请先选择型号</source>
        <translation>the target SD card is not formatted, so its card model is unknown: choose a model first</translation>
    </message>
    <message>
        <source>目标SD卡无法打开</source>
        <translation>the target SD card cannot be opened</translation>
    </message>
    <message>
        <source>目标SD卡太小，放不下卷</source>
        <translation>the target SD card is too small for a volume</translation>
    </message>
    <message>
        <source>菜单程序区无法复制</source>
        <translation>the menu program area could not be copied</translation>
    </message>
    <message>
        <source>这个文件无法复制：</source>
        <translation>this file could not be copied: </translation>
    </message>
    <message>
        <source>复制前会先格式化目标SD卡，目标卡上原有的数据将全部丢失。确定要继续吗？</source>
        <translation>The target SD card is formatted before the copy, and all data on it will be lost. Continue?</translation>
    </message>
    <message>
        <source>复制完成，目标SD卡上的文件已校验无误</source>
        <translation>Copy complete; the files on the target SD card were read back and match</translation>
    </message>
    <message>
        <source>没有复制，目标SD卡未被改动：</source>
        <translation>Nothing was copied and the target SD card was not changed: </translation>
    </message>
    <message>
        <source>复制已取消，目标SD卡上只有取消前复制完的文件</source>
        <translation>Copy cancelled; the target SD card holds only the files completed before the cancel</translation>
    </message>
    <message>
        <source>复制失败，目标SD卡上只有失败前复制完的文件：</source>
        <translation>Copy failed; the target SD card holds only the files completed before the failure: </translation>
    </message>
    <message>
        <source>复制失败，请重新复制或格式化目标SD卡：</source>
        <translation>Copy failed; copy again or format the target SD card: </translation>
    </message>
    <message>
        <source>菜单程序区</source>
        <translation>the menu program area</translation>
    </message>
    <message>
        <source>复制后校验失败，目标SD卡上的内容与源SD卡不一致：</source>
        <translation>Read-back after the copy failed; the target SD card differs from the source: </translation>
    </message>
    <message>
        <source>没有另一张SD卡可以复制过去，请插入目标SD卡</source>
        <translation>There is no other SD card to copy to; insert the target SD card</translation>
    </message>
    <message>
        <source>正在复制到另一张SD卡</source>
        <translation>Copying to another SD card</translation>
    </message>
    <message>
        <source>目标SD卡无法写入</source>
        <translation>the target SD card cannot be written</translation>
    </message>
    <message>
        <source>目标SD卡写入失败</source>
        <translation>a write to the target SD card failed</translation>
    </message>
</context>
<context>
    <name>transfer</name>
    <message>
        <source>写入后校验失败，文件内容与源文件不一致：</source>
        <translation>Verify after write failed; the copy does not match its source: </translation>
    </message>
    <message>
        <source>已经存在，要覆盖吗？</source>
        <translation> already exists. Overwrite it?</translation>
    </message>
    <message>
        <source>正在拷贝</source>
        <translation>Copying</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>拷贝失败，请检查磁盘的剩余空间</source>
        <translation>Copy failed. Please check the free space on the disk.</translation>
    </message>
</context>
</TS>
