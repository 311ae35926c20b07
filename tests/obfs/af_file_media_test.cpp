// The stream on real media: a card image file and the same image behind a loop device.
#include "device/drive_layer.h"
#include "testing/fake_drive.h"
#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/loop_device.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr uint32_t IMAGE_BYTES = 32u << 20;

// A sparse image file holding a blank volume.
void write_blank_image(const std::string& path) {
    drive_layer::FakeDrive staging(IMAGE_BYTES);
    testcards::write_blank_volume(staging, IMAGE_BYTES);
    const uint32_t areas = Superblock::layout_for(IMAGE_BYTES).data_start * 512;
    testcards::write_host_file(path, staging.peek(0, areas));
    std::filesystem::resize_file(path, IMAGE_BYTES);
}

// Writes, lists, appends, reads back and deletes on `drive`, remounting in between so
// every result comes from the medium.
void round_trip(unsigned drive) {
    const auto data = testcards::pattern_bytes(3 * OBFS_CLUSTER_BYTES + 999, 42);
    ASSERT_TRUE(volume().mount(uint8_t(drive)));
    {
        cAFFile f;
        ASSERT_TRUE(f.open("card.nds", "w+", uint32_t(data.size())));
        for (size_t at = 0; at < data.size(); at += 0x80000)
            ASSERT_GT(f.write(data.data() + at, uint32_t(std::min<size_t>(0x80000, data.size() - at))), 0u);
    }
    {
        cAFFile f;
        ASSERT_TRUE(f.open("card.nds", "a", 0));
        ASSERT_EQ(f.write("!", 1), 1u);
    }
    ASSERT_TRUE(volume().mount(uint8_t(drive)));
    AF_FIND_DATA_T rec;
    ASSERT_EQ(find_first(rec), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.name), "card.nds");
    EXPECT_EQ(rec.size, data.size() + 1);
    EXPECT_EQ(rec.last_cluster, rec.first_cluster + 3);
    {
        cAFFile f;
        ASSERT_TRUE(f.open("card.nds", "r", 0));
        std::vector<uint8_t> back(0x200000 * 2);
        uint32_t got = 0;
        for (uint32_t n; (n = f.read(back.data() + got, 0x200000)) > 0;) got += n;
        ASSERT_EQ(got, data.size() + 1);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
        EXPECT_EQ(back[data.size()], '!');
    }
    ASSERT_TRUE(delete_file("card.nds"));
    ASSERT_TRUE(volume().mount(uint8_t(drive)));
    EXPECT_FALSE(file_exists("card.nds"));
    EXPECT_EQ(volume().cluster_map[rec.first_cluster], 0);
}

}  // namespace

TEST(StreamMedia, RoundTripOnAnImageFile) {
    testcards::TempDir dir;
    const std::string image = dir.file("card.img");
    write_blank_image(image);
    std::string why;
    ASSERT_TRUE(drive_layer::drive_table().attach_path(3, image, &why)) << why;
    round_trip(3);
    drive_layer::drive_table().detach(3);
    disk_close();
}

TEST(StreamMedia, RoundTripThroughALoopDevice) {
    const std::string why_not = testcards::LoopDevice::unavailable_reason();
    if (!why_not.empty()) GTEST_SKIP() << why_not;
    testcards::TempDir dir;
    const std::string image = dir.file("loop.img");
    write_blank_image(image);
    testcards::LoopDevice loop(image);
    ASSERT_TRUE(loop.ok()) << loop.error();
    std::string why;
    ASSERT_TRUE(drive_layer::drive_table().attach_path(4, loop.path(), &why)) << why;
    round_trip(4);
    drive_layer::drive_table().detach(4);
    disk_close();
}
