// How soon the drive list learns of a card that arrives or leaves: a loop device
// stands for a card reader (attached as drive 1 while it holds no medium), binding an
// image file to it is the card going in, unbinding it the card coming out. Measured
// with the host's block-device events (the drive change notifier) and with the
// once-a-second poll the window falls back on, side by side in one run: the time from
// the bind (or unbind) until the drive list, made afresh, shows the change. The window
// waits 150 ms after the first news before it looks (news of one card comes in
// several events); add that to the event figures.
//
//   drive_watch [ROUNDS]     (root; the event figures need udev running:
//                             scripts/udisks-stack.sh start starts it)
#include "device/drive_change_notifier.h"
#include "device/drive_layer.h"
#include "views/drive_list.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int POLL_MS = 1000;   // Timer1's interval
constexpr int LIMIT_MS = 5000;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Events: waits for news, then lists the drives; until the list has `entries`.
double heard_after(DriveChangeNotifier& notifier, size_t entries, Clock::time_point since) {
    while (ms_since(since) < LIMIT_MS) {
        pollfd p{notifier.descriptor(), POLLIN, 0};
        ::poll(&p, 1, 50);
        if (notifier.take_changes() && list_card_drives().size() == entries) return ms_since(since);
    }
    return -1;
}

// The poll: a tick every POLL_MS, the first at `first_tick`; each counts the drives.
double polled_after(size_t entries, Clock::time_point since, Clock::time_point first_tick) {
    for (Clock::time_point tick = first_tick; ms_since(since) < LIMIT_MS; tick += std::chrono::milliseconds(POLL_MS)) {
        std::this_thread::sleep_until(tick);
        if (count_card_drives() == entries) return ms_since(since);
    }
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    if (::geteuid() != 0) {
        std::printf("drive_watch: needs root for a loop device\n");
        return 0;
    }
    const std::string image = "/tmp/drive_watch_bench.img";
    const int made = ::open(image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (made < 0 || ::ftruncate(made, 64 << 20) != 0) return 1;
    ::close(made);
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int n = control < 0 ? -1 : ::ioctl(control, LOOP_CTL_GET_FREE);
    const std::string loop = "/dev/loop" + std::to_string(n);
    if (n < 0) {
        std::printf("drive_watch: no loop device here\n");
        return 0;
    }
    drive_layer::drive_table().clear();
    std::string error;
    if (!drive_layer::drive_table().attach_path(1, loop, &error)) {
        std::printf("drive_watch: %s\n", error.c_str());
        return 1;
    }
    auto notifier = make_drive_change_notifier();
    if (!notifier) std::printf("drive_watch events: no udev running here, no figures\n");
    std::srand(unsigned(::getpid()));
    for (const bool events : {true, false}) {
        if (events && !notifier) continue;
        const char* mode = events ? "events" : "poll";
        std::vector<double> arrive, leave;
        for (int r = 0; r < rounds; ++r) {
            for (int change = 0; change < 2; ++change) {
                const bool in = change == 0;
                if (events) notifier->take_changes();
                // The poll's ticks fall anywhere within its second.
                const auto since = Clock::now();
                const auto first_tick = since + std::chrono::milliseconds(std::rand() % POLL_MS);
                // The device is opened for each change only: a clear waits for its last
                // user to close it.
                const int backing = in ? ::open(image.c_str(), O_RDWR | O_CLOEXEC) : -1;
                const int fd = ::open(loop.c_str(), O_RDWR | O_CLOEXEC);
                const bool done = fd >= 0 && ::ioctl(fd, in ? LOOP_SET_FD : LOOP_CLR_FD, in ? backing : 0) == 0;
                if (fd >= 0) ::close(fd);
                if (backing >= 0) ::close(backing);
                if (!done) return 1;
                const size_t entries = in ? 1 : 0;
                (in ? arrive : leave)
                    .push_back(events ? heard_after(*notifier, entries, since) : polled_after(entries, since, first_tick));
            }
            std::printf("drive_watch %s round %d: arrives %.0f ms, leaves %.0f ms\n", mode, r + 1, arrive.back(),
                        leave.back());
            // Let udev finish with the device before the next round.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        std::printf("drive_watch %s median of %d: arrives %.0f ms, leaves %.0f ms\n", mode, rounds, median(arrive),
                    median(leave));
    }
    ::close(control);
    ::unlink(image.c_str());
    return 0;
}
