// The main window's transfer commands on fake-drive cards: the copy buttons with their
// overwrite questions, deleting, card rows dropped on the host pane, files dropped
// from the desktop, and the drive watch while a command works on the card.
#include "app/card_list_qt.h"
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "app/shell_list_qt.h"
#include "device/drive_layer.h"
#include "obfs/obfs.h"
#include "support/card_files.h"
#include "support/hooked_drive.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"
#include "transfer/copyingDlg.h"
#include "transfer/transfer.h"

#include <QApplication>
#include <QMenu>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using drive_layer::drive_table;
using testcards::card_has;
using testcards::pattern_bytes;
using testcards::put_card_file;
using testcards::read_card_file;
using testcards::read_host_file;
using testcards::write_host_file;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;
constexpr uint32_t CLUSTER = 131072;
const std::string OVERWRITE = "已经存在，要覆盖吗？";

// A recording sink that lets a test act while a question is open.
class ActingSink : public testcards::RecordingSink {
public:
    MsgResult show(const Message& message) override {
        if (during) during();
        return testcards::RecordingSink::show(message);
    }
    std::function<void()> during;
};

class TransferCommands : public ::testing::Test {
protected:
    void SetUp() override {
        drive_table().clear();
        set_transfer_diagnostics(nullptr);
        card = testcards::blank_card(DRIVE, CARD_BYTES);
        create_forms();
        Form1->Timer1->stop();   // drive-watch ticks are made by hand
        Form1->resize(720, 480);
        Form1->show();           // fills the drive list: drive 1 is selected
        QApplication::processEvents();
        ASSERT_EQ(Form1->SelectedDrive(), DRIVE);
    }
    void TearDown() override {
        destroy_forms();
        set_copy_callback(nullptr, nullptr);
        drive_table().clear();
        set_transfer_diagnostics(stdout);
    }

