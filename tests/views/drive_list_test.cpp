#include "views/drive_list.h"

#include "device/drive_layer.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using drive_layer::drive_table;

namespace {

class DriveList : public ::testing::Test {
protected:
    void SetUp() override { drive_table().clear(); }
    void TearDown() override { drive_table().clear(); }
};

}  // namespace

TEST_F(DriveList, ListsAcceptedDrivesInNumberOrder) {
    testcards::attach_fake(3, 128ull << 20);
    testcards::attach_fake(1, 1015808000ull);
    auto fixed = testcards::attach_fake(2, 64ull << 20);
    fixed->set_media_type(drive_layer::MEDIA_FIXED);      // refused: not removable
    auto huge = testcards::attach_fake(4, 32ull << 30);   // refused: larger than 21 GiB

    const std::vector<DriveEntry> entries = list_card_drives();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].drive, 1);
    EXPECT_EQ(entries[1].drive, 3);
    EXPECT_EQ(entries[0].caption.rfind("1 -   968 MB, ", 0), 0u) << entries[0].caption;
    EXPECT_EQ(entries[1].caption.rfind("3 -   128 MB, ", 0), 0u) << entries[1].caption;
    EXPECT_EQ(count_card_drives(), 2);
}

TEST_F(DriveList, NoDrivesGiveAnEmptyList) {
    EXPECT_TRUE(list_card_drives().empty());
    EXPECT_EQ(count_card_drives(), 0);
    auto gone = testcards::attach_fake(5, 64ull << 20);
    gone->set_open_fails(true);                           // a reader that will not open
    EXPECT_TRUE(list_card_drives().empty());
    EXPECT_EQ(count_card_drives(), 0);
}
