#include "device/disk_info.h"
#include "device/drive_layer.h"
#include "testing/fake_drive.h"
#include "device/image_source.h"
#include "obfs/superblock.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using namespace drive_layer;

namespace {

std::string text_at_field(const std::vector<uint8_t>& d, size_t field) {
    const uint32_t offset = get_le32(d.data() + field);
    if (offset == 0) return "<absent>";
    return std::string(reinterpret_cast<const char*>(d.data() + offset));
}

// The identity the probe makes of a descriptor.
std::string probed_identity(std::vector<uint8_t> descriptor, std::string* serial = nullptr) {
    auto fake = std::make_shared<FakeDrive>(1 << 20);
    fake->set_descriptor(std::move(descriptor));
    drive_table().attach(9, fake);
    c_disk_info info;
    EXPECT_TRUE(info.probe(9));
    drive_table().detach(9);
    if (serial) *serial = info.serial;
    return info.identity;
}

}  // namespace

TEST(DriveLayer, GeometryMultipliesOutToTheCapacity) {
    const DiskGeometry g = geometry_for_capacity(0x540000000ULL, MEDIA_REMOVABLE);
    EXPECT_EQ(g.media_type, MEDIA_REMOVABLE);
    EXPECT_EQ(uint64_t(g.cylinders) * g.tracks_per_cylinder * g.sectors_per_track * g.bytes_per_sector,
              0x540000000ULL);
    // A trailing partial sector is not addressable and is left out.
    const DiskGeometry odd = geometry_for_capacity(1000, MEDIA_FIXED);
    EXPECT_EQ(uint64_t(odd.cylinders) * odd.bytes_per_sector, 512u);
}

TEST(DriveLayer, DescriptorLayout) {
    const std::string vendor = "Generic-", product = "SD/MMC", serial = "000000001";
    const auto d = make_descriptor(&vendor, &product, nullptr, true);
    ASSERT_GE(d.size(), DESCRIPTOR_HEADER_BYTES);
    EXPECT_EQ(get_le32(d.data() + 4), d.size());        // Size covers the strings
    EXPECT_EQ(d[10], 1);                                 // RemovableMedia
    EXPECT_EQ(get_le32(d.data() + 12), DESCRIPTOR_HEADER_BYTES);
    EXPECT_EQ(text_at_field(d, 12), "Generic-");
    EXPECT_EQ(text_at_field(d, 16), "SD/MMC");
    EXPECT_EQ(text_at_field(d, 20), "<absent>");         // product revision
    EXPECT_EQ(text_at_field(d, 24), "<absent>");         // no serial given
    const auto fixed = make_descriptor(nullptr, nullptr, &serial, false);
    EXPECT_EQ(fixed[10], 0);
    EXPECT_EQ(text_at_field(fixed, 12), "<absent>");
    EXPECT_EQ(text_at_field(fixed, 24), "000000001");
}

TEST(DriveLayer, IdentityDescriptorReadsAsVendorSpaceProduct) {
    std::string serial;
    EXPECT_EQ(probed_identity(make_identity_descriptor("Generic", "SD Reader", "123", true), &serial),
              "Generic SD Reader");
    EXPECT_EQ(serial, "123");
    EXPECT_EQ(probed_identity(make_identity_descriptor("", "loop3", "", true)), "loop3");
    EXPECT_EQ(probed_identity(make_identity_descriptor("ATA", "", "", true)), "ATA ");
}

TEST(DriveLayer, ParseDriveOption) {
    unsigned n = 0;
    std::string path, error;
    ASSERT_TRUE(parse_drive_option("3=/tmp/card.img", &n, &path, &error));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(path, "/tmp/card.img");
    ASSERT_TRUE(parse_drive_option("15=a=b", &n, &path, &error));  // only the first '=' splits
    EXPECT_EQ(n, 15u);
    EXPECT_EQ(path, "a=b");
    for (const char* bad : {"0=/dev/sdb", "16=x", "x=y", "=x", "3=", "3", "", "-1=x", "007=x", " 3=x"}) {
        error.clear();
        EXPECT_FALSE(parse_drive_option(bad, &n, &path, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(DriveLayer, TableAttachDetachAndRange) {
    DriveTable table;
    auto fake = std::make_shared<FakeDrive>(1 << 20);
    EXPECT_TRUE(table.attach(15, fake));
    EXPECT_FALSE(table.attach(16, fake));
    EXPECT_EQ(table.source(15), fake);
    EXPECT_EQ(table.source(16), nullptr);
    table.detach(15);
    EXPECT_EQ(table.source(15), nullptr);
    table.attach(4, fake);
    table.clear();
    EXPECT_EQ(table.source(4), nullptr);
    // The process-wide table opens through its sources.
    drive_table().attach(12, fake);
    EXPECT_NE(open_drive(12, READ, true), nullptr);
    drive_table().detach(12);
    EXPECT_EQ(open_drive(12, READ, true), nullptr);
    EXPECT_EQ(open_drive(99, READ, true), nullptr);
}

TEST(DriveLayer, AttachPathPicksTheSourceAndReportsUnusablePaths) {
    testcards::TempDir dir;
    const std::string image = dir.file("card.img");
    testcards::write_host_file(image, std::vector<uint8_t>(4096, 0));
    DriveTable table;
    std::string error;
    ASSERT_TRUE(table.attach_path(2, image, &error)) << error;
    EXPECT_NE(dynamic_cast<ImageSource*>(table.source(2).get()), nullptr);
    EXPECT_EQ(table.source(2)->describe(), image);

    auto refused = [&](const std::string& path) {
        error.clear();
        const bool ok = table.attach_path(5, path, &error);
        EXPECT_EQ(table.source(5), nullptr) << path;
        return !ok && !error.empty();
    };
    EXPECT_TRUE(refused(dir.file("missing.img")));
    EXPECT_TRUE(refused(dir.path()));     // a folder
    EXPECT_TRUE(refused(""));
    EXPECT_FALSE(table.attach_path(16, image, &error));
}
