// The copy progress window on fake-drive cards: batches both ways, the failure box,
// failures inside a file, the bar, cancelling in the middle of a file, and what the
// window does while its worker runs.
#include "transfer/copyingDlg.h"

#include "common/volume_busy.h"
#include "device/drive_layer.h"
#include "maintenance/card_check.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/superblock.h"
#include "support/card_files.h"
#include "support/hooked_drive.h"
#include "support/recording_sink.h"
#include "support/test_cards.h"
#include "transfer/transfer.h"

#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

using drive_layer::drive_table;
using testcards::pattern_bytes;
using testcards::read_card_file;
using testcards::read_host_file;
using testcards::write_host_file;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;
constexpr uint32_t CLUSTER = 131072;

// Runs `work` on the GUI thread while the calling (worker) thread waits for it.
void on_gui_thread(const std::function<void()>& work) {
    QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
}

class CopyWindow : public ::testing::Test {
protected:
    void SetUp() override {
        drive_table().clear();
        set_transfer_diagnostics(nullptr);
        card = testcards::blank_card(DRIVE, CARD_BYTES);
    }
    void TearDown() override {
        set_copy_callback(nullptr, nullptr);
        drive_table().clear();
        set_transfer_diagnostics(stdout);
    }

    std::string hostFile(const std::string& name, size_t size, uint32_t seed) {
        write_host_file(dir.file(name), pattern_bytes(size, seed));
        return dir.file(name);
    }
    // Queues host files and runs the batch onto the card to its end; `vanished` is
    // removed after it was queued.
    void runToCard(const std::vector<std::string>& paths, const std::string& vanished = {}) {
        for (const std::string& path : paths) form.AddWinFile(path);
        if (!vanished.empty()) std::filesystem::remove(vanished);
        form.copyToOB = 1;
        form.driveNumber = DRIVE;
        form.exec();
    }
    void runToHost(const std::vector<std::string>& names, const std::string& folder) {
        ASSERT_TRUE(volume().mount(DRIVE));
        for (const std::string& name : names) form.AddOBFile(DRIVE, name);
        form.destFolder = folder;
        form.copyToOB = 0;
        form.exec();
    }
    // Puts a hook in front of the card: it sees every transfer the batch makes.
    void hookCard(testcards::HookedDrive::Hook hook) {
        testcards::hook_drive(DRIVE, card, std::move(hook));
    }
    void expectIdle() {
        EXPECT_TRUE(form.winFiles.empty());
        EXPECT_TRUE(form.obFiles.empty());
        EXPECT_EQ(form.totalBytes, 0u);
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.workerActive());
        EXPECT_FALSE(volume_busy());
    }
    uint32_t first_cluster_of(const std::string& name) {
        EXPECT_TRUE(volume().mount(DRIVE));
        return get_le32(find_file(name).data() + DE_FIRST_CLUSTER);
    }
    // The directory sector the next new card file takes.
    uint64_t first_free_slot_sector() {
        EXPECT_TRUE(volume().mount(DRIVE));
        return find_free_slot();
    }
    size_t failureBoxes() const {
        size_t n = 0;
        for (const Message& m : sink.messages)
            if (m.text == TForm3::COPY_FAILED && m.title.empty() && m.buttons == MsgButtons::Ok) ++n;
        return n;
    }

    testcards::TempDir dir;
    std::shared_ptr<drive_layer::FakeDrive> card;
    testcards::RecordingSink sink;
    TForm3 form;
};

}  // namespace

TEST_F(CopyWindow, IsLaidOutAsTheProgressWindow) {
    EXPECT_EQ(form.windowTitle(), "正在拷贝");
    EXPECT_EQ(form.size(), QSize(411, 121));
    EXPECT_EQ(form.RzStatusPane1->geometry(), QRect(4, 48, 309, 23));
    EXPECT_EQ(form.suiProgressBar1->geometry(), QRect(8, 82, 309, 21));
    EXPECT_EQ(form.suiProgressBar1->minimum(), 0);
    EXPECT_EQ(form.suiProgressBar1->maximum(), 100);
    EXPECT_TRUE(form.suiProgressBar1->isTextVisible());
    EXPECT_EQ(form.Button1->geometry(), QRect(324, 80, 75, 25));
    EXPECT_EQ(form.Button1->text(), "取消");
    EXPECT_EQ(form.Timer1->interval(), 100);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.copyToOB, 1);
    EXPECT_EQ(form.driveNumber, 0);
    EXPECT_EQ(form.running, 0);
    EXPECT_EQ(form.totalBytes, 0u);
}

