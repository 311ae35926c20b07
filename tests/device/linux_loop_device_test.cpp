// Through a real Linux block device: a loop device over an image file.
#include "device/disk_info.h"
#include "device/drive_change_notifier.h"
#include "device/fd_drive_handle.h"
#include "device/linux_block_source.h"
#include "device/sector_io.h"
#include "support/loop_device.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace drive_layer;

namespace {

constexpr uint64_t MiB = 1 << 20;
constexpr unsigned LOOP_DRIVE = 11;

class LoopDrive : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = testcards::LoopDevice::unavailable_reason();
        if (!why.empty()) GTEST_SKIP() << why;
        image_ = dir_.file("card.img");
        testcards::write_host_file(image_, {});
        ASSERT_EQ(::truncate(image_.c_str(), off_t(16 * MiB)), 0);
        loop_ = std::make_unique<testcards::LoopDevice>(image_);
        if (!loop_->ok()) GTEST_SKIP() << "no loop device: " << loop_->error();
        std::string error;
        ASSERT_TRUE(drive_table().attach_path(LOOP_DRIVE, loop_->path(), &error)) << error;
    }
    void TearDown() override {
        disk_close();
        drive_table().detach(LOOP_DRIVE);
    }

    testcards::TempDir dir_;
    std::string image_;
    std::unique_ptr<testcards::LoopDevice> loop_;
};

}  // namespace

TEST_F(LoopDrive, AttachedBlockDeviceProbesAsRemovable) {
    ASSERT_NE(dynamic_cast<LinuxBlockSource*>(drive_table().source(LOOP_DRIVE).get()), nullptr);
    c_disk_info info;
    ASSERT_TRUE(info.probe(LOOP_DRIVE));
    EXPECT_EQ(info.capacity, 16 * MiB);  // measured by the device itself
    EXPECT_EQ(info.media_type, MEDIA_REMOVABLE);
    EXPECT_EQ(info.identity, loop_->name());  // no vendor or model in sysfs for a loop device
}

TEST_F(LoopDrive, ItsStateTellsMountsAndTheReadOnlySwitch) {
    const auto source = drive_table().source(LOOP_DRIVE);
    DriveState state = source->state();
    ASSERT_TRUE(state.mount_points && state.read_only);
    EXPECT_TRUE(state.mount_points->empty());
    EXPECT_FALSE(*state.read_only);
    // A card reader reports a card's lock switch as a read-only disk.
    const int fd = ::open(loop_->path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int on = 1;
    ASSERT_EQ(::ioctl(fd, BLKROSET, &on), 0);
    state = source->state();
    on = 0;
    ::ioctl(fd, BLKROSET, &on);
    ::close(fd);
    EXPECT_EQ(state.read_only, true);
}

TEST(LoopDriveNews, ALoopDeviceThatAppearsIsHeardOf) {
    const std::string why = testcards::LoopDevice::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;
    auto notifier = make_drive_change_notifier();
    if (!notifier) GTEST_SKIP() << "no udev running here (scripts/udisks-stack.sh starts one): the watch polls";
    ASSERT_GE(notifier->descriptor(), 0);
    notifier->take_changes();
    testcards::TempDir dir;
    const std::string image = dir.file("card.img");
    testcards::write_host_file(image, std::vector<uint8_t>(1 * MiB));
    testcards::LoopDevice loop(image);
    if (!loop.ok()) GTEST_SKIP() << "no loop device: " << loop.error();
    bool heard = false;
    for (int waited = 0; waited < 10000 && !heard; waited += 100) {
        pollfd p{notifier->descriptor(), POLLIN, 0};
        ::poll(&p, 1, 100);
        heard = notifier->take_changes();
    }
    EXPECT_TRUE(heard) << "no event for " << loop.path();
}

TEST_F(LoopDrive, NeverListedAmongTheSystemDrives) {
    const auto disks = system_disk_names();
    EXPECT_EQ(std::find(disks.begin(), disks.end(), loop_->name()), disks.end());
}

TEST_F(LoopDrive, SectorsReachTheImageFile) {
    ASSERT_TRUE(disk_open(LOOP_DRIVE));
    EXPECT_EQ(disk_get_size(), 16 * MiB);
    const auto cluster = testcards::pattern_bytes(131072, 21);
    ASSERT_TRUE(disk_write_sectors(256, 0, cluster.data()));
    uint8_t sector[512];
    ASSERT_TRUE(disk_read_sector(256 + 17, sector));
    EXPECT_TRUE(std::equal(sector, sector + 512, cluster.begin() + 17 * 512));
    ASSERT_TRUE(disk_flush());
    disk_close();
    const auto bytes = testcards::read_host_file(image_);
    ASSERT_EQ(bytes.size(), 16 * MiB);
    EXPECT_TRUE(std::equal(cluster.begin(), cluster.end(), bytes.begin() + 256 * 512));
}

TEST_F(LoopDrive, DirectTransfersOfAnyShapeAndTheEndOfTheDevice) {
    auto h = open_drive(LOOP_DRIVE, READ_WRITE, true);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(static_cast<FdDriveHandle&>(*h).direct());
    const auto data = testcards::pattern_bytes(5000, 4);
    std::vector<uint8_t> storage(5008);
    std::copy(data.begin(), data.end(), storage.begin() + 3);
    uint32_t done = 0;
    ASSERT_TRUE(h->seek(777));
    ASSERT_TRUE(h->write(storage.data() + 3, 5000, &done));
    EXPECT_EQ(done, 5000u);
    std::vector<uint8_t> back(5000);
    ASSERT_TRUE(h->seek(777));
    ASSERT_TRUE(h->read(back.data(), 5000, &done));
    EXPECT_EQ(back, data);

    // The end of the device: a read across it moves what exists, a write fails.
    ASSERT_TRUE(h->seek(16 * MiB - 512));
    ASSERT_TRUE(h->read(back.data(), 1024, &done));
    EXPECT_EQ(done, 512u);
    ASSERT_TRUE(h->seek(16 * MiB));
    EXPECT_FALSE(h->write(data.data(), 512, &done));
    EXPECT_EQ(done, 0u);
    ASSERT_TRUE(h->flush());
    h.reset();
    const auto bytes = testcards::read_host_file(image_);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 777));
    EXPECT_EQ(bytes[776], 0);
    EXPECT_EQ(bytes[777 + 5000], 0);
}
