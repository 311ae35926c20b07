// The drive list of the main window on fake drives: which entries it offers, which card
// it shows, and how the once-a-second drive watch reacts.
#include "app/card_list_qt.h"
#include "app/drive_watch_qt.h"
#include "views/card_rows.h"
#include "app/mainDlg.h"
#include "common/volume_busy.h"
#include "device/drive_layer.h"
#include "obfs/obfs.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using drive_layer::drive_table;

namespace {

constexpr uint32_t SMALL_CARD = 64u << 20;
constexpr uint32_t LARGE_CARD = 128u << 20;
constexpr uint32_t OTHER_CARD = 96u << 20;

class DriveListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        drive_table().clear();
        form.Timer1->stop();   // ticks are driven by hand
    }
    void TearDown() override { drive_table().clear(); }

    std::vector<int> entryDrives() const {
        std::vector<int> drives;
        for (int i = 0; i < form.RzImageComboBox1->count(); ++i)
            drives.push_back(form.RzImageComboBox1->itemData(i).toInt());
        return drives;
    }
    // The card list shows what the card contents view makes of `drive`.
    bool showsCard(uint8_t drive) {
        QStringList expected;
        for (const CardRow& row : card_rows(drive))
            expected << QString::fromStdString(row.caption + "|" + row.size_text);
        QStringList shown;
        const QStringList names = form.RzListView1->columnTexts(0);
        const QStringList sizes = form.RzListView1->columnTexts(1);
        for (int i = 0; i < names.size(); ++i) shown << names[i] + "|" + sizes[i];
        expected.sort();
        shown.sort();
        return expected == shown;
    }

    // Cards in drives 1 and 3, listed, and counted by a first tick of the watch.
    void twoCardsWatched() {
        testcards::blank_card(1, SMALL_CARD);
        testcards::blank_card(3, LARGE_CARD);
        form.RefreshDriveList();
        form.Timer1Timer();   // 2 differs from the start value 0: the list is rebuilt once more
        ASSERT_EQ(form.LastDriveCount, 2);
        ASSERT_EQ(entryDrives(), (std::vector<int>{1, 3}));
    }

    TForm1 form;
};

}  // namespace

TEST_F(DriveListWindow, TwoCardsListFirstAndShowItAndChoosingAnotherShowsThat) {
    testcards::blank_card(3, LARGE_CARD);
    testcards::blank_card(1, SMALL_CARD);
    form.RefreshDriveList();

    EXPECT_EQ(entryDrives(), (std::vector<int>{1, 3}));
    EXPECT_TRUE(form.RzImageComboBox1->itemText(0).startsWith("1 -    64 MB, "));
    EXPECT_TRUE(form.RzImageComboBox1->itemText(1).startsWith("3 -   128 MB, "));
    EXPECT_TRUE(form.RzImageComboBox1->itemText(1).endsWith("Removable Disk"));
    EXPECT_EQ(form.RzImageComboBox1->currentIndex(), 0);
    EXPECT_EQ(form.SelectedDrive(), 1);
    EXPECT_EQ(form.CurrentDrive, 1);
    EXPECT_EQ(volume().drive(), 1);
    EXPECT_TRUE(showsCard(1));
    EXPECT_FALSE(showsCard(3));
    EXPECT_EQ(form.LastDriveCount, 0);   // only the watch writes it

    // The user chooses the second entry.
    form.RzImageComboBox1->setCurrentIndex(1);
    emit form.RzImageComboBox1->activated(1);
    EXPECT_EQ(form.CurrentDrive, 3);
    EXPECT_EQ(form.SelectedDrive(), 3);
    EXPECT_TRUE(showsCard(3));

    // The card pane's refresh button rebuilds the list and selects drive 1 again.
    form.RzToolbarButton6->click();
    EXPECT_EQ(form.RzImageComboBox1->currentIndex(), 0);
    EXPECT_EQ(form.CurrentDrive, 1);
    EXPECT_TRUE(showsCard(1));

    form.RzImageComboBox1Select(-1);     // no entry: nothing happens
    EXPECT_EQ(form.CurrentDrive, 1);
}

TEST_F(DriveListWindow, ShowingTheWindowFillsTheLists) {
    testcards::blank_card(2, SMALL_CARD);
    form.show();
    EXPECT_EQ(entryDrives(), std::vector<int>{2});
    EXPECT_EQ(form.CurrentDrive, 2);
    EXPECT_TRUE(showsCard(2));
}

TEST_F(DriveListWindow, WatchRebuildsWhenACardIsRemoved) {
    twoCardsWatched();
    form.Timer1Timer();                  // nothing changed
    EXPECT_EQ(form.LastDriveCount, 2);

    drive_table().detach(1);             // the shown card is taken out
    form.Timer1Timer();
    EXPECT_EQ(form.LastDriveCount, 1);
    EXPECT_EQ(entryDrives(), std::vector<int>{3});
    EXPECT_EQ(form.RzImageComboBox1->currentIndex(), 0);
    EXPECT_EQ(form.CurrentDrive, 3);
    EXPECT_TRUE(showsCard(3));
}

TEST_F(DriveListWindow, ExchangeWithinOneTickIsNotNoticed) {
    twoCardsWatched();
    const QStringList before = form.RzListView1->columnTexts(1);

    drive_table().detach(3);
    testcards::blank_card(5, OTHER_CARD);  // another card arrives before the next tick
    form.Timer1Timer();
    EXPECT_EQ(form.LastDriveCount, 2);
    EXPECT_EQ(entryDrives(), (std::vector<int>{1, 3}));   // not rebuilt
    EXPECT_EQ(form.RzListView1->columnTexts(1), before);
    EXPECT_EQ(form.CurrentDrive, 1);

    form.RzToolbarButton6->click();        // until the next refresh
    EXPECT_EQ(entryDrives(), (std::vector<int>{1, 5}));
}

