// obtool's file commands end to end on a card image: ls, put, get, rm, the overwrite
// questions without a terminal and with --yes, and the exit status.
#include "obfs/superblock.h"
#include "support/loop_device.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t IMAGE_BYTES = 32u << 20;

using ToolRun = testcards::ToolResult;

// The line of `text` that starts with `start`, or "".
std::string line_starting(const std::string& text, const std::string& start) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0) return line;
    return "";
}

// Whether `line` holds the given texts separated by blanks only.
bool columns(const std::string& line, std::initializer_list<std::string> texts) {
    std::istringstream in(line);
    std::string joined, word;
    while (in >> word) joined += (joined.empty() ? "" : " ") + word;
    std::string expected;
    for (const std::string& t : texts) expected += (expected.empty() ? "" : " ") + t;
    return joined == expected;
}

// The commands below are written as a shell line would be, paths in single quotes;
// they are taken apart into arguments here, so no shell runs (there is none on Windows).
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    bool in_word = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '\'') quoted = false;
            else word += c;
        } else if (c == '\'') {
            quoted = in_word = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (c == ' ') {
            if (in_word) out.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) out.push_back(word);
    return out;
}

class ObtoolFiles : public ::testing::Test {
protected:
    void SetUp() override {
        image = dir.file("card.img");
        // A blank volume laid out on a fake drive, copied into a sparse image file.
        auto fake = std::make_shared<drive_layer::FakeDrive>(IMAGE_BYTES);
        testcards::write_blank_volume(*fake, IMAGE_BYTES);
        const Superblock sb = Superblock::layout_for(IMAGE_BYTES);
        const auto head = fake->peek(0, size_t(sb.data_start) * 512);
        testcards::write_host_file(image, head);
        std::filesystem::resize_file(testcards::fs_path(image), IMAGE_BYTES);
    }

    // Runs obtool on the image (or on what `drive_options` select) without a terminal
    // on standard input.
    ToolRun obtool(const std::string& args, const std::string& image_path = "") {
        const std::string target = !drive_options.empty() ? drive_options
                                                          : "--image " + quote(image_path.empty() ? image : image_path);
        return testcards::run_tool(OB_TOOL_PATH, words(target + " " + args));
    }

    testcards::TempDir dir;
    std::string image;
    std::string drive_options;
};

TEST_F(ObtoolFiles, PutListGetAndRemove) {
    const auto game = testcards::pattern_bytes(300000, 1);
    const auto save = testcards::pattern_bytes(512, 2);
    testcards::write_host_file(dir.file("game.nds"), game);
    testcards::write_host_file(dir.file("game.sav"), save);

    ToolRun r = obtool("put " + quote(dir.file("game.nds")) + " " + quote(dir.file("game.sav")));
    ASSERT_EQ(r.status, 0) << r.err;

    r = obtool("ls");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("<< FREE SPACE >>"), std::string::npos) << r.out;
    EXPECT_TRUE(columns(line_starting(r.out, "game.nds"), {"game.nds", "293 KB", "nds 文件"})) << r.out;
    EXPECT_TRUE(columns(line_starting(r.out, "game.sav"), {"game.sav", "1 KB", "sav 文件"})) << r.out;
    EXPECT_LT(r.out.find("<< FREE SPACE >>"), r.out.find("game.nds"));

    r = obtool("ls -l");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("SLOT"), std::string::npos);
    EXPECT_TRUE(columns(line_starting(r.out, "game.nds"), {"game.nds", "293 KB", "nds 文件", "0", "0", "2", "300000"}))
        << r.out;

    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(dir.file("back"))));
    r = obtool("get game.nds game.sav -o " + quote(dir.file("back")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testcards::read_host_file(dir.file("back/game.nds")), game);
    EXPECT_EQ(testcards::read_host_file(dir.file("back/game.sav")), save);

    r = obtool("rm game.nds nothere.nds");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("nothere.nds: file does not exist."), std::string::npos) << r.err;
    r = obtool("ls");
    EXPECT_EQ(r.out.find("game.nds"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("game.sav"), std::string::npos) << r.out;
}

TEST_F(ObtoolFiles, PutGetAndRemoveThroughALoopDevice) {
    const std::string why = testcards::LoopDevice::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;
    testcards::LoopDevice loop(image);
    if (!loop.ok()) GTEST_SKIP() << "no loop device: " << loop.error();
    drive_options = "--drive 5=" + loop.path() + " -d 5";

    const auto game = testcards::pattern_bytes(3u << 20, 6);
    testcards::write_host_file(dir.file("loop.nds"), game);
    ToolRun r = obtool("put " + quote(dir.file("loop.nds")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(columns(line_starting(obtool("ls").out, "loop.nds"), {"loop.nds", "3.0 MB", "nds 文件"}));
    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(dir.file("back"))));
    r = obtool("get loop.nds -o " + quote(dir.file("back")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testcards::read_host_file(dir.file("back/loop.nds")), game);
    EXPECT_EQ(obtool("rm loop.nds").status, 0);
    EXPECT_EQ(line_starting(obtool("ls").out, "loop.nds"), "");
}

TEST_F(ObtoolFiles, OverwriteIsAskedAndWithoutTerminalTheAnswerIsNo) {
    testcards::write_host_file(dir.file("a.nds"), testcards::pattern_bytes(1000, 3));
    ASSERT_EQ(obtool("put " + quote(dir.file("a.nds"))).status, 0);
    const auto newer = testcards::pattern_bytes(2000, 4);
    testcards::write_host_file(dir.file("a.nds"), newer);

    ToolRun r = obtool("put " + quote(dir.file("a.nds")));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("a.nds已经存在，要覆盖吗？"), std::string::npos) << r.out;
    EXPECT_TRUE(columns(line_starting(obtool("ls").out, "a.nds"), {"a.nds", "1 KB", "nds 文件"}));

    r = obtool("--yes put " + quote(dir.file("a.nds")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(columns(line_starting(obtool("ls").out, "a.nds"), {"a.nds", "2 KB", "nds 文件"}));

    // Card to host: the question names the host path; No keeps the host file.
    const auto host_bytes = testcards::pattern_bytes(10, 5);
    testcards::write_host_file(dir.file("a.nds"), host_bytes);
    r = obtool("get a.nds -o " + quote(dir.path()));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find(dir.file("a.nds") + "已经存在，要覆盖吗？"), std::string::npos) << r.out;
    EXPECT_EQ(testcards::read_host_file(dir.file("a.nds")), host_bytes);
    r = obtool("get -y a.nds -o " + quote(dir.path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testcards::read_host_file(dir.file("a.nds")), newer);
}

TEST_F(ObtoolFiles, RefusalsGiveTheReasonAndANonZeroStatus) {
    ToolRun r = obtool("put " + quote(dir.file("missing.nds")));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("source file does not exist."), std::string::npos) << r.err;

    r = obtool("get ../escape.nds -o " + quote(dir.path()));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("\"../escape.nds\": the name holds \"/\""), std::string::npos) << r.err;

    r = obtool("get x.nds -o " + quote(dir.file("no-such-folder")));
    EXPECT_NE(r.status, 0);

    const std::string blank = dir.file("blank.img");
    testcards::write_host_file(blank, {});
    std::filesystem::resize_file(testcards::fs_path(blank), IMAGE_BYTES);
    r = obtool("ls", blank);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("如果要使用它，请在工具菜单中选择格式化"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("如果要使用它"), r.out.find("这不是Orbelle格式的存储设备"));
}

}  // namespace
