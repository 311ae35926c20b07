#include "app/mainDlg.h"
#include "common/ui_text_qt.h"

#include "app/aboutDlg.h"
#include "app/card_list_qt.h"
#include "views/card_rows.h"
#include "views/drive_list.h"
#include "app/drive_watch_qt.h"
#include "app/forms_qt.h"
#include "app/image_list_qt.h"
#include "app/pane_row_qt.h"
#include "app/shell_combo_qt.h"
#include "app/shell_list_qt.h"
#include "common/volume_busy.h"
#include "gui/window_place_qt.h"
#include "views/window_size.h"
#include "common/message_seam.h"
#include "common/ui_text.h"
#include "device/drive_layer.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QListView>
#include <QTreeView>
#include <QLabel>
#include <QMenuBar>
#include <QMetaMethod>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

constexpr int STATUS_BAR_HEIGHT = 19;

// The outer size at start, from the screen the window opens on.
QSize start_size(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const WindowSize size = first_window_size(area.width(), area.height());
    return {size.width, size.height};
}

QString size_text(uint64_t bytes) { return QString::fromStdString(SizeText64(bytes)); }

QToolButton* tool_button(const char* name, int picture, const QString& hint) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setIcon(image_list::icon(picture));
    button->setIconSize(QSize(image_list::SIZE, image_list::SIZE));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    return button;
}

QToolBar* tool_bar(const char* name, std::initializer_list<QToolButton*> buttons) {
    auto* bar = new QToolBar;
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(image_list::SIZE, image_list::SIZE));
    for (QToolButton* button : buttons) {
        if (button) bar->addWidget(button);
        else bar->addSeparator();   // nullptr stands for a grooved separator
    }
    return bar;
}

// A pane whose controls stand in one column without margins.
QWidget* column_pane(const char* name, QVBoxLayout** layout) {
    auto* pane = new QWidget;
    pane->setObjectName(name);
    *layout = new QVBoxLayout(pane);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(2);
    return pane;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    // 1. The window and its controls; Timer1 starts with them.
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Orbelle Manager"));
    buildMenus();
    QWidget* host = buildHostPane();
    QWidget* middle = buildMiddleColumn();
    QWidget* card = buildCardPane();
    Panes = new PaneRow(host, middle, card, this);
    Panes->setObjectName("Panes");
    setCentralWidget(Panes);
    buildStatusBar();
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
    resize(start_size(this));
    centre_on_screen(this);

    // 2. The drive list's state.
    CurrentDrive = 255;
    LastDriveCount = 0;

    // 3. A drop target for files from the desktop's file manager.
    setAcceptDrops(true);

    // 4. The transfer commands.
    connect(actCopyWinToOB, &QAction::triggered, this, &TForm1::actCopyWinToOBExecute);
    connect(actCopyOBToWin, &QAction::triggered, this, &TForm1::actCopyOBToWinExecute);
    connect(RzToolbarButton7, &QToolButton::clicked, this, &TForm1::RzToolbarButton7Click);
    // A drop is acted on once the drag has ended, as a posted message would be.
    connect(this, &TForm1::filesDropped, this, &TForm1::WMDropFiles, Qt::QueuedConnection);
    connectTransferDrags();
    buildContextMenus();
}