TEST_F(CopyWindow, QueuingLeavesOutWhatDoesNotOpenAndAddsUpTheSizes) {
    const std::string a = hostFile("a.nds", 1000, 1);
    const std::string b = hostFile("b.sav", 70000, 2);
    std::filesystem::create_directory(dir.file("folder"));
    form.AddWinFile(a);
    form.AddWinFile(dir.file("folder"));
    form.AddWinFile(dir.file("missing"));
    form.AddWinFile(b);
    EXPECT_EQ(form.winFiles, (std::vector<std::string>{a, b}));
    EXPECT_EQ(form.totalBytes, 71000u);

    ASSERT_TRUE(testcards::put_card_file(DRIVE, "c.bin", pattern_bytes(5000, 3)));
    form.AddOBFile(DRIVE, "c.bin");
    form.AddOBFile(DRIVE, "<< FREE SPACE >>");
    form.AddOBFile(DRIVE, "C.BIN");   // names are compared byte for byte
    ASSERT_EQ(form.obFiles.size(), 1u);
    EXPECT_EQ(form.obFiles[0], (std::pair<int, std::string>{DRIVE, "c.bin"}));
    EXPECT_EQ(form.totalBytes, 76000u);

    form.ClearJobs();
    EXPECT_TRUE(form.winFiles.empty());
    EXPECT_TRUE(form.obFiles.empty());
    EXPECT_EQ(form.totalBytes, 0u);
}

TEST_F(CopyWindow, HostFilesGoOntoTheCardAndTheBarEndsNearTheTop) {
    const std::string a = hostFile("game.nds", 3 * 0x80000 + 1234, 1);
    const std::string b = hostFile("game.sav", 524288, 2);
    const std::string c = hostFile("notes.txt", 3, 3);
    runToCard({a, b, c});

    EXPECT_EQ(read_card_file(DRIVE, "game.nds"), read_host_file(a));
    EXPECT_EQ(read_card_file(DRIVE, "game.sav"), read_host_file(b));
    EXPECT_EQ(read_card_file(DRIVE, "notes.txt"), read_host_file(c));
    EXPECT_EQ(failureBoxes(), 0u);
    // The sum of the chunk percentages in single precision: 100 or a hair below.
    EXPECT_NEAR(form.percentDone, 100.0f, 0.01f);
    EXPECT_GE(form.suiProgressBar1->value(), 99);
    EXPECT_EQ(form.RzStatusPane1->toolTip().toStdString(), c);   // the last file shown
    expectIdle();
}

TEST_F(CopyWindow, CardFilesGoIntoTheHostFolder) {
    const auto x = pattern_bytes(5 * CLUSTER + 77, 4);
    const auto y = pattern_bytes(0x200000 * 2, 5);
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "x.nds", x));
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "y.nds", y));
    std::filesystem::create_directory(dir.file("out"));
    runToHost({"x.nds", "y.nds"}, dir.file("out"));

    EXPECT_EQ(read_host_file(dir.file("out/x.nds")), x);
    EXPECT_EQ(read_host_file(dir.file("out/y.nds")), y);
    EXPECT_EQ(failureBoxes(), 0u);
    EXPECT_GE(form.suiProgressBar1->value(), 99);
    EXPECT_EQ(form.RzStatusPane1->toolTip(), "y.nds");
    expectIdle();
}

TEST_F(CopyWindow, ARefusedFileShowsTheBoxOnceAndStopsTheBatch) {
    // The first file has gone since it was queued: nothing is copied.
    runToCard({hostFile("a.nds", 2000, 1), hostFile("b.nds", 2000, 2)}, dir.file("a.nds"));
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_FALSE(testcards::card_has(DRIVE, "a.nds"));
    EXPECT_FALSE(testcards::card_has(DRIVE, "b.nds"));
    expectIdle();

    // The third of four is refused: the first two stay, the fourth is dropped.
    sink.messages.clear();
    runToCard({hostFile("c.nds", 2000, 3), hostFile("d.nds", 2000, 4), hostFile("e.nds", 2000, 5),
               hostFile("f.nds", 2000, 6)},
              dir.file("e.nds"));
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_TRUE(testcards::card_has(DRIVE, "c.nds"));
    EXPECT_TRUE(testcards::card_has(DRIVE, "d.nds"));
    EXPECT_FALSE(testcards::card_has(DRIVE, "f.nds"));
    expectIdle();

    // The other way: a sub-folder of the file's name stands in the host folder.
    sink.messages.clear();
    std::filesystem::create_directories(dir.file("out/d.nds"));
    runToHost({"c.nds", "d.nds"}, dir.file("out"));
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_EQ(read_host_file(dir.file("out/c.nds")), read_host_file(dir.file("c.nds")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("out/d.nds")));
    expectIdle();
}

