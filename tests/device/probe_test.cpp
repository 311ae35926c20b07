// The drive probe: which drives may be cards, and what it reads of their identity.
#include "device/disk_info.h"
#include "testing/fake_drive.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;
using drive_layer::make_descriptor;

namespace {

std::shared_ptr<FakeDrive> attach(unsigned n, uint64_t capacity, uint32_t media = drive_layer::MEDIA_REMOVABLE) {
    auto d = std::make_shared<FakeDrive>(capacity, media);
    drive_layer::drive_table().attach(n, d);
    return d;
}

class ProbeTest : public ::testing::Test {
protected:
    void TearDown() override { drive_layer::drive_table().clear(); }
};

TEST_F(ProbeTest, AcceptsOnlyRemovableMediaUpTo21GiB) {
    c_disk_info info;
    attach(2, MAX_CARD_CAPACITY);
    EXPECT_TRUE(info.probe(2));
    EXPECT_EQ(info.drive, 2);
    EXPECT_EQ(info.capacity, MAX_CARD_CAPACITY);
    EXPECT_EQ(info.media_type, 11u);

    attach(2, MAX_CARD_CAPACITY + 512);
    EXPECT_FALSE(info.probe(2));
    EXPECT_EQ(info.drive, 255);
    EXPECT_EQ(info.capacity, 0u);

    attach(3, 1 << 30, drive_layer::MEDIA_FIXED);
    EXPECT_FALSE(info.probe(3));
    attach(3, 1 << 30, drive_layer::MEDIA_UNKNOWN);
    EXPECT_FALSE(info.probe(3));
    EXPECT_FALSE(info.probe(9));  // nothing attached
    EXPECT_EQ(info.drive, 255);
}

TEST_F(ProbeTest, RefusedWhenARequestFails) {
    c_disk_info info;
    auto d = attach(1, 1 << 30);
    d->set_geometry_fails(true);  // a reader without a card
    EXPECT_FALSE(info.probe(1));
    d->set_geometry_fails(false);
    d->set_descriptor_fails(true);
    EXPECT_FALSE(info.probe(1));
    d->set_descriptor_fails(false);
    d->set_open_fails(true);
    EXPECT_FALSE(info.probe(1));
    d->set_open_fails(false);
    EXPECT_TRUE(info.probe(1));
}

TEST_F(ProbeTest, IdentityIsVendorLessTwoCharactersThenProduct) {
    c_disk_info info;
    auto d = attach(1, 1 << 30);
    std::string vendor = "Generic ", product = "SD/MMC Reader", serial = "0123";
    d->set_descriptor(make_descriptor(&vendor, &product, &serial, true));
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "GeneriSD/MMC Reader");
    EXPECT_EQ(info.serial, "0123");

    std::string spaced = "AB    xy";  // trailing spaces beyond the last two stay
    d->set_descriptor(make_descriptor(&spaced, &product, nullptr, true));
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "AB    SD/MMC Reader");

    d->set_descriptor(make_descriptor(nullptr, &product, nullptr, true));
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "SD/MMC Reader");

    d->set_descriptor(make_descriptor(&vendor, nullptr, nullptr, true));
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "Generi");

    std::string two = "ab";
    d->set_descriptor(make_descriptor(&two, nullptr, nullptr, true));
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "");
}

TEST_F(ProbeTest, DescriptorOffsetsOutsideTheReturnedBytesAreAbsent) {
    c_disk_info info;
    auto d = attach(1, 1 << 30);
    std::string product = "Card";
    auto bytes = make_descriptor(nullptr, &product, nullptr, true);
    bytes[12] = 0xF0;  // vendor offset far past the end
    bytes[13] = 0x01;
    bytes.push_back('Z');  // product text without its terminator: ends at the returned bytes
    bytes[bytes.size() - 2] = 'X';
    d->set_descriptor(bytes);
    ASSERT_TRUE(info.probe(1));
    EXPECT_EQ(info.identity, "CardXZ");
}

}  // namespace