void TForm1::buildMenus() {
    FileMenu = menuBar()->addMenu(ui_qtext("app", "文件(&F)"));
    X1 = FileMenu->addAction(ui_qtext("app", "退出(&X)"));
    X1->setObjectName("X1");
    connect(X1, &QAction::triggered, this, &TForm1::X1Click);

    ToolsMenu = menuBar()->addMenu(ui_qtext("app", "工具(&T)"));
    // Captions are looked up here, so an item added with a bare caption still shows
    // in English once the translation file has its line.
    auto tool = [this](const char* name, const char* caption, int picture,
                       void (TForm1::*handler)()) {
        QAction* action = ToolsMenu->addAction(image_list::icon(picture), ui_qtext("app", caption));
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    SD1 = tool("SD1", UI_TEXT_NOOP("app", "格式化SD卡"), image_list::DISKETTE, &TForm1::SD1Click);
    SD2 = tool("SD2", UI_TEXT_NOOP("app", "设置SD卡默认速度"), image_list::DISKETTE, &TForm1::SD2Click);
    N2 = tool("N2", UI_TEXT_NOOP("app", "更新存档列表"), image_list::DISKETTE, &TForm1::N2Click);
    N3 = tool("N3", UI_TEXT_NOOP("app", "更新菜单程序"), image_list::CONSOLE, &TForm1::N3Click);
    MoonShell1 = tool("MoonShell1", UI_TEXT_NOOP("app", "安装MoonShell"), image_list::CONSOLE,
                      &TForm1::MoonShell1Click);
    ToolsMenu->addSeparator();
    CheckSD1 = tool("CheckSD1", UI_TEXT_NOOP("app", "检查SD卡"), image_list::DISKETTE, &TForm1::CheckSD1Click);
    buildCardCareMenu();

    HelpMenu = menuBar()->addMenu(ui_qtext("app", "帮助(&H)"));
    N5 = HelpMenu->addAction(ui_qtext("app", "关于(&A)"));
    N5->setObjectName("N5");
    connect(N5, &QAction::triggered, this, &TForm1::N5Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    ViewGroup = new QActionGroup(this);
    ViewGroup->setExclusive(true);
    auto view = [this](const char* name, const QString& caption, void (TForm1::*handler)()) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(name);
        action->setCheckable(true);
        ViewGroup->addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    N6 = view("N6", ui_qtext("app", "图标"), &TForm1::N6Click);
    N7 = view("N7", ui_qtext("app", "平铺"), &TForm1::N7Click);
    N8 = view("N8", ui_qtext("app", "列表"), &TForm1::N8Click);
    N9 = view("N9", ui_qtext("app", "详细信息"), &TForm1::N9Click);
    N9->setChecked(true);
}

QWidget* TForm1::buildHostPane() {
    QVBoxLayout* layout = nullptr;
    RzSizePanel1 = column_pane("RzSizePanel1", &layout);
    RzToolbarButton3 = tool_button("RzToolbarButton3", image_list::REFRESH, ui_qtext("app", "刷新"));
    RzToolbarButton4 =
        tool_button("RzToolbarButton4", image_list::PARENT_DIR, ui_qtext("app", "回上级目录"));
    RzMenuToolbarButton1 =
        tool_button("RzMenuToolbarButton1", image_list::VIEW_LIST, ui_qtext("app", "View List"));
    RzMenuToolbarButton1->setMenu(PopupMenu1);
    RzMenuToolbarButton1->setPopupMode(QToolButton::InstantPopup);
    RzToolbar1 = tool_bar("RzToolbar1", {RzToolbarButton3, RzToolbarButton4, nullptr,
                                         RzMenuToolbarButton1});
    connect(RzToolbarButton3, &QToolButton::clicked, this, &TForm1::RzToolbarButton3Click);
    connect(RzToolbarButton4, &QToolButton::clicked, this, &TForm1::RzToolbarButton4Click);

    RzShellList1 = new ShellList;
    RzShellList1->setObjectName("RzShellList1");
    RzShellList1->setFolder(QDir::homePath());
    RzShellCombo1 = new ShellCombo;
    RzShellCombo1->setObjectName("RzShellCombo1");
    RzShellCombo1->setShellList(RzShellList1);

    layout->addWidget(RzToolbar1);
    layout->addWidget(RzShellCombo1);
    layout->addWidget(RzShellList1, 1);
    return RzSizePanel1;
}

QWidget* TForm1::buildMiddleColumn() {
    QVBoxLayout* layout = nullptr;
    RzSizePanel2 = column_pane("RzSizePanel2", &layout);
    RzSizePanel2->setFixedWidth(MIDDLE_COLUMN_WIDTH);

    actCopyWinToOB = new QAction(image_list::icon(image_list::COPY_TO_CARD), QString(), this);
    actCopyWinToOB->setObjectName("actCopyWinToOB");
    actCopyOBToWin = new QAction(image_list::icon(image_list::COPY_TO_HOST), QString(), this);
    actCopyOBToWin->setObjectName("actCopyOBToWin");

    // The arrows' hints, also the actions' captions in the context menus.
    actCopyWinToOB->setText(ui_qtext("app", "拷贝到SD卡"));
    actCopyWinToOB->setToolTip(ui_qtext("app", "把左边选中的文件拷贝到SD卡"));
    actCopyOBToWin->setText(ui_qtext("app", "拷贝到电脑"));
    actCopyOBToWin->setToolTip(ui_qtext("app", "把SD卡上选中的文件拷贝到左边的文件夹"));

    RzToolbarButton1 = tool_button("RzToolbarButton1", image_list::COPY_TO_CARD, QString());
    RzToolbarButton1->setDefaultAction(actCopyWinToOB);
    RzToolbarButton2 = tool_button("RzToolbarButton2", image_list::COPY_TO_HOST, QString());
    RzToolbarButton2->setDefaultAction(actCopyOBToWin);

    layout->addStretch(1);
    layout->addWidget(RzToolbarButton1, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(RzToolbarButton2, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return RzSizePanel2;
}

QWidget* TForm1::buildCardPane() {
    QVBoxLayout* layout = nullptr;
    RzSizePanel3 = column_pane("RzSizePanel3", &layout);
    RzToolbarButton6 = tool_button("RzToolbarButton6", image_list::REFRESH, ui_qtext("app", "刷新"));
    RzToolbarButton7 = tool_button("RzToolbarButton7", image_list::DELETE, ui_qtext("app", "删除"));
    RzToolbar2 = tool_bar("RzToolbar2", {RzToolbarButton6, RzToolbarButton7});
    connect(RzToolbarButton6, &QToolButton::clicked, this, &TForm1::RzToolbarButton6Click);

    RzImageComboBox1 = new QComboBox;
    RzImageComboBox1->setObjectName("RzImageComboBox1");
    RzImageComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    RzImageComboBox1->setMinimumContentsLength(20);
    connect(RzImageComboBox1, &QComboBox::activated, this, &TForm1::RzImageComboBox1Select);

    RzListView1 = new CardList;
    RzListView1->setObjectName("RzListView1");

    layout->addWidget(RzToolbar2);
    layout->addWidget(RzImageComboBox1);
    layout->addWidget(RzListView1, 1);
    return RzSizePanel3;
}

void TForm1::buildStatusBar() {
    Label1 = new QLabel(QStringLiteral("OrbelleManager " OB_VERSION));
    Label1->setObjectName("Label1");
    FreeLabel = new QLabel;
    FreeLabel->setObjectName("FreeLabel");
    statusBar()->addPermanentWidget(FreeLabel);
    statusBar()->setObjectName("StatusBar1");
    statusBar()->setFixedHeight(STATUS_BAR_HEIGHT);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(Label1);
}

// --- Drive list ---------------------------------------------------------------------

void TForm1::RefreshDriveList() {
    RzImageComboBox1->clear();
    for (const DriveEntry& entry : list_card_drives())
        RzImageComboBox1->addItem(QString::fromStdString(entry.caption), int(entry.drive));
    RzImageComboBox1->setCurrentIndex(RzImageComboBox1->count() > 0 ? 0 : -1);
    // The drop-down shows the captions whole even where the pane is narrower.
    RzImageComboBox1->view()->setMinimumWidth(RzImageComboBox1->view()->sizeHintForColumn(0) + 8);
    RzImageComboBox1->setToolTip(RzImageComboBox1->currentText());
    const uint8_t drive = RzImageComboBox1->count() > 0
                              ? uint8_t(RzImageComboBox1->itemData(0).toInt())
                              : uint8_t(0);
    // With no card drive listed there is nothing to mount: say how to attach one.
    if (RzImageComboBox1->count() == 0) showRows(no_card_rows());
    else ShowCardContents(drive);
    CurrentDrive = drive;
}

void TForm1::RzImageComboBox1Select(int index) {
    if (index < 0) return;
    const auto drive = uint8_t(RzImageComboBox1->itemData(index).toInt());
    RzImageComboBox1->setToolTip(RzImageComboBox1->itemText(index));
    ShowCardContents(drive);
    CurrentDrive = drive;
}

void TForm1::Timer1Timer() {
    // While work on the volume waits in a nested event loop, the watch stays away from
    // the volume; the count is compared again on the first tick after the work.
    if (volume_busy()) return;
    const uint8_t count = count_card_drives();
    if (count == LastDriveCount) return;
    LastDriveCount = count;
    RefreshDriveList();
}

void TForm1::listenForDriveChanges(std::unique_ptr<DriveChangeNotifier> notifier) {
    if (!notifier) return;
    Watch = new DriveWatch(std::move(notifier), this);
    connect(Watch, &DriveWatch::drivesChanged, this, &TForm1::driveChangeHeard);
    Timer1->stop();
}

void TForm1::driveChangeHeard() {
    // News that comes while work on the volume waits in a nested event loop is looked
    // at once the work has ended: no tick would come to catch up on it.
    if (volume_busy()) {
        QTimer::singleShot(BUSY_RETRY_MS, this, &TForm1::driveChangeHeard);
        return;
    }
    // A reader plugged in is a disk the table has not seen yet.
    drive_layer::drive_table().reload_system_drives();
    Timer1Timer();
}

void TForm1::RzToolbarButton6Click() { RefreshDriveList(); }

int TForm1::SelectedDrive() const {
    const int index = RzImageComboBox1->currentIndex();
    return index < 0 ? -1 : RzImageComboBox1->itemData(index).toInt();
}

// --- Card contents view ---------------------------------------------------------------

void TForm1::ShowCardContents(uint8_t drive) { showRows(card_rows(drive)); }

void TForm1::showRows(const std::vector<CardRow>& rows) {
    RzListView1->setRows(rows);
    const FreeSummary free = free_summary(rows);
    FreeLabel->setText(free.is_volume ? ui_qtext("app", "可用空间 %1，最大连续空间 %2")
                                            .arg(size_text(free.total_bytes), size_text(free.largest_bytes))
                                      : QString());
}

bool TForm1::cardDriveListed() {
    if (RzImageComboBox1->count() > 0) return true;
    show_message({ui_text("app", NO_CARD_NOTICE), APP_TITLE, MsgIcon::Warning, MsgButtons::Ok});
    return false;
}

void TForm1::buildContextMenus() {
    // The card pane: copy to the host, delete, refresh.
    RzListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    CardMenu = new QMenu(this);
    CardMenu->setObjectName("CardMenu");
    CardMenu->addAction(actCopyOBToWin);
    QAction* remove = CardMenu->addAction(image_list::icon(image_list::DELETE), ui_qtext("app", "删除"));
    connect(remove, &QAction::triggered, this, &TForm1::RzToolbarButton7Click);
    CardMenu->addAction(CloneSD1);   // 复制到另一张SD卡…
    CardMenu->addSeparator();
    QAction* refresh_card = CardMenu->addAction(image_list::icon(image_list::REFRESH), ui_qtext("app", "刷新"));
    connect(refresh_card, &QAction::triggered, this, &TForm1::RzToolbarButton6Click);
    connect(RzListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        CardMenu->popup(RzListView1->viewport()->mapToGlobal(at));
    });

    // The host pane: copy to the card, delete (to the trash), the parent folder, refresh.
    HostMenu = new QMenu(this);
    HostMenu->setObjectName("HostMenu");
    HostMenu->addAction(actCopyWinToOB);
    QAction* trash = HostMenu->addAction(image_list::icon(image_list::DELETE), ui_qtext("app", "删除"));
    trash->setObjectName("HostDelete");
    connect(trash, &QAction::triggered, this, &TForm1::HostDeleteClick);
    HostMenu->addSeparator();
    QAction* up = HostMenu->addAction(image_list::icon(image_list::PARENT_DIR), ui_qtext("app", "回上级目录"));
    connect(up, &QAction::triggered, this, &TForm1::RzToolbarButton4Click);
    QAction* refresh_host = HostMenu->addAction(image_list::icon(image_list::REFRESH), ui_qtext("app", "刷新"));
    connect(refresh_host, &QAction::triggered, this, &TForm1::RzToolbarButton3Click);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(RzShellList1->detailsView()),
                                    static_cast<QAbstractItemView*>(RzShellList1->iconsView())}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            HostMenu->popup(view->viewport()->mapToGlobal(at));
        });
    }
}