// A copy that started and did not complete must not end like one that did: the box
// shows once and the batch stops, whether a cluster write, the card file's commit or
// a card read failed.
TEST_F(CopyWindow, AFailureInsideAFileShowsTheBoxAndStopsTheBatch) {
    // The card refuses the first data write of the first file (a chunk's clusters go
    // out in one command).
    int cluster_writes = 0;
    hookCard([&](bool write, uint64_t, uint32_t length) {
        if (write && length >= CLUSTER && ++cluster_writes == 1) card->fail_write_at(1);
    });
    const std::string a = hostFile("a.nds", 4 * CLUSTER, 1);
    const std::string b = hostFile("b.nds", 2 * CLUSTER, 2);
    runToCard({a, b});
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_LT(read_card_file(DRIVE, "a.nds").size(), 4u * CLUSTER);   // a shorter file
    EXPECT_FALSE(testcards::card_has(DRIVE, "b.nds"));
    expectIdle();

    // The last write of a copy is its directory entry: when that fails, the file is not
    // committed, and the window says so.
    sink.messages.clear();
    const uint64_t entry_sector = first_free_slot_sector();
    bool failed = false;  // a new file's entry goes out once, at its commit
    hookCard([&](bool write, uint64_t offset, uint32_t) {
        if (!write || offset != entry_sector * 512 || failed) return;
        failed = true;
        card->fail_write_at(1);
    });
    runToCard({b});
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_TRUE(read_card_file(DRIVE, "b.nds").empty());
    expectIdle();

    // A bad spot in the middle of the first file fails every read of it on the way to
    // the host.
    sink.messages.clear();
    hookCard([](bool, uint64_t, uint32_t) {});
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "big.nds", pattern_bytes(3 * 0x200000, 7)));
    const uint64_t bad_spot = uint64_t(volume().cluster_to_sector(first_cluster_of("big.nds") + 20)) * 512;
    hookCard([&](bool write, uint64_t offset, uint32_t length) {
        if (!write && offset <= bad_spot && bad_spot < offset + length) card->fail_read_at(1);
    });
    std::filesystem::create_directory(dir.file("out"));
    runToHost({"big.nds", "b.nds"}, dir.file("out"));
    EXPECT_EQ(failureBoxes(), 1u);
    EXPECT_LT(read_host_file(dir.file("out/big.nds")).size(), 3u * 0x200000);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/b.nds")));
}

TEST_F(CopyWindow, ZeroLengthFilesLeaveTheBarAtZeroAndASecondBatchStartsAtZero) {
    runToCard({hostFile("big.nds", 0x80000, 1)});
    EXPECT_EQ(form.suiProgressBar1->value(), 100);

    runToCard({hostFile("empty1", 0, 2), hostFile("empty2", 0, 3)});
    EXPECT_EQ(form.percentDone, 0.0f);
    EXPECT_EQ(form.suiProgressBar1->value(), 0);
    EXPECT_TRUE(testcards::card_has(DRIVE, "empty1"));
    EXPECT_TRUE(testcards::read_card_file(DRIVE, "empty2").empty());
    EXPECT_EQ(failureBoxes(), 0u);
}

TEST_F(CopyWindow, AMissingHostFolderEndsTheBatchAtOnceWithoutAWord) {
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "x.nds", pattern_bytes(1000, 1)));
    runToHost({"x.nds"}, dir.file("gone"));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone")));
    expectIdle();
    // Its jobs are not copied by the next batch.
    std::filesystem::create_directory(dir.file("out"));
    runToHost({}, dir.file("out"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("out")));
}

TEST_F(CopyWindow, ReportsWithoutABatchAreIgnored) {
    form.percentDone = 12.5f;
    TForm3::OnCopyProgress(&form, 4096);   // totalBytes is 0: no division
    EXPECT_EQ(form.percentDone, 12.5f);
    // The slot keeps pointing at the window after a batch; a later copy on the GUI
    // thread (a maintenance command) reports to the hidden window harmlessly.
    runToCard({hostFile("a.nds", 1000, 1)});
    const float after = form.percentDone;
    ASSERT_TRUE(copy_win_to_ob(hostFile("menu.nds", 0x80000, 2), DRIVE));
    EXPECT_EQ(form.percentDone, after);
}

