// How soon the main window's drive list shows a card that arrives and drops one that
// leaves: a loop device stands for a card reader (attached as drive 1 while it holds
// no medium), and binding an image file to it is the card going in, unbinding it the
// card coming out. Measured with the drive watch hearing the host's block-device
// events, then with the once-a-second poll, side by side in one run: the time from
// the bind (or unbind) to the refreshed list, per round, and the median.
//
//   drive_watch_qt [ROUNDS]     (root, with udev running for the event figures;
//                                scripts/udisks-stack.sh start starts it)
#include "app/forms_qt.h"
#include "app/mainDlg.h"
#include "device/drive_change_notifier.h"
#include "device/drive_layer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Runs the event loop until the list has `entries` entries; the milliseconds it took,
// or -1 after `limit_ms`.
double wait_for_entries(int entries, const QElapsedTimer& since, int limit_ms) {
    while (Form1->RzImageComboBox1->count() != entries) {
        if (since.elapsed() > limit_ms) return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return since.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    if (::geteuid() != 0) {
        std::printf("drive_watch: needs root for a loop device\n");
        return 0;
    }
    const std::string image = "/tmp/drive_watch_bench.img";
    {
        const int fd = ::open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::ftruncate(fd, 64 << 20) != 0) return 1;
        ::close(fd);
    }
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int n = control < 0 ? -1 : ::ioctl(control, LOOP_CTL_GET_FREE);
    if (n < 0) {
        std::printf("drive_watch: no loop device here\n");
        return 0;
    }
    const std::string loop = "/dev/loop" + std::to_string(n);
    const int loop_fd = ::open(loop.c_str(), O_RDWR | O_CLOEXEC);
    if (loop_fd < 0) return 1;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    drive_layer::drive_table().clear();
    std::string error;
    if (!drive_layer::drive_table().attach_path(1, loop, &error)) {
        std::printf("drive_watch: %s\n", error.c_str());
        return 1;
    }
    for (const bool hearing : {true, false}) {
        create_forms();
        const char* mode = hearing ? "events" : "poll";
        if (hearing) {
            auto notifier = make_drive_change_notifier();
            if (!notifier) {
                std::printf("drive_watch events: no udev running, no figures\n");
                destroy_forms();
                continue;
            }
            Form1->listenForDriveChanges(std::move(notifier));
        }
        Form1->RefreshDriveList();
        std::vector<double> arrive, leave;
        for (int r = 0; r < rounds; ++r) {
            const int backing = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
            QElapsedTimer clock;
            clock.start();
            if (::ioctl(loop_fd, LOOP_SET_FD, backing) != 0) return 1;
            ::close(backing);
            arrive.push_back(wait_for_entries(1, clock, 5000));
            clock.restart();
            if (::ioctl(loop_fd, LOOP_CLR_FD, 0) != 0) return 1;
            leave.push_back(wait_for_entries(0, clock, 5000));
            std::printf("drive_watch %s round %d: arrives %.0f ms, leaves %.0f ms\n", mode, r + 1, arrive.back(),
                        leave.back());
        }
        std::printf("drive_watch %s median: arrives %.0f ms, leaves %.0f ms (%d rounds)\n", mode, median(arrive),
                    median(leave), rounds);
        destroy_forms();
    }
    ::close(loop_fd);
    ::close(control);
    ::unlink(image.c_str());
    return 0;
}
