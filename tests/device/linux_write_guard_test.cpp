// Write opens of Linux block devices: a system disk is refused, a disk with mounted
// file systems is refused or unmounted as the policy says (asking with No as the
// default in the window), and a disk held exclusively elsewhere is refused as busy.
#include "device/drive_messages.h"
#include "device/drive_refusal.h"
#include "device/linux_block_source.h"
#include "support/fake_host_tree.h"
#include "support/loop_device.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/mount.h>
#include <unistd.h>

using namespace drive_layer;
using namespace testcards;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct PolicyScope {
    explicit PolicyScope(UnmountPolicy p, const std::string& hint = {}) { set_unmount_policy(p, hint); }
    ~PolicyScope() { set_unmount_policy(UnmountPolicy::Refuse); }
};

// A loop device with an ext4 file system on it, mounted.
class MountedLoop : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = LoopDevice::unavailable_reason();
        if (!why.empty()) GTEST_SKIP() << why;
        if (::access("/usr/sbin/mkfs.ext4", X_OK) != 0) GTEST_SKIP() << "mkfs.ext4 is not installed";
        image_ = dir_.file("card.img");
        write_host_file(image_, {});
        ASSERT_EQ(::truncate(image_.c_str(), off_t(32 << 20)), 0);
        loop_ = std::make_unique<LoopDevice>(image_);
        if (!loop_->ok()) GTEST_SKIP() << "no loop device: " << loop_->error();
        ASSERT_EQ(std::system(("mkfs.ext4 -q -F " + loop_->path() + " >/dev/null 2>&1").c_str()), 0);
        point_ = dir_.file("card");
        std::filesystem::create_directory(point_);
        ASSERT_EQ(::mount(loop_->path().c_str(), point_.c_str(), "ext4", 0, nullptr), 0) << std::strerror(errno);
    }
    void TearDown() override {
        if (loop_ && loop_->ok()) ::umount2(point_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return std::system(("mountpoint -q '" + point_ + "'").c_str()) == 0; }

    TempDir dir_;
    std::string image_, point_;
    std::unique_ptr<LoopDevice> loop_;
};

}  // namespace

TEST(WriteGuard, ASystemDiskIsRefusedWithoutTouchingIt) {
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.partition("sda", "sda1", "8:1");
    h.mountinfo(mount_line(1, "8:1", "/", "ext4", "/dev/sda1"));
    HostTreeScope scope(h.root());
    RecordingSink sink;
    // The node does not exist: the refusal comes before any open.
    LinuxBlockSource source(h.root() + "/dev/sda", "sda", true);
    EXPECT_EQ(source.open(READ_WRITE, false), nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(contains(sink.messages[0].text, "系统盘")) << sink.messages[0].text;
    EXPECT_EQ(last_open_refusal().problem, OpenProblem::SystemDisk);
}

TEST_F(MountedLoop, RefusedNamingTheMountPointsWithTheHint) {
    PolicyScope policy(UnmountPolicy::Refuse, drive_msg::CLI_UNMOUNT_HINT);
    RecordingSink sink;
    LinuxBlockSource source(loop_->path(), loop_->name(), true);
    EXPECT_NE(source.open(READ, false), nullptr) << "reading stays possible";
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(source.open(READ_WRITE, false), nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_TRUE(contains(sink.messages[0].text, point_)) << sink.messages[0].text;
    EXPECT_TRUE(contains(sink.messages[0].text, "--unmount")) << sink.messages[0].text;
    EXPECT_EQ(last_open_refusal().mount_points, std::vector<std::string>{point_});
    EXPECT_TRUE(mounted());
}

TEST_F(MountedLoop, TheWindowAsksAndUnmountsOnlyOnYes) {
    PolicyScope policy(UnmountPolicy::Ask);
    LinuxBlockSource source(loop_->path(), loop_->name(), true);
    {
        RecordingSink sink(MsgResult::No);
        EXPECT_EQ(source.open(READ_WRITE, false), nullptr);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
        EXPECT_TRUE(contains(sink.messages[0].text, point_));
        EXPECT_TRUE(mounted());
    }
    RecordingSink sink(MsgResult::Yes);
    auto handle = source.open(READ_WRITE, false);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(mounted());
    ASSERT_EQ(sink.messages.size(), 2u);  // the question, then what was unmounted
    EXPECT_EQ(sink.messages[1].icon, MsgIcon::Information);
    EXPECT_TRUE(contains(sink.messages[1].text, point_));
    // While the handle holds the disk nothing mounts it.
    EXPECT_NE(::mount(loop_->path().c_str(), point_.c_str(), "ext4", 0, nullptr), 0);
    EXPECT_EQ(errno, EBUSY);
    // A second write handle of the same process opens within the first one's claim.
    EXPECT_NE(source.open(READ_WRITE, true), nullptr);
}

TEST_F(MountedLoop, ADiskHeldExclusivelyElsewhereIsBusy) {
    ASSERT_EQ(::umount2(point_.c_str(), 0), 0);
    const int other = ::open(loop_->path().c_str(), O_RDWR | O_EXCL | O_CLOEXEC);
    ASSERT_GE(other, 0);
    RecordingSink sink;
    LinuxBlockSource source(loop_->path(), loop_->name(), true);
    EXPECT_EQ(source.open(READ_WRITE, false), nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(last_open_refusal().problem, OpenProblem::Busy);
    EXPECT_TRUE(contains(sink.messages[0].text, "正被其他程序使用"));
    ::close(other);
    EXPECT_NE(source.open(READ_WRITE, false), nullptr);
}
