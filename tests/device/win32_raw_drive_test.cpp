// The Windows drive source on a raw device. Under wine the test script links a loop
// device as drive D: ($WINEPREFIX/dosdevices/d::) and names it in OB_WINE_RAW_DRIVE;
// wine answers no disk requests, so identity and size come from a stand-in here.
#include "device/disk_info.h"
#include "device/drive_layer.h"
#include "device/drive_refusal.h"
#include "device/sector_io.h"
#include "device/win32_disk_source.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace drive_layer;

namespace {

class StandInQueries : public DiskQueries {
public:
    uint64_t bytes = 0;
    bool volumes_known = true;
    std::vector<std::string> volumes;
    bool descriptor(host::Descriptor, std::vector<uint8_t>* out) override {
        *out = make_identity_descriptor("Stand", "In Reader", "S1", true);
        return true;
    }
    bool length(host::Descriptor, uint64_t* out) override {
        *out = bytes;
        return bytes > 0;
    }
    bool volumes_on_disk(uint32_t, std::vector<std::string>* out) override {
        *out = volumes;
        return volumes_known;
    }
    std::vector<uint32_t> system_disks() override { return {}; }
};

std::string raw_drive() {
    const char* path = std::getenv("OB_WINE_RAW_DRIVE");
    return path ? path : "";
}

}  // namespace

TEST(Win32DiskSource, WritesAndReadsARawDeviceSectorBySector) {
    const std::string path = raw_drive();
    if (path.empty()) GTEST_SKIP() << "no raw device: OB_WINE_RAW_DRIVE is set by scripts/windows-test.sh as root";
    auto queries = std::make_shared<StandInQueries>();
    queries->bytes = 64ull << 20;
    drive_table().attach(3, std::make_shared<Win32DiskSource>(path, 3, false, true, queries));
    c_disk_info info;
    ASSERT_TRUE(info.probe(3));
    EXPECT_EQ(info.identity, "Stand In Reader");
    EXPECT_EQ(info.capacity, 64ull << 20);
    ASSERT_TRUE(disk_open(3));
    const std::vector<uint8_t> bytes = testcards::pattern_bytes(3 * 512, 77);
    ASSERT_TRUE(disk_write_sectors(1000, 3, bytes.data()));
    ASSERT_TRUE(disk_flush());
    std::vector<uint8_t> back(3 * 512);
    ASSERT_TRUE(disk_read_sectors(1000, 3, back.data()));
    EXPECT_EQ(back, bytes);
    std::vector<uint8_t> one(512);
    ASSERT_TRUE(disk_read_sector(1001, one.data()));
    EXPECT_TRUE(std::equal(one.begin(), one.end(), bytes.begin() + 512));
    drive_table().detach(3);
}

TEST(Win32DiskSource, RefusesToWriteTheSystemDiskOrADiskWhoseVolumesWillNotLock) {
    auto queries = std::make_shared<StandInQueries>();
    queries->bytes = 64ull << 20;
    const std::string path = raw_drive().empty() ? std::string("\\\\.\\PhysicalDrive9") : raw_drive();
    Win32DiskSource drive_zero(path, 0, false, true, queries);
    EXPECT_EQ(drive_zero.open(READ_WRITE, true), nullptr);
    EXPECT_EQ(last_open_refusal().problem, OpenProblem::SystemDisk);
    Win32DiskSource system(path, 5, true, true, queries);
    clear_open_refusal();
    EXPECT_EQ(system.open(READ_WRITE, true), nullptr);
    EXPECT_EQ(last_open_refusal().problem, OpenProblem::SystemDisk);

    queries->volumes = {"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}"};
    drive_table().attach(4, std::make_shared<Win32DiskSource>(path, 4, false, true, queries));
    EXPECT_EQ(open_drive(4, READ_WRITE, true), nullptr);
    EXPECT_EQ(last_open_refusal().problem, OpenProblem::Failed);
    EXPECT_NE(last_open_refusal().detail.find("Volume{00000000"), std::string::npos) << last_open_refusal().detail;

    queries->volumes_known = false;
    EXPECT_EQ(open_drive(4, READ_WRITE, true), nullptr);
    EXPECT_NE(last_open_refusal().detail.find("cannot tell which volumes"), std::string::npos);
    drive_table().detach(4);
}