    // Shows the temp folder in the host pane and waits until it has been read.
    void showHostFolder(int items) {
        ASSERT_TRUE(Form1->RzShellList1->setFolder(QString::fromStdString(dir.path())));
        QElapsedTimer clock;
        clock.start();
        while (Form1->hostItemCount() < items && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(Form1->hostItemCount(), items);
    }
    void selectHost(const std::vector<std::string>& names) {
        QFileSystemModel* model = Form1->RzShellList1->model();
        QItemSelectionModel* selection = Form1->RzShellList1->detailsView()->selectionModel();
        selection->clearSelection();
        for (const std::string& name : names)
            selection->select(model->index(QString::fromStdString(dir.file(name))),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Selects the card rows with these captions (all free-space rows for its caption).
    void selectCard(const QStringList& captions) {
        CardList* list = Form1->RzListView1;
        list->clearSelection();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (captions.contains(list->topLevelItem(i)->text(0))) list->topLevelItem(i)->setSelected(true);
    }
    void showCard() { Form1->ShowCardContents(DRIVE); }
    QStringList questions() const {
        QStringList texts;
        for (const Message& m : sink.messages) texts << QString::fromStdString(m.text);
        return texts;
    }
    // A point of the card list's client area, in the main window's coordinates.
    QPoint onCardList(int x, int y) const {
        const QRect client = Form1->RzListView1->contentsRect();
        return Form1->RzListView1->mapTo(Form1, client.topLeft() + QPoint(x, y));
    }

    testcards::TempDir dir;
    std::shared_ptr<drive_layer::FakeDrive> card;
    ActingSink sink;
};

}  // namespace

TEST_F(TransferCommands, CopyToCardAsksOncePerExistingNameAndNoSkipsOnlyThatFile) {
    const auto old_bytes = pattern_bytes(3000, 9);
    for (const char* name : {"a.nds", "b.nds", "Game.nds", "sub"})
        ASSERT_TRUE(put_card_file(DRIVE, name, old_bytes));
    write_host_file(dir.file("a.nds"), pattern_bytes(5000, 1));
    write_host_file(dir.file("b.nds"), pattern_bytes(5000, 2));
    write_host_file(dir.file("c.nds"), pattern_bytes(5000, 3));
    write_host_file(dir.file("game.nds"), pattern_bytes(5000, 4));
    std::filesystem::create_directory(dir.file("sub"));
    showHostFolder(5);
    selectHost({"a.nds", "b.nds", "c.nds", "game.nds", "sub"});

    // The folder comes first in the host list: Yes for it, Yes for a.nds, No for b.nds.
    sink.answers = {MsgResult::Yes, MsgResult::Yes, MsgResult::No};
    Form1->actCopyWinToOB->trigger();

    EXPECT_EQ(questions(), (QStringList{QString::fromStdString("sub" + OVERWRITE),
                                        QString::fromStdString("a.nds" + OVERWRITE),
                                        QString::fromStdString("b.nds" + OVERWRITE)}));
    for (const Message& m : sink.messages) {
        EXPECT_EQ(m.title, "");
        EXPECT_EQ(m.icon, MsgIcon::Question);
        EXPECT_EQ(m.buttons, MsgButtons::YesNo);
    }
    EXPECT_EQ(read_card_file(DRIVE, "a.nds"), pattern_bytes(5000, 1));
    EXPECT_EQ(read_card_file(DRIVE, "b.nds"), old_bytes);   // No skipped only this one
    EXPECT_EQ(read_card_file(DRIVE, "c.nds"), pattern_bytes(5000, 3));
    // Names differ in case only: no question, a second file.
    EXPECT_EQ(read_card_file(DRIVE, "game.nds"), pattern_bytes(5000, 4));
    EXPECT_EQ(read_card_file(DRIVE, "Game.nds"), old_bytes);
    EXPECT_EQ(read_card_file(DRIVE, "sub"), old_bytes);     // a folder is never copied
    // The card list shows the card afresh.
    EXPECT_TRUE(Form1->RzListView1->columnTexts(0).contains("c.nds"));
    EXPECT_TRUE(Form3->winFiles.empty());
}

TEST_F(TransferCommands, NothingSelectedNoDriveOrNothingLeftShowsNoWindow) {
    write_host_file(dir.file("a.nds"), pattern_bytes(100, 1));
    showHostFolder(1);
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { shown = shown || Form3->isVisible(); });
    watch.start(1);

    Form1->actCopyWinToOB->trigger();    // nothing selected
    Form1->actCopyOBToWin->trigger();
    selectHost({"a.nds"});
    ASSERT_TRUE(put_card_file(DRIVE, "a.nds", pattern_bytes(100, 2)));
    Form1->actCopyWinToOB->trigger();    // the only file is declined
    EXPECT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(read_card_file(DRIVE, "a.nds"), pattern_bytes(100, 2));

    drive_table().clear();
    Form1->RefreshDriveList();
    ASSERT_EQ(Form1->SelectedDrive(), -1);
    Form1->actCopyWinToOB->trigger();
    Form1->actCopyOBToWin->trigger();
    Form1->RzToolbarButton7->click();
    QApplication::processEvents();
    EXPECT_FALSE(shown);
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(TransferCommands, CopyToHostAsksAboutExistingHostFilesAndPassesOverFreeSpaceRows) {
    ASSERT_TRUE(put_card_file(DRIVE, "x.nds", pattern_bytes(3 * CLUSTER, 1)));
    ASSERT_TRUE(put_card_file(DRIVE, "y.nds", pattern_bytes(1000, 2)));
    ASSERT_TRUE(put_card_file(DRIVE, "z.nds", pattern_bytes(1000, 3)));
    write_host_file(dir.file("x.nds"), pattern_bytes(10, 4));
    // A card file named like the free-space rows' caption stands in the host folder
    // too: the free-space rows are still passed over without a question.
    write_host_file(dir.file("<< FREE SPACE >>"), pattern_bytes(10, 5));
    showHostFolder(2);
    showCard();
    selectCard({"x.nds", "y.nds", "<< FREE SPACE >>"});

    sink.answers = {MsgResult::No};
    Form1->actCopyOBToWin->trigger();
    EXPECT_EQ(questions(), QStringList{QString::fromStdString(dir.file("x.nds") + OVERWRITE)});
    EXPECT_EQ(read_host_file(dir.file("x.nds")), pattern_bytes(10, 4));
    EXPECT_EQ(read_host_file(dir.file("y.nds")), pattern_bytes(1000, 2));
    EXPECT_FALSE(std::filesystem::exists(dir.file("z.nds")));
    EXPECT_TRUE(Form3->obFiles.empty());

    // Card rows dropped on the host pane copy the selection; Yes overwrites.
    sink.messages.clear();
    sink.answers = {MsgResult::Yes, MsgResult::Yes};
    Form1->RzShellList1DragDrop();
    EXPECT_EQ(sink.messages.size(), 2u);   // x.nds and y.nds exist now
    EXPECT_EQ(read_host_file(dir.file("x.nds")), pattern_bytes(3 * CLUSTER, 1));
    // The host pane shows the new files.
    QElapsedTimer clock;
    clock.start();
    while (Form1->hostItemCount() < 3 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(Form1->hostItemCount(), 3);
}

TEST_F(TransferCommands, CopyToHostIntoAFolderHoldingASubFolderOfTheNameStopsWithTheBox) {
    ASSERT_TRUE(put_card_file(DRIVE, "a.nds", pattern_bytes(1000, 1)));
    ASSERT_TRUE(put_card_file(DRIVE, "b.nds", pattern_bytes(1000, 2)));
    std::filesystem::create_directory(dir.file("a.nds"));
    showHostFolder(1);
    showCard();
    selectCard({"a.nds", "b.nds"});
    Form1->actCopyOBToWin->trigger();
    ASSERT_EQ(questions(), QStringList{TForm3::COPY_FAILED});   // no question before it
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.nds")));
}

TEST_F(TransferCommands, DeleteAsksOnceAndOnlyYesDeletesTheFileRows) {
    ASSERT_TRUE(put_card_file(DRIVE, "a.nds", pattern_bytes(1000, 1)));
    ASSERT_TRUE(put_card_file(DRIVE, "b.sav", pattern_bytes(1000, 2)));
    ASSERT_TRUE(put_card_file(DRIVE, "keep.nds", pattern_bytes(1000, 3)));
    showCard();
    selectCard({"a.nds", "b.sav", "<< FREE SPACE >>"});

    Form1->RzToolbarButton7->click();   // No, the default answer
    ASSERT_EQ(sink.messages.size(), 1u);
    // The question names the files it is about, not the free-space rows.
    EXPECT_EQ(sink.messages[0].text, "确实要删除这些文件吗？\n\na.nds\nb.sav");
    EXPECT_EQ(sink.messages[0].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(card_has(DRIVE, "a.nds"));
    EXPECT_TRUE(card_has(DRIVE, "b.sav"));

    showCard();
    selectCard({"a.nds", "b.sav", "<< FREE SPACE >>"});
    sink.answers = {MsgResult::Yes};
    Form1->RzToolbarButton7->click();
    EXPECT_EQ(sink.messages.size(), 2u);   // nothing about the free-space rows
    EXPECT_FALSE(card_has(DRIVE, "a.nds"));
    EXPECT_FALSE(card_has(DRIVE, "b.sav"));
    EXPECT_TRUE(card_has(DRIVE, "keep.nds"));
    const QStringList shown = Form1->RzListView1->columnTexts(0);
    EXPECT_FALSE(shown.contains("a.nds"));
    EXPECT_TRUE(shown.contains("keep.nds"));

    Form1->RzListView1->clearSelection();   // no row selected: no question
    Form1->RzToolbarButton7->click();
    EXPECT_EQ(sink.messages.size(), 2u);

    // Only free space selected: a notice that nothing was deleted, no question.
    selectCard({"<< FREE SPACE >>"});
    Form1->RzToolbarButton7->click();
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[2].text, "所选的行都不是文件，没有删除任何文件。");
    EXPECT_EQ(sink.messages[2].buttons, MsgButtons::Ok);
    EXPECT_TRUE(card_has(DRIVE, "keep.nds"));
}

TEST_F(TransferCommands, TheCardPanesContextMenuDeletesAndCopiesLikeTheButtons) {
    ASSERT_TRUE(put_card_file(DRIVE, "a.nds", pattern_bytes(1000, 1)));
    showCard();
    selectCard({"a.nds"});
    QStringList captions;
    QAction* remove = nullptr;
    for (QAction* action : Form1->CardMenu->actions()) {
        captions << action->text();
        if (action->text() == "删除") remove = action;
    }
    EXPECT_TRUE(captions.contains("拷贝到电脑")) << captions.join(",").toStdString();
    EXPECT_TRUE(captions.contains("刷新"));
    ASSERT_NE(remove, nullptr);
    sink.answers = {MsgResult::Yes};
    remove->trigger();
    EXPECT_FALSE(card_has(DRIVE, "a.nds"));
    QStringList host;
    for (QAction* action : Form1->HostMenu->actions()) host << action->text();
    EXPECT_TRUE(host.contains("拷贝到SD卡")) << host.join(",").toStdString();
}

TEST_F(TransferCommands, TheHostPanesDeleteAsksThenMovesToTheTrashAndNamesWhatItCouldNot) {
    // The trash lives under XDG_DATA_HOME; a fresh one in the temp folder keeps the
    // tester's own trash out of it.
    const std::string xdg = dir.file("xdg");
    std::filesystem::create_directory(xdg);
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", xdg.c_str());
    write_host_file(dir.file("a.nds"), pattern_bytes(100, 1));
    write_host_file(dir.file("b.sav"), pattern_bytes(100, 2));
    showHostFolder(3);
    QAction* trash = Form1->HostMenu->findChild<QAction*>("HostDelete");
    ASSERT_NE(trash, nullptr);
    EXPECT_EQ(trash->text(), "删除");

    selectHost({"a.nds", "b.sav"});
    trash->trigger();   // No, the default
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "确实要把这些文件移到回收站吗？\n\na.nds\nb.sav");
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.nds")));

    selectHost({"a.nds"});
    sink.answers = {MsgResult::Yes};
    trash->trigger();
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.nds")));
    EXPECT_TRUE(std::filesystem::exists(xdg + "/Trash/files/a.nds"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("b.sav")));
    EXPECT_EQ(sink.messages.size(), 2u);   // no failure box

    // A file that is gone by the time the trash is asked for it is named, not hidden.
    selectHost({"b.sav"});
    std::filesystem::remove(dir.file("b.sav"));
    sink.answers = {MsgResult::Yes};
    trash->trigger();
    if (saved.isNull()) qunsetenv("XDG_DATA_HOME");
    else qputenv("XDG_DATA_HOME", saved);
    ASSERT_EQ(sink.messages.size(), 4u);
    EXPECT_EQ(sink.messages[3].icon, MsgIcon::Error);
    EXPECT_EQ(sink.messages[3].text, "下列文件未能移到回收站：\n\nb.sav");
}

TEST_F(TransferCommands, ADeleteTheCardRefusesIsSaid) {
    ASSERT_TRUE(put_card_file(DRIVE, "a.nds", pattern_bytes(1000, 1)));
    showCard();
    selectCard({"a.nds", "<< FREE SPACE >>"});
    sink.answers = {MsgResult::Yes};
    card->fail_writes_from(1);
    Form1->RzToolbarButton7->click();
    card->fail_writes_from(0);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].icon, MsgIcon::Error);
    EXPECT_EQ(sink.messages[1].title, "Orbelle Manager");
    EXPECT_TRUE(card_has(DRIVE, "a.nds"));
}

