// obtool run by a user who may not open /dev nodes, against the real system services:
// the system bus, udev, polkit and udisks2 (scripts/udisks-stack.sh starts them
// without systemd). The card is a loop device over an image file; a polkit rule for
// this test's user only lets udisks2 open and unmount it without a password.
#include "device/linux_block_open.h"
#include "support/loop_device.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testcards::ToolResult;

namespace {

constexpr const char* TEST_USER = "obtest-udisks";
constexpr const char* RULE_FILE = "/etc/polkit-1/rules.d/49-orbelle-manager-test.rules";
constexpr const char* RULE =
    "// Left by Orbelle Manager's tests for their own user only; safe to delete.\n"
    "polkit.addRule(function(action, subject) {\n"
    "    if (subject.user == \"obtest-udisks\" &&\n"
    "        (action.id == \"org.freedesktop.udisks2.open-device\" ||\n"
    "         action.id == \"org.freedesktop.udisks2.open-device-system\" ||\n"
    "         action.id == \"org.freedesktop.udisks2.filesystem-unmount-others\"))\n"
    "        return polkit.Result.YES;\n"
    "});\n";
constexpr uint64_t MiB = 1 << 20;
// The ext4 partition lies in the card's data area, far past anything the tests write.
constexpr uint64_t PARTITION_START_SECTOR = 98304;   // 48 MiB
constexpr uint64_t PARTITION_SECTORS = 16384;        // 8 MiB

bool quiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Empty when the whole stack is here, else why the tests cannot run.
std::string missing_stack() {
    const std::string loop = testcards::LoopDevice::unavailable_reason();
    if (!loop.empty()) return loop;
    for (const char* tool : {"/usr/sbin/runuser", "/usr/sbin/useradd", "/usr/sbin/sfdisk", "/usr/bin/partx",
                             "/usr/sbin/mkfs.ext4", "/usr/bin/busctl"})
        if (::access(tool, X_OK) != 0) return std::string(tool) + " is not installed";
    if (!quiet("busctl --system status org.freedesktop.UDisks2"))
        return "udisks2 is not running on the system bus (scripts/udisks-stack.sh starts it; .ci/run does)";
    if (!quiet("busctl --system status org.freedesktop.PolicyKit1")) return "polkitd is not running on the system bus";
    if (!quiet("pgrep -x systemd-udevd")) return "systemd-udevd is not running: udisks2 would not see new devices";
    if (!quiet("id -u obtest-udisks") &&
        !quiet("useradd --system --no-create-home --shell /usr/sbin/nologin obtest-udisks"))
        return "cannot make the test user";
    return {};
}

class UdisksStack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        why_not_ = missing_stack();
        if (!why_not_.empty()) return;
        // Left in place afterwards: the tests run as parallel processes, and one that
        // ended must not take the rule away from another. It grants only the test user.
        if (::access(RULE_FILE, F_OK) != 0) {
            const std::string scratch = std::string(RULE_FILE) + "." + std::to_string(::getpid());
            std::ofstream(scratch) << RULE;
            std::rename(scratch.c_str(), RULE_FILE);
            ::sleep(1);  // polkitd reloads its rules when the folder changes
        }
    }

    void SetUp() override {
        if (!why_not_.empty()) GTEST_SKIP() << why_not_;
        // The user must reach the tool, its side files and the host files.
        fs::permissions(dir_.path(), fs::perms::all);
        tool_ = dir_.file("obtool");
        fs::copy_file(OB_TOOL_PATH, tool_);
        fs::permissions(tool_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        testcards::write_host_file(dir_.file("obmenu2.nds"), testcards::pattern_bytes(50000, 61));
        testcards::write_host_file(dir_.file("savelist.bin"), testcards::pattern_bytes(3000, 62));
        testcards::write_host_file(dir_.file("save_info.dat"), testcards::pattern_bytes(300, 63));
        image_ = dir_.file("card.img");
        testcards::write_host_file(image_, {});
        ASSERT_EQ(::truncate(image_.c_str(), off_t(64 * MiB)), 0);
    }
    void TearDown() override {
        if (!mount_point_.empty()) ::umount2(mount_point_.c_str(), MNT_DETACH);
        if (loop_ && loop_->ok()) quiet("partx -d " + loop_->path());
        loop_.reset();
    }

    void attach_loop() {
        loop_ = std::make_unique<testcards::LoopDevice>(image_);
        ASSERT_TRUE(loop_->ok()) << loop_->error();
        quiet("udevadm settle --timeout=20");  // udisks2 learns of the device from udev
    }

    // obtool as the test user, the loop device attached as drive 1 and selected.
    ToolResult as_user(const std::vector<std::string>& args, const std::string& env = {}) {
        std::vector<std::string> all{"-u", TEST_USER, "--", "env", "-C", dir_.path()};
        if (!env.empty()) all.push_back(env);
        all.push_back(tool_);
        all.push_back("--drive");
        all.push_back("1=" + loop_->path());
        all.push_back("-d");
        all.push_back("1");
        all.insert(all.end(), args.begin(), args.end());
        return testcards::run_tool("/usr/sbin/runuser", all);
    }

    std::string host_file(const std::string& name, size_t bytes, uint32_t seed) {
        const std::string path = dir_.file(name);
        testcards::write_host_file(path, testcards::pattern_bytes(bytes, seed));
        return path;
    }

    static std::string why_not_;
    testcards::TempDir dir_;
    std::string tool_, image_, mount_point_;
    std::unique_ptr<testcards::LoopDevice> loop_;
};

std::string UdisksStack::why_not_;

}  // namespace