std::vector<std::string> TForm1::selectedCardNames() const {
    return RzListView1->selectedCaptions();
}

// --- Host pane ------------------------------------------------------------------------

QString TForm1::hostFolder() const { return RzShellList1->folder(); }
QStringList TForm1::hostSelectedPaths() const { return RzShellList1->selectedPaths(); }
int TForm1::hostItemCount() const { return RzShellList1->itemCount(); }

void TForm1::RzToolbarButton3Click() { RzShellList1->reload(); }
void TForm1::RzToolbarButton4Click() { RzShellList1->goUp(); }
void TForm1::RzMenuToolbarButton1Click() { RzMenuToolbarButton1->showMenu(); }

void TForm1::N6Click() { RzShellList1->setViewStyle(ShellList::ViewStyle::LargeIcons); }
void TForm1::N7Click() { RzShellList1->setViewStyle(ShellList::ViewStyle::SmallIcons); }
void TForm1::N8Click() { RzShellList1->setViewStyle(ShellList::ViewStyle::List); }
void TForm1::N9Click() { RzShellList1->setViewStyle(ShellList::ViewStyle::Details); }

// --- Window ---------------------------------------------------------------------------

void TForm1::X1Click() { close(); }

void TForm1::N5Click() {
    if (Form6) Form6->exec();
}

void TForm1::FormShow() { RefreshDriveList(); }

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Shown by the program, not restored from the task bar: fill the lists.
    if (!event->spontaneous() && !shown_once_) {
        shown_once_ = true;
        // The start size counts the frame; the frame is known once the window is shown.
        const QSize frame = frameGeometry().size() - size();
        resize(start_size(this) - frame);
        centre_on_screen(this);
        FormShow();
    }
}

void TForm1::FormResize() {
    // The host pane takes half of what the middle column leaves of the outer width.
    const int outer = std::max(frameGeometry().width(), width());
    Panes->setLeftWidth((outer - RzSizePanel2->width()) / 2);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

// --- Files dropped from the desktop's file manager -----------------------------------

bool TForm1::acceptsFileDrop(const QMimeData* data) const {
    if (!data->hasUrls() || !isSignalConnected(QMetaMethod::fromSignal(&TForm1::filesDropped)))
        return false;
    for (const QUrl& url : data->urls())
        if (!url.isLocalFile()) return false;
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsFileDrop(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsFileDrop(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    if (!acceptsFileDrop(event->mimeData())) return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) paths << url.toLocalFile();
    event->acceptProposedAction();
    emit filesDropped(event->position().toPoint(), paths);
}