TEST_F(CopyWindow, CancelStopsInTheMiddleOfALargeFileAndRemovesThePartialFile) {
    // 256 KiB, then 8 MiB: the cancel comes with the write that reaches the 40th
    // cluster of the large file.
    const std::string small = hostFile("small.nds", 2 * CLUSTER, 1);
    const std::string large = hostFile("large.nds", 64 * CLUSTER, 2);
    const std::string later = hostFile("later.nds", CLUSTER, 3);
    int clusters_written = 0;
    int clusters_after_cancel = -1;
    bool busy_during_batch = false;
    hookCard([&](bool write, uint64_t, uint32_t length) {
        if (!write || length < CLUSTER) return;
        const int before = clusters_written;
        clusters_written += int(length / CLUSTER);
        if (clusters_after_cancel >= 0) clusters_after_cancel += int(length / CLUSTER);
        if (before < 2 + 40 && clusters_written >= 2 + 40) {
            on_gui_thread([&] {
                busy_during_batch = volume_busy();
                form.Button1->click();
            });
            clusters_after_cancel = 0;
        }
    });
    runToCard({small, large, later});

    EXPECT_TRUE(busy_during_batch);
    EXPECT_EQ(failureBoxes(), 0u);
    EXPECT_EQ(form.running, 0);
    // It stopped at the end of the chunk in progress (8 clusters), not at the file's end.
    EXPECT_GE(clusters_after_cancel, 0);
    EXPECT_LT(clusters_after_cancel, 8);
    EXPECT_EQ(read_card_file(DRIVE, "small.nds"), read_host_file(small));
    EXPECT_FALSE(testcards::card_has(DRIVE, "large.nds"));
    EXPECT_FALSE(testcards::card_has(DRIVE, "later.nds"));
    const CardCheckReport check = check_card(DRIVE, false);
    EXPECT_TRUE(check.clean()) << (check.problems.empty() ? "" : check.problems[0]);
    expectIdle();
}

TEST_F(CopyWindow, CancelOnTheWayToTheHostRemovesThePartialHostFile) {
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "first.nds", pattern_bytes(CLUSTER, 1)));
    ASSERT_TRUE(testcards::put_card_file(DRIVE, "large.nds", pattern_bytes(64 * CLUSTER, 2)));
    std::filesystem::create_directory(dir.file("out"));
    int cluster_reads = 0;
    hookCard([&](bool write, uint64_t, uint32_t length) {
        if (write || length < CLUSTER) return;
        const int before = cluster_reads;
        cluster_reads += int(length / CLUSTER);
        if (before < 1 + 24 && cluster_reads >= 1 + 24) on_gui_thread([&] { form.Button1->click(); });
    });
    runToHost({"first.nds", "large.nds"}, dir.file("out"));
    EXPECT_EQ(read_host_file(dir.file("out/first.nds")), pattern_bytes(CLUSTER, 1));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/large.nds")));
    EXPECT_LT(cluster_reads, 1 + 24 + 16 + 1);   // at most the 2 MiB chunk in progress
    EXPECT_EQ(failureBoxes(), 0u);
    expectIdle();
}

TEST_F(CopyWindow, TheCloseBoxCancelsAndTheWindowStaysUntilTheWorkerHasEnded) {
    const std::string large = hostFile("large.nds", 32 * CLUSTER, 1);
    int clusters_written = 0;
    bool visible_after_close = false;
    bool busy_after_close = false;
    hookCard([&](bool write, uint64_t, uint32_t length) {
        if (!write || length < CLUSTER) return;
        const int before = clusters_written;
        clusters_written += int(length / CLUSTER);
        if (before >= 16 || clusters_written < 16) return;
        on_gui_thread([&] {
            form.close();
            visible_after_close = form.isVisible();
            busy_after_close = volume_busy();
        });
        QThread::msleep(150);   // a timer tick or more passes while the worker still runs
    });
    runToCard({large});
    EXPECT_TRUE(visible_after_close);
    EXPECT_TRUE(busy_after_close);
    EXPECT_FALSE(testcards::card_has(DRIVE, "large.nds"));
    EXPECT_EQ(failureBoxes(), 0u);
    expectIdle();
}

TEST_F(CopyWindow, RenderedMidBatch) {
    // Set OB_SHOT_DIR to keep the picture of the window in the middle of a batch.
    const std::string large = hostFile("another-game.nds", 32 * CLUSTER, 1);
    QImage shot;
    int cluster_writes = 0;
    hookCard([&](bool write, uint64_t, uint32_t length) {
        if (!write || length < CLUSTER) return;
        const int before = cluster_writes;
        cluster_writes += int(length / CLUSTER);
        if (before >= 14 || cluster_writes < 14) return;
        on_gui_thread([&] {
            QCoreApplication::sendPostedEvents(&form, QEvent::MetaCall);
            shot = form.grab().toImage();
        });
    });
    runToCard({large});
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(411, 121) * shot.devicePixelRatio());
    if (const char* out = std::getenv("OB_SHOT_DIR")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(out) + "/copying-window.png", "PNG"));
    }
}