TEST_F(UdisksStack, ListFormatPutGetAndRemoveAsAUserWithoutRootThroughUdisks) {
    attach_loop();
    ASSERT_NE(::access(loop_->path().c_str(), R_OK), -1);
    EXPECT_FALSE(quiet("/usr/sbin/runuser -u obtest-udisks -- test -r " + loop_->path()))
        << "the test user must not be able to open the node itself";

    ToolResult r = as_user({"drives"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 -    64 MB"), std::string::npos) << r.out;

    r = as_user({"-y", "format", "--model", "14"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("格式化完成"), std::string::npos) << r.out;

    const std::string source = host_file("game.nds", 3 * 131072 + 77, 5);
    r = as_user({"put", source});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = as_user({"ls"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("game.nds"), std::string::npos) << r.out;

    fs::create_directory(dir_.file("out"));
    fs::permissions(dir_.file("out"), fs::perms::all);
    r = as_user({"get", "-o", dir_.file("out"), "game.nds"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testcards::read_host_file(dir_.file("out/game.nds")), testcards::read_host_file(source));

    r = as_user({"rm", "game.nds"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    r = as_user({"ls"});
    EXPECT_EQ(r.out.find("game.nds"), std::string::npos) << r.out;
}

TEST_F(UdisksStack, AWriteToADiskWithAMountedPartitionIsRefusedUntilUnmount) {
    attach_loop();
    ASSERT_EQ(as_user({"-y", "format", "--model", "14"}).status, 0);
    // A partition table in sector 0 beside the volume's header, an ext4 file system in
    // the partition, mounted as the desktop would mount it.
    ASSERT_TRUE(quiet("echo 'start=" + std::to_string(PARTITION_START_SECTOR) + ", size=" +
                      std::to_string(PARTITION_SECTORS) + ", type=83' | sfdisk --no-reread --no-tell-kernel " +
                      loop_->path()));
    ASSERT_TRUE(quiet("partx -a " + loop_->path()));
    const std::string partition = loop_->path() + "p1";
    ASSERT_TRUE(quiet("mkfs.ext4 -q -F " + partition));
    mount_point_ = dir_.file("mounted here");
    fs::create_directory(mount_point_);
    ASSERT_EQ(::mount(partition.c_str(), mount_point_.c_str(), "ext4", 0, nullptr), 0) << std::strerror(errno);
    quiet("udevadm settle --timeout=20");
    // udisks2 takes in udev's news a little after udev has settled.
    const std::string resolve = "busctl --system call org.freedesktop.UDisks2 /org/freedesktop/UDisks2/Manager "
                                "org.freedesktop.UDisks2.Manager ResolveDevice 'a{sv}a{sv}' 1 path s " +
                                partition + " 0 | grep -q block_devices";
    for (int i = 0; i < 100 && !quiet(resolve); ++i) ::usleep(100000);
    ASSERT_TRUE(quiet(resolve)) << "udisks2 never learnt of " << partition;

    const std::string source = host_file("save.sav", 4096, 9);
    ToolResult r = as_user({"put", source});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(mount_point_), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--unmount"), std::string::npos) << r.err;
    EXPECT_EQ(as_user({"-y", "format", "--model", "14"}).status, 1) << "a format must be refused too";
    EXPECT_TRUE(quiet("mountpoint -q '" + mount_point_ + "'")) << "a refused write changes nothing";

    r = as_user({"--unmount", "put", source});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(mount_point_), std::string::npos) << "says what it unmounted: " << r.out;
    EXPECT_FALSE(quiet("mountpoint -q '" + mount_point_ + "'"));
    r = as_user({"ls"});
    EXPECT_NE(r.out.find("save.sav"), std::string::npos) << r.out << r.err;
}

TEST_F(UdisksStack, NothingMountsTheDiskWhileAWriteHandleHoldsIt) {
    attach_loop();
    ASSERT_TRUE(quiet("mkfs.ext4 -q -F " + loop_->path()));
    mount_point_ = dir_.file("mnt");
    fs::create_directory(mount_point_);
    // The descriptor udisks2 hands a user, opened as obtool opens it for a copy.
    bool direct = false;
    drive_layer::OpenRefusal refusal;
    const int fd = drive_layer::open_block_through_udisks(loop_->path(), drive_layer::READ_WRITE, false, true,
                                                          &direct, &refusal);
    ASSERT_GE(fd, 0) << refusal.detail;
    EXPECT_NE(::mount(loop_->path().c_str(), mount_point_.c_str(), "ext4", 0, nullptr), 0);
    EXPECT_EQ(errno, EBUSY);
    // A second exclusive open (another copy, another writer) is refused as busy.
    const int again = drive_layer::open_block_through_udisks(loop_->path(), drive_layer::READ_WRITE, false, true,
                                                             &direct, &refusal);
    EXPECT_LT(again, 0);
    EXPECT_EQ(refusal.problem, drive_layer::OpenProblem::Busy) << refusal.detail;
    ::close(fd);
    ASSERT_EQ(::mount(loop_->path().c_str(), mount_point_.c_str(), "ext4", 0, nullptr), 0) << std::strerror(errno);
    // And the other way round: a mounted disk does not open for writing.
    ToolResult r = as_user({"-y", "format", "--model", "14"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(mount_point_), std::string::npos) << r.err;
}

TEST_F(UdisksStack, ClearMessagesWhenNoAgentOrNoUdisksCanHelp) {
    attach_loop();
    // A user polkit gives nothing to without a password, and no agent to ask for one.
    ToolResult r = testcards::run_tool(
        "/usr/sbin/runuser", {"-u", "nobody", "--", tool_, "--drive", "1=" + loop_->path(), "-d", "1", "-y",
                              "format", "--model", "14"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("polkit 认证代理"), std::string::npos) << r.err;
    // No system bus to reach udisks2 on.
    r = as_user({"-y", "format", "--model", "14"}, "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("udisks2 服务不可用"), std::string::npos) << r.err;
}
