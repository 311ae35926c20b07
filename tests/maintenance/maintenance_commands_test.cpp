#include "maintenance/maintenance_commands.h"

#include "maint_test_util.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_messages.h"
#include "obfs/superblock.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using maint_test::bytes_of;
using maint_test::card_file;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;

class ToolsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        drive = testcards::blank_card(DRIVE, CARD_BYTES);
    }

    // The one box shown, checked against its constant.
    void expect_only(const MaintMessage& expected, const std::string& suffix = {}) {
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].text, expected.text + suffix);
        EXPECT_EQ(sink.messages[0].title, expected.title);
        EXPECT_EQ(sink.messages[0].icon, expected.icon);
        EXPECT_EQ(sink.messages[0].buttons, MsgButtons::Ok);
    }

    std::string quietly(const std::function<void()>& run) {
        testing::internal::CaptureStdout();
        run();
        return testing::internal::GetCapturedStdout();
    }

    testcards::SideFiles side;
    testcards::RecordingSink sink{MsgResult::No};
    std::shared_ptr<drive_layer::FakeDrive> drive;
};

}  // namespace

TEST_F(ToolsCommand, FormatWarningIsAWarningQuestion) {
    EXPECT_FALSE(confirm_format());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "格式化将破坏SD卡上所有的数据，确定要继续吗？");
    EXPECT_EQ(sink.messages[0].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(sink.messages[0].buttons, MsgButtons::YesNo);
    testcards::RecordingSink yes{MsgResult::Yes};
    EXPECT_TRUE(confirm_format());
}

TEST_F(ToolsCommand, FormatWithAModelRowConfirms) {
    EXPECT_TRUE(format_with_model(DRIVE, 10));
    expect_only(maint_msg::FORMAT_DONE);
    EXPECT_EQ(sink.messages[0].text, "格式化完成");
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("14"));
}

TEST_F(ToolsCommand, FormatWithoutAValidRowDoesNothing) {
    drive->reset_counters();
    EXPECT_FALSE(format_with_model(DRIVE, -1));
    EXPECT_FALSE(format_with_model(DRIVE, 15));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(drive->counters().bytes_written, 0u);
}

TEST_F(ToolsCommand, FailedFormatAddsItsBoxAfterTheFormattersOwn) {
    side.remove("savelist.bin");
    quietly([] { EXPECT_FALSE(format_with_model(DRIVE, 14)); });
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "传送存档列表失败");
    EXPECT_EQ(sink.messages[1].text, "格式化失败");
    EXPECT_EQ(sink.messages[1].icon, MsgIcon::Error);
    EXPECT_EQ(sink.messages[1].title, "Orbelle Manager");
}

TEST_F(ToolsCommand, DefaultSpeedWritesTheDigitsAndConfirms) {
    EXPECT_TRUE(write_default_speed(DRIVE, 30));
    expect_only(maint_msg::SPEED_SET, "30");
    EXPECT_EQ(sink.messages[0].text, "SD 卡默认速度已设为 30");
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("30"));
    EXPECT_GE(drive->counters().flushes, 1u);
    // A second speed replaces the file.
    sink.messages.clear();
    EXPECT_TRUE(write_default_speed(DRIVE, 3));
    EXPECT_EQ(card_file(DRIVE, "sd_speed.ini"), bytes_of("3"));
}

TEST_F(ToolsCommand, DefaultSpeedOnACardWithoutVolumeFails) {
    auto bare = testcards::attach_fake(DRIVE, CARD_BYTES);
    EXPECT_FALSE(write_default_speed(DRIVE, 14));
    expect_only(maint_msg::SPEED_FAILED);
    EXPECT_EQ(sink.messages[0].text, "设置SD卡默认速度失败");
    EXPECT_EQ(bare->counters().bytes_written, 0u);
}

TEST_F(ToolsCommand, DefaultSpeedOnAFullCardFails) {
    // Fence every data cluster: no cluster is left for the file.
    std::vector<uint32_t> all;
    for (uint32_t c = 0; c < Superblock::layout_for(CARD_BYTES).cluster_count(); ++c) all.push_back(c);
    testcards::write_blank_volume(*drive, CARD_BYTES, all);
    EXPECT_FALSE(write_default_speed(DRIVE, 14));
    expect_only(maint_msg::SPEED_FAILED);
    EXPECT_FALSE(card_file(DRIVE, "sd_speed.ini"));
}

TEST_F(ToolsCommand, DefaultSpeedThatCannotBeWrittenFails) {
    drive->fail_writes_from(1);
    quietly([] { EXPECT_FALSE(write_default_speed(DRIVE, 14)); });
    expect_only(maint_msg::SPEED_FAILED);
}

TEST_F(ToolsCommand, SaveListUpdateReplacesTheCardFile) {
    quietly([] { EXPECT_TRUE(update_save_list(DRIVE)); });
    expect_only(maint_msg::UPDATE_DONE);
    EXPECT_EQ(sink.messages[0].text, "更新成功");
    const std::vector<uint8_t> newer = pattern_bytes(5000, 11);
    side.write("savelist.bin", newer);
    sink.messages.clear();
    quietly([] { EXPECT_TRUE(update_save_list(DRIVE)); });
    EXPECT_EQ(card_file(DRIVE, "savelist.bin"), newer);
}

TEST_F(ToolsCommand, SaveListUpdateWithoutTheFileFails) {
    side.remove("savelist.bin");
    quietly([] { EXPECT_FALSE(update_save_list(DRIVE)); });
    expect_only(maint_msg::SAVELIST_FAILED);
    EXPECT_EQ(sink.messages[0].text, "传送存档列表失败");
    EXPECT_FALSE(card_file(DRIVE, "savelist.bin"));
}

