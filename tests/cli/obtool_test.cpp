// obtool as a user runs it: the built program, its output and its exit status.
#include "testing/fake_drive.h"
#include "obfs/superblock.h"
#include "support/loop_device.h"
#include "support/obtool_runner.h"
#include "platform/host_file.h"
#include "platform/host_folder.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint64_t MiB = 1 << 20;

struct ToolRun {
    int status = -1;
    std::string out, err;
    // The lines of standard error.
    size_t err_lines() const { return size_t(std::count(err.begin(), err.end(), '\n')); }
};

ToolRun obtool(const std::vector<std::string>& args) {
    const testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
    return ToolRun{r.status, r.out, r.err};
}

// An image file holding a blank volume for a disk of `size` bytes.
std::string blank_volume_image(const testcards::TempDir& dir, const std::string& name, uint32_t size) {
    drive_layer::FakeDrive fake(size);
    testcards::write_blank_volume(fake, size);
    const std::string path = dir.file(name);
    testcards::write_host_file(path, fake.peek(0, size));
    return path;
}

void expect_failure(const ToolRun& r, const std::string& needle) {
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err_lines(), 1u) << r.err;
    EXPECT_NE(r.err.find("obtool: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
}

}  // namespace

TEST(Obtool, HelpListsTheCommands) {
    const ToolRun r = obtool({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"--drive N=PATH", "--image PATH", "drives", "info", "mkimage PATH SIZE"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(Obtool, UsageMistakesGiveOneClearLine) {
    expect_failure(obtool({}), "no command");
    expect_failure(obtool({"frobnicate"}), "unknown command 'frobnicate'");
    expect_failure(obtool({"--bogus", "drives"}), "unknown option '--bogus'");
    expect_failure(obtool({"--drive", "0=/tmp/x", "drives"}), "1 to 15");
    expect_failure(obtool({"--drive", "16=/tmp/x", "drives"}), "1 to 15");
    expect_failure(obtool({"--drive", "card.img", "drives"}), "N=PATH");
    expect_failure(obtool({"drives", "--drive"}), "--drive needs a value");
    expect_failure(obtool({"-d", "16", "info"}), "0 to 15");
    expect_failure(obtool({"--drive", "4=/no/such/card.img", "drives"}), "/no/such/card.img");
    expect_failure(obtool({"info"}), "no drive selected");
    // Linux has no drive 13 here; on Windows it is \\.\PhysicalDrive13, which no disk answers.
    const ToolRun none = obtool({"-d", "13", "info"});
    expect_failure(none, "drive 13 ");
    EXPECT_TRUE(none.err.find("does not exist") != std::string::npos ||
                none.err.find("not a card drive") != std::string::npos)
        << none.err;
    expect_failure(obtool({"drives", "extra"}), "no arguments");
}

TEST(Obtool, MkimageMakesASparseImageAndNeverOverwrites) {
    testcards::TempDir dir;
    const std::string path = dir.file("card.img");
    ToolRun r = obtool({"mkimage", path, "256M"});
    ASSERT_EQ(r.status, 0) << r.err;
    host::FileStatus st;
    ASSERT_TRUE(host::status_of(path, &st));
    EXPECT_EQ(st.size, 256 * MiB);
    EXPECT_LT(st.allocated, MiB);  // a hole, not 256 MiB of zeros

    testcards::write_host_file(path, {1, 2, 3});
    expect_failure(obtool({"mkimage", path, "1M"}), "exists");
    EXPECT_EQ(testcards::read_host_file(path), (std::vector<uint8_t>{1, 2, 3}));

    struct Case {
        const char* size;
        uint64_t bytes;
    };
    for (const Case c : {Case{"4096", 4096}, Case{"64k", 64 << 10}, Case{"3M", 3 * MiB}, Case{"2G", 2048 * MiB}}) {
        const std::string p = dir.file(std::string("s") + c.size);
        ASSERT_EQ(obtool({"mkimage", p, c.size}).status, 0) << c.size;
        ASSERT_TRUE(host::status_of(p, &st));
        EXPECT_EQ(st.size, c.bytes) << c.size;
    }
    for (const char* bad : {"0", "12X", "M", "1000", "-5", "99999999999999999G"}) {
        const std::string p = dir.file(std::string("bad") + bad);
        expect_failure(obtool({"mkimage", p, bad}), "SIZE");
        EXPECT_EQ(host::kind_of(p), host::Kind::Missing) << bad;
    }
    expect_failure(obtool({"mkimage", path}), "usage");
}

TEST(Obtool, DrivesListsAnAttachedImageWithItsCaption) {
    testcards::TempDir dir;
    const std::string path = dir.file("card.img");
    ASSERT_EQ(obtool({"mkimage", path, "64M"}).status, 0);
    const std::string line = "1 -    64 MB, Image card.img           Removable Disk\n";
    for (const auto& args : {std::vector<std::string>{"--image", path, "drives"},
                             std::vector<std::string>{"drives", "--image=" + path},
                             std::vector<std::string>{"--drive", "1=" + path, "drives"}}) {
        const ToolRun r = obtool(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    }
    // Two images, listed in drive order.
    const std::string second = dir.file("b.img");
    ASSERT_EQ(obtool({"mkimage", second, "1G"}).status, 0);
    const ToolRun r = obtool({"--drive", "7=" + second, "--drive", "3=" + path, "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t three = r.out.find("3 -    64 MB, Image card.img"), seven = r.out.find("7 -  1024 MB, Image b.img");
    ASSERT_NE(three, std::string::npos) << r.out;
    ASSERT_NE(seven, std::string::npos) << r.out;
    EXPECT_LT(three, seven);
    expect_failure(obtool({"--image", path, "--drive", "1=" + second, "drives"}), "given twice");
    expect_failure(obtool({"--image", path, "-d", "2", "info"}), "-d 2");
}

TEST(Obtool, InfoTellsWhetherTheVolumeMounts) {
    testcards::TempDir dir;
    const std::string blank = dir.file("blank.img");
    ASSERT_EQ(obtool({"mkimage", blank, "16M"}).status, 0);
    ToolRun r = obtool({"info", "--image", blank});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("not mounted: no OBFS volume"), std::string::npos) << r.out;

    const std::string card = blank_volume_image(dir, "card.img", 16 * MiB);
    r = obtool({"--drive", "2=" + card, "-d", "2", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Superblock sb = Superblock::layout_for(16 * MiB);
    EXPECT_NE(r.out.find("OBFS, mounted"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("disk_size        16777216 bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("map_start        8193"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("data_start       " + std::to_string(sb.data_start) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("clusters         " + std::to_string(sb.cluster_count()) + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("partition_start  00000000 ffffffff"), std::string::npos) << r.out;

    // A damaged superblock is reported, not mounted.
    auto bytes = testcards::read_host_file(card);
    bytes[SB_DATA_START] ^= 1;
    testcards::write_host_file(card, bytes);
    r = obtool({"--image", card, "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("checksum does not match"), std::string::npos) << r.out;

    // A drive the probe refuses is an error: a file too large to be a card.
    const std::string huge = dir.file("huge.img");
    ASSERT_EQ(obtool({"mkimage", huge, "22G"}).status, 0);
    expect_failure(obtool({"--image", huge, "info"}), "not a card drive");
}

TEST(Obtool, WorksOnABlockDeviceAttachedWithDrive) {
    const std::string why = testcards::LoopDevice::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;
    testcards::TempDir dir;
    const std::string card = blank_volume_image(dir, "card.img", 16 * MiB);
    testcards::LoopDevice loop(card);
    if (!loop.ok()) GTEST_SKIP() << "no loop device: " << loop.error();
    ToolRun r = obtool({"--drive", "5=" + loop.path(), "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("5 -    16 MB, " + loop.name()), std::string::npos) << r.out;
    r = obtool({"--drive", "5=" + loop.path(), "-d", "5", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("OBFS, mounted"), std::string::npos) << r.out;
}

TEST(Obtool, VersionAndHelpOnEveryCommand) {
    ToolRun r = obtool({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("obtool ") + OB_VERSION + "\n");
    for (const char* command : {"drives", "info", "mkimage", "ls", "put", "get", "rm", "check", "models", "format",
                                "set-speed", "install-menu", "update-savelist", "install-moonshell"}) {
        for (const char* help : {"--help", "-h"}) {
            r = obtool({command, help});
            EXPECT_EQ(r.status, 0) << command << " " << help << ": " << r.err;
            EXPECT_EQ(r.out.rfind(std::string("usage: obtool [GLOBAL OPTIONS] ") + command, 0), 0u) << r.out;
            EXPECT_EQ(r.err, "");
        }
        r = obtool({command, "--version"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out, std::string("obtool ") + OB_VERSION + "\n");
    }
    // After "--" the word is the command's argument, not a request for help.
    testcards::TempDir dir;
    r = obtool({"--image", blank_volume_image(dir, "card.img", 64 * MiB), "rm", "--", "--help"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out.find("usage:"), std::string::npos) << r.out;
}

TEST(Obtool, AnEmptyDriveListIsSaidOnStandardError) {
    const ToolRun r = obtool({"drives"});
    if (!r.out.empty()) GTEST_SKIP() << "this machine has card drives: " << r.out;
    expect_failure(r, "no card drives found");
}

TEST(Obtool, OneAttachedDriveIsTheDriveToWorkOn) {
    testcards::TempDir dir;
    const std::string path = blank_volume_image(dir, "card.img", 64 * MiB);
    ToolRun r = obtool({"--drive", "3=" + path, "info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("volume           OBFS, mounted"), std::string::npos) << r.out;
    // Two attached drives still need -d.
    r = obtool({"--drive", "3=" + path, "--drive", "4=" + blank_volume_image(dir, "b.img", 64 * MiB), "info"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no drive selected"), std::string::npos) << r.err;
}

TEST(Obtool, CardMessagesFollowTheLanguageRule) {
    testcards::TempDir dir;
    const std::string path = blank_volume_image(dir, "card.img", 64 * MiB);
    testcards::write_host_file(dir.file("a.nds"), testcards::pattern_bytes(1000, 1));
    ASSERT_EQ(obtool({"--image", path, "put", dir.file("a.nds")}).status, 0);
    ToolRun r = obtool({"--image", path, "--lang", "en", "put", dir.file("a.nds")});
    EXPECT_NE(r.out.find("a.nds already exists. Overwrite it? [y/N] n"), std::string::npos) << r.out;
    r = obtool({"--image", path, "--lang=zh", "put", dir.file("a.nds")});
    EXPECT_NE(r.out.find("a.nds已经存在，要覆盖吗？ [y/N] n"), std::string::npos) << r.out;
    expect_failure(obtool({"--lang", "fr", "drives"}), "--lang must be zh or en");
}

TEST(Obtool, WithoutLangTheLocaleDecides) {
    // The locale is set for one run through env(1) and a shell.
    if (std::string(host::path_separators()) != "/") GTEST_SKIP() << "no env(1) and POSIX shell on Windows";
    testcards::TempDir dir;
    const std::string path = blank_volume_image(dir, "card.img", 64 * MiB);
    testcards::write_host_file(dir.file("a.nds"), testcards::pattern_bytes(1000, 1));
    ASSERT_EQ(obtool({"--image", path, "put", dir.file("a.nds")}).status, 0);
    // English for en_US, Chinese for zh_CN.
    const std::string tool = OB_TOOL_PATH;
    const std::string put = " '" + tool + "' --image '" + path + "' put '" + dir.file("a.nds") + "' 2>&1 </dev/null";
    auto run = [](const std::string& command) {
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        if (pipe) pclose(pipe);
        return out;
    };
    EXPECT_NE(run("env -u LC_MESSAGES LC_ALL= LANG=en_US.UTF-8" + put).find("already exists"), std::string::npos);
    EXPECT_NE(run("env -u LC_MESSAGES LC_ALL= LANG=zh_CN.UTF-8" + put).find("已经存在"), std::string::npos);
}
