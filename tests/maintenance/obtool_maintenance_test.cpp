// obtool's card preparation commands, run as a separate program. The tool is copied
// into a scratch folder with stand-in side files beside it, so the tests never touch
// whatever lies beside the real build.
#include "maint_test_util.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

using maint_test::bytes_of;
using maint_test::card_file;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t IMAGE_DRIVE = 2;

class ObtoolMaintenance : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        tool = dir.file("obtool");
        fs::copy_file(OB_TOOL_PATH, tool);
        fs::permissions(tool, fs::perms::owner_all);
        testcards::write_host_file(dir.file("obmenu2.nds"), menu);
        testcards::write_host_file(dir.file("savelist.bin"), pattern_bytes(3000, 52));
        testcards::write_host_file(dir.file("save_info.dat"), pattern_bytes(300, 53));
        image = dir.file("card.img");
        ASSERT_EQ(run("mkimage " + image + " 256M").status, 0);
    }

    struct Outcome {
        int status;
        std::string output;
    };

    // Runs obtool on the image with standard input not a terminal.
    Outcome run(const std::string& args) {
        const std::string command = tool + " " + args + " </dev/null 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        Outcome out{-1, {}};
        if (!pipe) return out;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.output.append(buffer, n);
        const int raw = pclose(pipe);
        out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return out;
    }

    Outcome on_image(const std::string& args) { return run("--image " + image + " " + args); }

    // The image as seen by this process, attached as a drive of its own.
    std::optional<std::vector<uint8_t>> card(const std::string& name) {
        EXPECT_TRUE(drive_layer::drive_table().attach_path(IMAGE_DRIVE, image));
        return card_file(IMAGE_DRIVE, name);
    }

    std::vector<uint8_t> image_bytes(uint64_t offset, size_t length) {
        std::vector<uint8_t> bytes(length);
        std::ifstream in(image, std::ios::binary);
        in.seekg(std::streamoff(offset));
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(length));
        return bytes;
    }

    testcards::TempDir dir;
    std::string tool, image;
    const std::vector<uint8_t> menu = pattern_bytes(50000, 51);
};

}  // namespace

TEST_F(ObtoolMaintenance, ModelsListsTheTableWithSpeeds) {
    const Outcome out = run("models");
    EXPECT_EQ(out.status, 0);
    EXPECT_NE(out.output.find("Kingmax Micro SD 256MB"), std::string::npos);
    EXPECT_NE(out.output.find("其他Micro SD卡"), std::string::npos);
    EXPECT_NE(out.output.find("14      24  其他Micro SD卡"), std::string::npos) << out.output;
    EXPECT_EQ(std::count(out.output.begin(), out.output.end(), '\n'), 16);
}

TEST_F(ObtoolMaintenance, FormatAsksFirstAndWithoutAnswerLeavesTheCard) {
    const Outcome out = on_image("format --model 9");
    EXPECT_NE(out.status, 0);
    EXPECT_NE(out.output.find("格式化将破坏SD卡上所有的数据，确定要继续吗？"), std::string::npos) << out.output;
    EXPECT_EQ(image_bytes(0, 4096), std::vector<uint8_t>(4096, 0));
}

TEST_F(ObtoolMaintenance, FormatRefusesARowOutsideTheTable) {
    EXPECT_NE(on_image("format --model 15 --yes").status, 0);
    EXPECT_NE(on_image("format --yes").status, 0);
    EXPECT_NE(on_image("format --model x --yes").status, 0);
    EXPECT_EQ(image_bytes(0, 4096), std::vector<uint8_t>(4096, 0));
}

TEST_F(ObtoolMaintenance, FormattedImageMountsAndListsOneFreeRow) {
    const Outcome out = on_image("--yes format --model 14");
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find("格式化完成"), std::string::npos);
    EXPECT_EQ(image_bytes(512, menu.size()), menu);
    EXPECT_EQ(card("savelist.bin"), pattern_bytes(3000, 52));
    EXPECT_EQ(card("save_info.dat"), pattern_bytes(300, 53));
    EXPECT_EQ(card("sd_speed.ini"), bytes_of("24"));
    const Outcome listed = on_image("ls");
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_EQ(std::count(listed.output.begin(), listed.output.end(), '\n'), 1) << listed.output;
    EXPECT_NE(listed.output.find("<< FREE SPACE >>"), std::string::npos);
}

TEST_F(ObtoolMaintenance, SpeedMenuSaveListAndMoonShell) {
    ASSERT_EQ(on_image("format --model 10 --yes").status, 0);
    for (const char* bad : {"2", "31", "abc", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(on_image(std::string("set-speed ") + bad).status, 0);
    }
    EXPECT_EQ(card("sd_speed.ini"), bytes_of("14"));
    const Outcome speed = on_image("set-speed 30");
    EXPECT_EQ(speed.status, 0);
    EXPECT_NE(speed.output.find("SD 卡默认速度已设为 30"), std::string::npos);
    EXPECT_EQ(card("sd_speed.ini"), bytes_of("30"));

    testcards::write_host_file(dir.file("obmenu2.nds"), {9, 8, 7});
    EXPECT_EQ(on_image("install-menu").status, 0);
    EXPECT_EQ(image_bytes(512, 4), (std::vector<uint8_t>{9, 8, 7, 0}));

    testcards::write_host_file(dir.file("savelist.bin"), {1, 2});
    EXPECT_EQ(on_image("update-savelist").status, 0);
    EXPECT_EQ(card("savelist.bin"), (std::vector<uint8_t>{1, 2}));

    EXPECT_NE(on_image("install-moonshell").status, 0);  // no folder yet
    std::filesystem::create_directory(dir.file("msob"));
    testcards::write_host_file(dir.file("msob/moonshell.nds"), pattern_bytes(2000, 54));
    const Outcome shell = on_image("install-moonshell");
    EXPECT_EQ(shell.status, 0) << shell.output;
    EXPECT_NE(shell.output.find("MoonShell 安装完成"), std::string::npos);
    EXPECT_EQ(card("moonshell.nds"), pattern_bytes(2000, 54));
}
