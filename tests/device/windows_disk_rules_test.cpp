#include "device/drive_layer.h"
#include "device/windows_disk_rules.h"

#include <gtest/gtest.h>

using namespace drive_layer;

namespace {

std::vector<uint8_t> descriptor(bool removable, uint32_t bus) {
    std::vector<uint8_t> d = make_identity_descriptor("Generic", "Card Reader", "", removable);
    for (int i = 0; i < 4; ++i) d[28 + i] = uint8_t(bus >> (8 * i));
    return d;
}

constexpr uint32_t BUS_SATA = 0xB, BUS_NVME = 0x11;

}  // namespace

TEST(WindowsDiskRules, CardReadersCountAsRemovableWhateverTheirMediaBitSays) {
    EXPECT_EQ(windows_media_type(descriptor(true, BUS_SATA), 2, false, false), MEDIA_REMOVABLE);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_TYPE_USB), 2, false, false), MEDIA_REMOVABLE);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_TYPE_SD), 2, false, false), MEDIA_REMOVABLE);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_TYPE_MMC), 2, false, false), MEDIA_REMOVABLE);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_SATA), 2, false, false), MEDIA_FIXED);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_NVME), 2, false, false), MEDIA_FIXED);
    EXPECT_EQ(windows_media_type({}, 2, false, false), MEDIA_FIXED);  // no descriptor bytes at all
}

TEST(WindowsDiskRules, DriveZeroAndTheWindowsDiskAreNeverCards) {
    EXPECT_EQ(windows_media_type(descriptor(true, BUS_TYPE_USB), 0, false, false), MEDIA_FIXED);
    EXPECT_EQ(windows_media_type(descriptor(true, BUS_TYPE_USB), 3, true, false), MEDIA_FIXED);
    // Not even when the user attaches them by path.
    EXPECT_EQ(windows_media_type(descriptor(true, BUS_TYPE_USB), 0, false, true), MEDIA_FIXED);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_SATA), 4, true, true), MEDIA_FIXED);
    EXPECT_EQ(windows_media_type(descriptor(false, BUS_SATA), 4, false, true), MEDIA_REMOVABLE);
}

TEST(WindowsDiskRules, PhysicalDrivePathsNameTheirDiskNumber) {
    EXPECT_EQ(physical_drive_number("\\\\.\\PhysicalDrive3"), 3u);
    EXPECT_EQ(physical_drive_number("\\\\.\\PHYSICALDRIVE15"), 15u);
    EXPECT_EQ(physical_drive_number("//./physicaldrive0"), 0u);
    EXPECT_EQ(physical_drive_number(physical_drive_path(7)), 7u);
    EXPECT_EQ(physical_drive_number("\\\\.\\PhysicalDrive"), UNKNOWN_DISK);
    EXPECT_EQ(physical_drive_number("\\\\.\\PhysicalDrive1a"), UNKNOWN_DISK);
    EXPECT_EQ(physical_drive_number("\\\\.\\PhysicalDrive1234"), UNKNOWN_DISK);
    EXPECT_EQ(physical_drive_number("\\\\.\\D:"), UNKNOWN_DISK);
    EXPECT_EQ(physical_drive_number("card.img"), UNKNOWN_DISK);
}