TEST_F(ToolsCommand, MenuProgramUpdateKeepsTheVolumeMountable) {
    EXPECT_TRUE(update_menu_program(DRIVE));
    expect_only(maint_msg::UPDATE_DONE);
    EXPECT_EQ(drive->peek(512, side.menu.size()), side.menu);
    EXPECT_TRUE(volume().mount(DRIVE));
}

TEST_F(ToolsCommand, MenuProgramUpdateWithoutTheFileFails) {
    side.remove("obmenu2.nds");
    quietly([] { EXPECT_FALSE(update_menu_program(DRIVE)); });
    expect_only(maint_msg::MENU_FAILED);
    EXPECT_EQ(sink.messages[0].text, "传送菜单程序失败");
}

// --- MoonShell ----------------------------------------------------------------------

TEST_F(ToolsCommand, MoonShellWithoutItsFolder) {
    EXPECT_EQ(install_moonshell(DRIVE), MoonShellResult::NoFolder);
    expect_only(maint_msg::MOONSHELL_NO_FOLDER);
    EXPECT_EQ(sink.messages[0].text, "MoonShell 目录不存在");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Information);
    // A plain file of that name is no folder either.
    side.write("msob", {1, 2, 3});
    sink.messages.clear();
    EXPECT_EQ(install_moonshell(DRIVE), MoonShellResult::NoFolder);
}

TEST_F(ToolsCommand, MoonShellFromAnEmptyFolderCompletes) {
    ASSERT_EQ(mkdir(side.path("msob").c_str(), 0755), 0);
    drive->reset_counters();
    int refreshed = 0;
    EXPECT_EQ(install_moonshell(DRIVE, [&] { ++refreshed; }), MoonShellResult::Installed);
    expect_only(maint_msg::MOONSHELL_DONE);
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(drive->counters().bytes_written, 0u);
}

TEST_F(ToolsCommand, MoonShellCopiesRegularFilesAndSkipsPipesAndDevices) {
    ASSERT_EQ(mkdir(side.path("msob").c_str(), 0755), 0);
    const std::vector<uint8_t> shell = pattern_bytes(150000, 21);
    const std::vector<uint8_t> ini = bytes_of("[moonshell]\n");
    side.write("msob/moonshell.nds", shell);
    side.write("msob/.hidden.ini", ini);
    // A pipe would block whoever opened it: it must be skipped unopened.
    ASSERT_EQ(mkfifo(side.path("msob/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/null", side.path("msob/device").c_str()), 0);
    std::vector<std::string> order;
    const auto result = install_moonshell(DRIVE, [&] { order.push_back("refresh"); });
    for (const Message& m : sink.messages) order.push_back(m.text);
    EXPECT_EQ(result, MoonShellResult::Installed);
    EXPECT_EQ(order, (std::vector<std::string>{"refresh", "MoonShell 安装完成"}));
    EXPECT_EQ(card_file(DRIVE, "moonshell.nds"), shell);
    EXPECT_EQ(card_file(DRIVE, ".hidden.ini"), ini);
    EXPECT_FALSE(card_file(DRIVE, "pipe"));
    EXPECT_FALSE(card_file(DRIVE, "device"));
}

TEST_F(ToolsCommand, MoonShellSubfolderStopsTheInstallation) {
    ASSERT_EQ(mkdir(side.path("msob").c_str(), 0755), 0);
    side.write("msob/a.nds", pattern_bytes(1000, 31));
    ASSERT_EQ(mkdir(side.path("msob/m_skins").c_str(), 0755), 0);
    side.write("msob/z.nds", pattern_bytes(1000, 32));
    bool refreshed = false;
    quietly([&] { EXPECT_EQ(install_moonshell(DRIVE, [&] { refreshed = true; }), MoonShellResult::Failed); });
    expect_only(maint_msg::MOONSHELL_ERROR);
    EXPECT_EQ(sink.messages[0].text, "MoonShell 安装过程中出现错误");
    EXPECT_FALSE(refreshed);
    EXPECT_TRUE(card_file(DRIVE, "a.nds"));   // copied before the folder stays
    EXPECT_FALSE(card_file(DRIVE, "m_skins"));
    EXPECT_FALSE(card_file(DRIVE, "z.nds"));  // after it, nothing
}

TEST_F(ToolsCommand, MoonShellFolderThatCannotBeListed) {
    if (geteuid() == 0) GTEST_SKIP() << "root lists any folder; needs an unprivileged user";
    ASSERT_EQ(mkdir(side.path("msob").c_str(), 0300), 0);  // no read permission
    EXPECT_EQ(install_moonshell(DRIVE), MoonShellResult::NoFiles);
    expect_only(maint_msg::MOONSHELL_NO_FILES);
    EXPECT_EQ(sink.messages[0].text, "MoonShell 文件不存在");
    chmod(side.path("msob").c_str(), 0755);
}

TEST_F(ToolsCommand, MoonShellCopyFailureKeepsEarlierFiles) {
    ASSERT_EQ(mkdir(side.path("msob").c_str(), 0755), 0);
    side.write("msob/a.nds", pattern_bytes(1000, 41));
    side.write("msob/b.nds", {});
    std::filesystem::resize_file(side.path("msob/b.nds"), 70u << 20);  // larger than the card
    quietly([] { EXPECT_EQ(install_moonshell(DRIVE), MoonShellResult::Failed); });
    expect_only(maint_msg::MOONSHELL_ERROR);
    EXPECT_TRUE(card_file(DRIVE, "a.nds"));
    EXPECT_FALSE(card_file(DRIVE, "b.nds"));
}
