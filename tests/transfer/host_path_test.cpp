#include "transfer/host_path.h"

#include "platform/host_folder.h"

#include <gtest/gtest.h>

TEST(HostPath, FileNameIsTheLastComponentWhateverTheSeparator) {
    EXPECT_EQ(file_name_of("C:\\games\\mario.nds"), "mario.nds");
    EXPECT_EQ(file_name_of("C:/games/mario.nds"), "mario.nds");
    EXPECT_EQ(file_name_of("/home/ann/games/mario.nds"), "mario.nds");
    EXPECT_EQ(file_name_of("mario.nds"), "mario.nds");
    EXPECT_EQ(file_name_of("C:\\games\\"), "");
    EXPECT_EQ(file_name_of("/tmp/"), "");
    EXPECT_EQ(file_name_of("dir/Mixed\\Case.NDS"), "Case.NDS");
    EXPECT_EQ(file_name_of(""), "");
}

TEST(HostPath, ExtensionIsLowerCaseAndOnlyFromTheLastComponent) {
    EXPECT_EQ(file_extension_of("GAME.NDS"), "nds");
    EXPECT_EQ(file_extension_of("C:\\games\\Save.SAV"), "sav");
    EXPECT_EQ(file_extension_of("archive.tar.gz"), "gz");
    EXPECT_EQ(file_extension_of("readme"), "");
    EXPECT_EQ(file_extension_of("C:\\old.games\\readme"), "");
    EXPECT_EQ(file_extension_of("/old.games/readme"), "");
    EXPECT_EQ(file_extension_of("trailing."), "");
    // Bytes beyond ASCII stay as they are.
    EXPECT_EQ(file_extension_of("游戏.文件"), "文件");
    EXPECT_EQ(file_extension_of("X.\xC3\x89T"), "\xC3\x89t");
}

TEST(HostPath, ProgramDirIsTheExecutablesFolderWithTrailingSeparator) {
    const std::string exe = host::program_path();
    ASSERT_TRUE(host::is_regular_file(exe)) << exe;
    EXPECT_EQ(file_name_of(exe).rfind("transfer_tests", 0), 0u) << exe;
    const std::string dir = program_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(std::string(host::path_separators()).find(dir.back()), std::string::npos) << dir;
    EXPECT_EQ(dir + file_name_of(exe), exe);
}

TEST(HostPath, CardNamesThatWouldLeaveTheFolderAreNoHostNames) {
    EXPECT_TRUE(card_name_fits_host("mario.nds"));
    EXPECT_TRUE(card_name_fits_host("..hidden"));
    EXPECT_TRUE(card_name_fits_host("游戏.nds"));
    EXPECT_FALSE(card_name_fits_host(""));
    EXPECT_FALSE(card_name_fits_host("."));
    EXPECT_FALSE(card_name_fits_host(".."));
    EXPECT_FALSE(card_name_fits_host("../evil.nds"));
    EXPECT_FALSE(card_name_fits_host("a/b"));
    EXPECT_FALSE(card_name_fits_host("..\\evil"));
    EXPECT_FALSE(card_name_fits_host("tab\there"));
    EXPECT_FALSE(card_name_fits_host(std::string("nul\0x", 5)));
}
