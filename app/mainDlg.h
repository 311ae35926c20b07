// TForm1: the main window. The host's folders on the left, the two copy buttons in a
// narrow middle column, and on the right the drive list with the chosen card's
// contents; a main menu on top and a status label at the bottom.
//
// The controls keep the names of the window's layout. The transfer commands and the
// Tools-menu commands hang on the actions and buttons declared here; this class offers
// the state they read (the selected drive, CurrentDrive, the host pane's folder and
// selection, the card list's selection).
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CardList;
class DriveChangeNotifier;
class DriveWatch;
struct CardRow;
class PaneRow;
class QAction;
class QActionGroup;
class QComboBox;
class QDragMoveEvent;
class QLabel;
class QMenu;
class QMimeData;
class QTimer;
class QToolBar;
class QToolButton;
class ShellCombo;
class ShellList;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    // --- State of the drive list --------------------------------------------------
    uint8_t CurrentDrive = 255;    // drive of the card last shown through the drive list
    uint8_t LastDriveCount = 0;    // acceptable drives the drive watch counted last

    // Rebuilds the drive list and shows the first listed card.
    void RefreshDriveList();
    // Lets the drive watch hear the hardware instead of polling with Timer1 (null:
    // keep polling). Timer1 stops; news of changed disks runs the watch's check.
    void listenForDriveChanges(std::unique_ptr<DriveChangeNotifier> notifier);
    DriveWatch* Watch = nullptr;   // null while the watch polls
    // Fills the card list with what the card in `drive` holds.
    void ShowCardContents(uint8_t drive);
    // The drive number of the selected drive list entry, -1 when none is selected.
    int SelectedDrive() const;

    // --- What the commands read from the panes ------------------------------------
    QString hostFolder() const;
    QStringList hostSelectedPaths() const;
    int hostItemCount() const;
    std::vector<std::string> selectedCardNames() const;

    // --- Menus --------------------------------------------------------------------
    QMenu* FileMenu = nullptr;
    QMenu* ToolsMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* X1 = nullptr;          // "退出(&X)"
    QAction* SD1 = nullptr;         // "格式化SD卡"
    QAction* SD2 = nullptr;         // "设置SD卡默认速度"
    QAction* N2 = nullptr;          // "更新存档列表"
    QAction* N3 = nullptr;          // "更新菜单程序"
    QAction* MoonShell1 = nullptr;  // "安装MoonShell"
    QAction* CheckSD1 = nullptr;    // "检查SD卡"
    QAction* CompactSD1 = nullptr;  // "整理SD卡"
    QAction* BackupSD1 = nullptr;   // "备份SD卡…"
    QAction* RestoreSD1 = nullptr;  // "恢复SD卡…"
    QAction* CloneSD1 = nullptr;    // "复制到另一张SD卡…", in the card pane's menu
    QAction* VerifyAfterWrite1 = nullptr;  // "写入后校验", checked, remembered
    QAction* N5 = nullptr;          // "关于(&A)"
    QMenu* PopupMenu1 = nullptr;    // the view menu of the host folder list
    QActionGroup* ViewGroup = nullptr;
    QAction* N6 = nullptr;          // "图标"
    QAction* N7 = nullptr;          // "平铺"
    QAction* N8 = nullptr;          // "列表"
    QAction* N9 = nullptr;          // "详细信息"

    // --- Actions of the middle column ---------------------------------------------
    QAction* actCopyWinToOB = nullptr;
    QAction* actCopyOBToWin = nullptr;

    // --- Controls -----------------------------------------------------------------
    PaneRow* Panes = nullptr;
    QWidget* RzSizePanel1 = nullptr;   // host pane
    QWidget* RzSizePanel2 = nullptr;   // middle column
    QWidget* RzSizePanel3 = nullptr;   // card pane
    QToolBar* RzToolbar1 = nullptr;
    QToolButton* RzToolbarButton3 = nullptr;      // "刷新" (host)
    QToolButton* RzToolbarButton4 = nullptr;      // "回上级目录"
    QToolButton* RzMenuToolbarButton1 = nullptr;  // "View List"
    ShellCombo* RzShellCombo1 = nullptr;
    ShellList* RzShellList1 = nullptr;
    QToolButton* RzToolbarButton1 = nullptr;      // actCopyWinToOB
    QToolButton* RzToolbarButton2 = nullptr;      // actCopyOBToWin
    QToolBar* RzToolbar2 = nullptr;
    QToolButton* RzToolbarButton6 = nullptr;      // "刷新" (card)
    QToolButton* RzToolbarButton7 = nullptr;      // "删除"
    QComboBox* RzImageComboBox1 = nullptr;
    CardList* RzListView1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* FreeLabel = nullptr;   // the card's free space and its largest free run
    QMenu* CardMenu = nullptr;     // context menus of the two panes
    QMenu* HostMenu = nullptr;
    QTimer* Timer1 = nullptr;

    static constexpr int MIDDLE_COLUMN_WIDTH = 28;
    // How often news of changed drives that came during work is looked at again.
    static constexpr int BUSY_RETRY_MS = 500;

public slots:
    void FormShow();
    void FormResize();
    void Timer1Timer();
    void driveChangeHeard();
    void RzToolbarButton3Click();
    void HostDeleteClick();   // the host pane's delete (mainHostCommands_qt.cpp)
    void RzToolbarButton4Click();
    void RzMenuToolbarButton1Click();
    void RzToolbarButton6Click();
    void RzImageComboBox1Select(int index);
    void X1Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N9Click();
    // The Tools menu (mainToolsCommands_qt.cpp).
    void SD1Click();
    void SD2Click();
    void N2Click();
    void N3Click();
    void MoonShell1Click();
    void CheckSD1Click();
    // The whole-card commands (mainCardCareCommands_qt.cpp).
    void CompactSD1Click();
    void BackupSD1Click();
    void RestoreSD1Click();
    void CloneSD1Click();
    void VerifyAfterWrite1Toggled(bool on);

    // --- Transfer commands (mainTransferCommands_qt.cpp) ---------------------------
    void actCopyWinToOBExecute();
    void actCopyOBToWinExecute();
    void RzToolbarButton7Click();
    void RzShellList1DragDrop();
    // Files from the desktop's file manager dropped at `position` (window coordinates):
    // copied onto the selected card when the point lies on the card list.
    void WMDropFiles(const QPoint& position, const QStringList& paths);

public:
    void RzShellList1DragOver(QDragMoveEvent* event);
    void RzListView1DragOver(QDragMoveEvent* event);

signals:
    // Files dragged from the desktop's file manager and dropped on the window:
    // the drop point in the window's coordinates and the local paths.
    void filesDropped(const QPoint& position, const QStringList& paths);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    QWidget* buildHostPane();
    QWidget* buildMiddleColumn();
    QWidget* buildCardPane();
    void buildStatusBar();
    bool acceptsFileDrop(const QMimeData* data) const;
    void connectTransferDrags();
    void copyHostFilesToCard(uint8_t drive, const QStringList& paths);
    void buildContextMenus();
    // Shows rows in the card list and the card's free space in the status bar.
    void showRows(const std::vector<CardRow>& rows);
    void buildCardCareMenu();
    // Compacts the card behind the progress window and shows the result.
    void compactCard(uint8_t drive);
    // Before a copy: offers compaction when a queued file fits only after it.
    void offerCompactionFor(uint8_t drive, const std::vector<std::string>& paths);

public:
    // True when a card drive is listed; otherwise says how to attach one, in a box.
    bool cardDriveListed();

private:

    bool shown_once_ = false;
};
