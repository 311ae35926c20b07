// obtool between host folders and a card image, on whatever host the tests run on:
// Linux natively, Windows under wine. Host names are Chinese, as a player's save and
// game folders often are: they must arrive on the card and come back unchanged.
#include "testing/fake_drive.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr uint32_t IMAGE_BYTES = 64u << 20;

testcards::ToolResult obtool(const std::vector<std::string>& args) { return testcards::run_tool(OB_TOOL_PATH, args); }

std::string card_image(const testcards::TempDir& dir) {
    drive_layer::FakeDrive fake(IMAGE_BYTES);
    testcards::write_blank_volume(fake, IMAGE_BYTES);
    const std::string path = dir.file("卡.img");
    testcards::write_host_file(path, fake.peek(0, IMAGE_BYTES));
    return path;
}

}  // namespace

TEST(ObtoolHostFiles, ChineseHostNamesGoToTheCardAndComeBackByteForByte) {
    testcards::TempDir dir;
    const std::string image = card_image(dir);
    const std::string name = "口袋妖怪 白金.nds";
    const std::vector<uint8_t> bytes = testcards::pattern_bytes(300000, 9);
    testcards::write_host_file(dir.file(name), bytes);

    testcards::ToolResult r = obtool({"--image", image, "put", dir.file(name)});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = obtool({"--image", image, "ls", "-l"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;

    const std::string back = dir.file("取回");
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(back), ec));
    r = obtool({"--image", image, "get", "-o", back, name});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testcards::read_host_file(back + "/" + name), bytes);

    r = obtool({"--image", image, "rm", name});
    EXPECT_EQ(r.status, 0) << r.err;
    r = obtool({"--image", image, "check"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ObtoolHostFiles, MkimageSizesANewFileAndNeverOverwritesOne) {
    testcards::TempDir dir;
    const std::string path = dir.file("新卡.img");
    testcards::ToolResult r = obtool({"mkimage", path, "3M"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(testcards::fs_path(path)), 3u << 20);
    testcards::write_host_file(path, {1, 2, 3});
    r = obtool({"mkimage", path, "1M"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    EXPECT_EQ(testcards::read_host_file(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(ObtoolHostFiles, BackupRestoreAndCompactWorkOnImagesInChineseFolders) {
    testcards::TempDir dir;
    const std::string image = card_image(dir);
    const std::string name = "存档.sav";
    const std::vector<uint8_t> bytes = testcards::pattern_bytes(200000, 4);
    testcards::write_host_file(dir.file(name), bytes);
    ASSERT_EQ(obtool({"--image", image, "put", dir.file(name)}).status, 0);

    const std::string folder = dir.file("备份");
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(folder), ec));
    const std::string backup = folder + "/卡 备份.img";
    testcards::ToolResult r = obtool({"--image", image, "backup", backup});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(std::filesystem::file_size(testcards::fs_path(backup)), IMAGE_BYTES);
    EXPECT_FALSE(std::filesystem::exists(testcards::fs_path(backup + ".part")));
    // Without -y and without a terminal to ask on, an existing backup stays.
    r = obtool({"--image", image, "backup", backup});
    EXPECT_NE(r.status, 0);

    // Onto a blank card of the same size: the file comes back, the card checks clean.
    drive_layer::FakeDrive blank(IMAGE_BYTES);
    testcards::write_blank_volume(blank, IMAGE_BYTES);
    const std::string other = dir.file("另一张.img");
    testcards::write_host_file(other, blank.peek(0, IMAGE_BYTES));
    r = obtool({"-y", "--image", other, "restore", backup});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string back = dir.file("取回");
    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(back), ec));
    r = obtool({"--image", other, "get", "-o", back, name});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testcards::read_host_file(back + "/" + name), bytes);
    r = obtool({"-y", "--image", other, "compact"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    r = obtool({"--image", other, "check"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}
