#include "views/drive_caption.h"
#include "device/disk_info.h"

#include <gtest/gtest.h>

namespace {

c_disk_info record(uint8_t drive, uint64_t capacity, const std::string& identity, uint32_t media_type = 11) {
    c_disk_info info;
    info.drive = drive;
    info.capacity = capacity;
    info.identity = identity;
    info.media_type = media_type;
    return info;
}

}  // namespace

TEST(DriveCaption, SizeFieldIsFiveWideTruncatedMiB) {
    EXPECT_EQ(drive_caption(record(1, 1015808000, "Generic SD/MMC")),
              "1 -   968 MB, Generic SD/MMC           Removable Disk");
    EXPECT_EQ(drive_caption(record(3, 1048576, "x")), "3 -     1 MB, x                        Removable Disk");
    EXPECT_EQ(drive_caption(record(2, 1048575, "x")).substr(0, 13), "2 -     0 MB,");
    // Wider when the number needs it; 64-bit sizes print whole.
    EXPECT_EQ(drive_caption(record(15, 1ULL << 40, "x")).substr(0, 16), "15 - 1048576 MB,");
}

TEST(DriveCaption, IdentityIsPaddedTo24AndNeverCut) {
    const std::string longer = "A very long vendor and product text";
    EXPECT_EQ(drive_caption(record(0, 0, longer)), "0 -     0 MB, " + longer + " Removable Disk");
    EXPECT_EQ(drive_caption(record(0, 0, "")), "0 -     0 MB,                          Removable Disk");
}

TEST(DriveCaption, MediaTypeTexts) {
    EXPECT_STREQ(DriveTypeText(0), "Unknown");
    EXPECT_STREQ(DriveTypeText(11), "Removable Disk");
    EXPECT_STREQ(DriveTypeText(12), "Hard Disk");
    EXPECT_STREQ(DriveTypeText(1), "Floppy Disk");
    EXPECT_STREQ(DriveTypeText(0xFFFFFFFFu), "Floppy Disk");
}