TEST_F(TransferCommands, DroppedFilesCountOnlyInsideTheCardListEdgesIncluded) {
    for (const char* name : {"edge1.nds", "edge2.nds", "out1.nds", "out2.nds", "late.nds"})
        write_host_file(dir.file(name), pattern_bytes(2000, 1));
    auto drop = [&](QPoint at, const char* name) {
        Form1->WMDropFiles(at, {QString::fromStdString(dir.file(name))});
    };
    const QRect client = Form1->RzListView1->contentsRect();
    drop(onCardList(0, 0), "edge1.nds");
    drop(onCardList(client.width(), client.height()), "edge2.nds");
    drop(onCardList(client.width() + 1, client.height() / 2), "out1.nds");
    drop(Form1->RzImageComboBox1->mapTo(Form1, QPoint(5, 5)), "out2.nds");
    drop(Form1->RzShellList1->mapTo(Form1, QPoint(20, 20)), "out2.nds");
    EXPECT_TRUE(card_has(DRIVE, "edge1.nds"));
    EXPECT_TRUE(card_has(DRIVE, "edge2.nds"));
    EXPECT_FALSE(card_has(DRIVE, "out1.nds"));
    EXPECT_FALSE(card_has(DRIVE, "out2.nds"));

    // An existing name is asked about; No skips it.
    drop(onCardList(10, 10), "edge1.nds");
    EXPECT_EQ(questions(), QStringList{QString::fromStdString("edge1.nds" + OVERWRITE)});

    // No drive selected: nothing, and no question.
    drive_table().clear();
    Form1->RefreshDriveList();
    drop(onCardList(10, 10), "late.nds");
    drive_table().attach(DRIVE, card);
    EXPECT_FALSE(card_has(DRIVE, "late.nds"));
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(TransferCommands, DesktopDropsReachTheWindowsFileDropOnlyFromTheCardList) {
    ASSERT_TRUE(put_card_file(DRIVE, "x.nds", pattern_bytes(1000, 1)));
    write_host_file(dir.file("dropped.nds"), pattern_bytes(3000, 2));
    showHostFolder(1);
    showCard();
    selectCard({"x.nds"});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("dropped.nds")))});

    // Over the host pane a desktop drag is not the host pane's: it does not copy the
    // card's selected rows into the host folder.
    QWidget* host = Form1->RzShellList1->detailsView()->viewport();
    QDropEvent on_host(host->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &on_host);
    QApplication::processEvents();
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.nds")));
    EXPECT_FALSE(card_has(DRIVE, "dropped.nds"));

    // Over the card list it is taken, and copied once the drag has ended.
    QWidget* cards = Form1->RzListView1->viewport();
    QDragEnterEvent over(cards->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cards, &over);
    EXPECT_TRUE(over.isAccepted());
    QDropEvent drop(cards->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cards, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(card_has(DRIVE, "dropped.nds"));
    QApplication::processEvents();
    EXPECT_EQ(read_card_file(DRIVE, "dropped.nds"), pattern_bytes(3000, 2));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(TransferCommands, DriveWatchTicksWaitUntilTheCommandHasEnded) {
    Form1->Timer1Timer();
    ASSERT_EQ(Form1->LastDriveCount, 1);
    ASSERT_TRUE(put_card_file(DRIVE, "big.nds", pattern_bytes(1000, 1)));
    write_host_file(dir.file("big.nds"), pattern_bytes(16 * CLUSTER, 2));
    showHostFolder(1);
    selectHost({"big.nds"});

    // A second card arrives while the overwrite question is open, and again in the
    // middle of the copy; the ticks then must not reach the volume.
    int ticks_seen = 0;
    auto tick = [&] {
        Form1->Timer1Timer();
        if (Form1->LastDriveCount == 1 && Form1->RzImageComboBox1->count() == 1 &&
            volume().drive() == DRIVE)
            ++ticks_seen;
    };
    sink.during = [&] {
        testcards::blank_card(3, CARD_BYTES);
        tick();
    };
    int cluster_writes = 0;
    testcards::hook_drive(DRIVE, card, [&](bool write, uint64_t, uint32_t length) {
        if (!write || length < CLUSTER) return;
        const int before = cluster_writes;
        cluster_writes += int(length / CLUSTER);   // a chunk's clusters go out in one command
        if (before < 6 && cluster_writes >= 6)
            QMetaObject::invokeMethod(qApp, tick, Qt::BlockingQueuedConnection);
    });
    sink.answers = {MsgResult::Yes};
    Form1->actCopyWinToOB->trigger();
    EXPECT_EQ(ticks_seen, 2);
    EXPECT_EQ(read_card_file(DRIVE, "big.nds"), pattern_bytes(16 * CLUSTER, 2));

    // The first tick after the command rebuilds the list.
    Form1->Timer1Timer();
    EXPECT_EQ(Form1->LastDriveCount, 2);
    EXPECT_EQ(Form1->RzImageComboBox1->count(), 2);
}

TEST_F(TransferCommands, BothWaysOnACardImageFile) {
    // The blank card of the fixture, saved as an image file and attached as drive 2.
    const uint32_t image_bytes = 16u << 20;
    auto blank = std::make_shared<drive_layer::FakeDrive>(image_bytes);
    testcards::write_blank_volume(*blank, image_bytes);
    write_host_file(dir.file("card.img"), blank->peek(0, image_bytes));
    ASSERT_TRUE(drive_table().attach_path(2, dir.file("card.img")));
    drive_table().detach(DRIVE);
    Form1->RefreshDriveList();
    ASSERT_EQ(Form1->SelectedDrive(), 2);

    std::filesystem::create_directory(dir.file("host"));
    write_host_file(dir.file("host/game.nds"), pattern_bytes(5 * 0x80000 + 99, 1));
    ASSERT_TRUE(Form1->RzShellList1->setFolder(QString::fromStdString(dir.file("host"))));
    QElapsedTimer clock;
    clock.start();
    while (Form1->hostItemCount() < 1 && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    Form1->RzShellList1->detailsView()->selectionModel()->select(
        Form1->RzShellList1->model()->index(QString::fromStdString(dir.file("host/game.nds"))),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Form1->actCopyWinToOB->trigger();
    ASSERT_TRUE(Form1->RzListView1->columnTexts(0).contains("game.nds"));
    EXPECT_EQ(Form3->suiProgressBar1->value(), 100);

    std::filesystem::remove(dir.file("host/game.nds"));
    selectCard({"game.nds"});
    Form1->actCopyOBToWin->trigger();
    EXPECT_EQ(read_host_file(dir.file("host/game.nds")), pattern_bytes(5 * 0x80000 + 99, 1));
    EXPECT_TRUE(sink.messages.empty());
}