TEST_F(DriveListWindow, NoAcceptableDriveLeavesTheListEmpty) {
    auto fixed = testcards::attach_fake(1, SMALL_CARD);
    fixed->set_media_type(drive_layer::MEDIA_FIXED);
    form.RefreshDriveList();
    EXPECT_EQ(form.RzImageComboBox1->count(), 0);
    EXPECT_EQ(form.RzImageComboBox1->currentIndex(), -1);
    EXPECT_EQ(form.SelectedDrive(), -1);
    EXPECT_EQ(form.CurrentDrive, 0);
    // The card pane says that no card was found and how to attach one.
    const QStringList rows = form.RzListView1->columnTexts(0);
    EXPECT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows.contains(QString::fromUtf8(NO_CARD_ROW)));
    EXPECT_TRUE(rows.contains(QString::fromUtf8(NO_CARD_HINT_ROW)));
    EXPECT_EQ(form.FreeLabel->text(), "");

    // Each Tools command says so in a box instead of doing nothing.
    testcards::RecordingSink sink;
    for (QAction* action : {form.SD1, form.SD2, form.N2, form.N3, form.MoonShell1, form.CheckSD1}) {
        sink.messages.clear();
        action->trigger();
        ASSERT_EQ(sink.messages.size(), 1u) << action->objectName().toStdString();
        EXPECT_EQ(sink.messages[0].text, NO_CARD_NOTICE);
        EXPECT_EQ(sink.messages[0].icon, MsgIcon::Warning);
    }

    form.Timer1Timer();                   // 0 drives, as at start: nothing to do
    EXPECT_EQ(form.LastDriveCount, 0);
}

TEST_F(DriveListWindow, TheStatusBarShowsTheFreeSpaceAndTheLargestRun) {
    testcards::blank_card(1, SMALL_CARD);
    form.RefreshDriveList();
    const FreeSummary free = free_summary(card_rows(1));
    ASSERT_GT(free.total_bytes, 0u);
    EXPECT_EQ(form.FreeLabel->text().toStdString(),
              "可用空间 " + SizeText64(free.total_bytes) + "，最大连续空间 " + SizeText64(free.largest_bytes));
    // The whole caption is the drive list's hint, wherever the list cuts it.
    EXPECT_EQ(form.RzImageComboBox1->toolTip(), form.RzImageComboBox1->currentText());
}

TEST_F(DriveListWindow, WatchWaitsWhileTheVolumeIsBusy) {
    testcards::blank_card(1, SMALL_CARD);
    form.RefreshDriveList();
    form.Timer1Timer();
    ASSERT_EQ(form.LastDriveCount, 1);
    {
        VolumeBusy busy;                  // e.g. a copy batch on its worker thread
        testcards::blank_card(4, LARGE_CARD);
        form.Timer1Timer();
        EXPECT_EQ(form.LastDriveCount, 1);
        EXPECT_EQ(entryDrives(), std::vector<int>{1});
    }
    form.Timer1Timer();                   // the first tick after the work
    EXPECT_EQ(form.LastDriveCount, 2);
    EXPECT_EQ(entryDrives(), (std::vector<int>{1, 4}));
}

// Runs the event loop for `ms` milliseconds.
static void run_events_for(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST_F(DriveListWindow, HeardNewsRunsTheWatchOnceAndNoTickIsNeeded) {
    // News passed on by the window (as WM_DEVICECHANGE is on Windows).
    form.Timer1->start();
    form.listenForDriveChanges(std::make_unique<DriveChangeNotifier>());
    ASSERT_NE(form.Watch, nullptr);
    EXPECT_FALSE(form.Timer1->isActive()) << "nothing is polled while the host tells";
    int heard = 0;
    QObject::connect(form.Watch, &DriveWatch::drivesChanged, [&] { ++heard; });

    // A card arrives: news for the disk, and more for its partitions soon after.
    testcards::blank_card(1, SMALL_CARD);
    form.Watch->noteChange();
    form.Watch->noteChange();
    EXPECT_EQ(entryDrives(), std::vector<int>{}) << "looked at once the news has settled";
    run_events_for(4 * DriveWatch::SETTLE_MS);
    EXPECT_EQ(heard, 1) << "one look for news that came together";
    EXPECT_EQ(entryDrives(), std::vector<int>{1});
    EXPECT_EQ(form.LastDriveCount, 1);

    // News while the volume is busy is looked at once the work has ended.
    {
        VolumeBusy busy;
        testcards::blank_card(4, LARGE_CARD);
        form.Watch->noteChange();
        run_events_for(2 * DriveWatch::SETTLE_MS);
        EXPECT_EQ(heard, 2);
        EXPECT_EQ(entryDrives(), std::vector<int>{1});
    }
    run_events_for(3 * TForm1::BUSY_RETRY_MS);
    EXPECT_EQ(entryDrives(), (std::vector<int>{1, 4}));

    // Without a notifier the window keeps polling.
    TForm1 polling;
    polling.listenForDriveChanges(nullptr);
    EXPECT_EQ(polling.Watch, nullptr);
    EXPECT_TRUE(polling.Timer1->isActive());
}
