#include "maintenance/menu_install.h"

#include "maint_test_util.h"
#include "support/hooked_drive.h"
#include "support/side_files.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using drive_layer::FakeDrive;
using testcards::attach_fake;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;

// A card whose first 4.5 MiB hold old bytes, so every byte the installer leaves
// alone can be told from one it wrote.
std::shared_ptr<FakeDrive> card_with_old_bytes(std::vector<uint8_t>* old) {
    auto drive = attach_fake(DRIVE, 64ull << 20);
    *old = pattern_bytes(MENU_AREA_OFFSET + MENU_AREA_BYTES + 512 * 16, 42);
    drive->poke(0, old->data(), old->size());
    drive->reset_counters();
    return drive;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t from, size_t length) {
    return std::vector<uint8_t>(v.begin() + long(from), v.begin() + long(from + length));
}

// Writes `program` as a host file and through write_menu_area; returns its result.
bool write_program(const std::vector<uint8_t>& program, std::string* out = nullptr) {
    testcards::TempDir dir;
    testcards::write_host_file(dir.file("menu.nds"), program);
    if (!open_menu_drive(DRIVE)) return false;
    testing::internal::CaptureStdout();
    bool ok = write_menu_area(dir.file("menu.nds"));
    std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return ok;
}

}  // namespace

TEST(MenuArea, OneByteGoesOutAsOneZeroPaddedChunk) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    ASSERT_TRUE(write_program({0x5A}));
    EXPECT_EQ(drive->peek(512, 1)[0], 0x5A);
    EXPECT_EQ(drive->peek(513, 32767), std::vector<uint8_t>(32767, 0));
    EXPECT_EQ(drive->peek(33280, 512), slice(old, 33280, 512));
    EXPECT_EQ(drive->peek(0, 512), slice(old, 0, 512));  // the superblock is never written
    EXPECT_EQ(drive->counters().write_sizes, (std::map<uint32_t, uint64_t>{{32768, 1}}));
    EXPECT_GE(drive->counters().flushes, 1u);
}

TEST(MenuArea, ChunkCountFollowsTheFileSize) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    ASSERT_TRUE(write_program(pattern_bytes(32768, 1)));
    EXPECT_EQ(drive->counters().writes, 1u);
    EXPECT_EQ(drive->peek(512 + 32768, 512), slice(old, 512 + 32768, 512));

    drive->reset_counters();
    const std::vector<uint8_t> program = pattern_bytes(32769, 2);
    ASSERT_TRUE(write_program(program));
    EXPECT_EQ(drive->counters().write_sizes, (std::map<uint32_t, uint64_t>{{32768, 2}}));
    EXPECT_EQ(drive->peek(512, program.size()), program);
    EXPECT_EQ(drive->peek(512 + 32769, 32767), std::vector<uint8_t>(32767, 0));
}

TEST(MenuArea, FullSizeProgramFillsTheAreaAndStopsBeforeTheMap) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    const std::vector<uint8_t> program = pattern_bytes(MENU_AREA_BYTES, 3);
    ASSERT_TRUE(write_program(program));
    EXPECT_EQ(drive->peek(512, MENU_AREA_BYTES), program);
    EXPECT_EQ(drive->peek(0, 512), slice(old, 0, 512));
    EXPECT_EQ(drive->peek(8193ull * 512, 512 * 16), slice(old, 8193 * 512, 512 * 16));
    EXPECT_EQ(drive->counters().writes, 128u);
}

TEST(MenuArea, LargerProgramIsRefusedBeforeAnythingIsWritten) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    std::string out;
    EXPECT_FALSE(write_program(pattern_bytes(MENU_AREA_BYTES + 1, 4), &out));
    EXPECT_EQ(drive->counters().bytes_written, 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

TEST(MenuArea, ShorterProgramLeavesTheOlderOnesTailInPlace) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    const std::vector<uint8_t> longer = pattern_bytes(200000, 5);
    const std::vector<uint8_t> shorter = pattern_bytes(40000, 6);
    ASSERT_TRUE(write_program(longer));
    ASSERT_TRUE(write_program(shorter));
    EXPECT_EQ(drive->peek(512, shorter.size()), shorter);
    EXPECT_EQ(drive->peek(512 + 40000, 65536 - 40000), std::vector<uint8_t>(65536 - 40000, 0));
    EXPECT_EQ(drive->peek(512 + 65536, 200000 - 65536), slice(longer, 65536, 200000 - 65536));
}

TEST(MenuArea, UnusableSourceFilesAreRefusedWithTheirDiagnostic) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    testcards::TempDir dir;
    ASSERT_TRUE(open_menu_drive(DRIVE));
    struct Case {
        std::string path;
        const char* printed;
    };
    testcards::write_host_file(dir.file("empty.nds"), {});
    ASSERT_EQ(mkdir(dir.file("folder.nds").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.nds").c_str(), 0644), 0);  // must not block
    const Case cases[] = {
        {dir.file("missing.nds"), "source file does not exist.\n"},
        {dir.file("empty.nds"), "source file has zero length.\n"},
        {dir.file("folder.nds"), "source file does not exist.\n"},
        {dir.file("pipe.nds"), "source file does not exist.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(write_menu_area(c.path));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
    EXPECT_EQ(drive->counters().bytes_written, 0u);
}

TEST(MenuArea, FailedWriteKeepsEarlierChunksAndPrintsTheDiagnostics) {
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    const std::vector<uint8_t> program = pattern_bytes(100000, 7);
    drive->fail_write_at(2);
    std::string out;
    EXPECT_FALSE(write_program(program, &out));
    EXPECT_EQ(drive->peek(512, 32768), slice(program, 0, 32768));
    EXPECT_EQ(drive->peek(512 + 32768, 512), slice(old, 512 + 32768, 512));
    // "(handle) (buffer) (read) (written)", the error code, then "write error".
    ASSERT_GE(out.size(), 12u);
    EXPECT_NE(out.find(") (32768) (0)\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 12), "write error\n");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
}

// A program that shrinks while it is written would leave a program cut short in the
// area: that is a failed installation, not a finished one.
TEST(MenuArea, AProgramThatShrinksWhileItIsWrittenFails) {
    std::vector<uint8_t> old;
    auto card = card_with_old_bytes(&old);
    testcards::TempDir dir;
    const std::string path = dir.file("menu.nds");
    testcards::write_host_file(path, pattern_bytes(100000, 8));
    testcards::hook_drive(DRIVE, card, [&](bool write, uint64_t, uint32_t) {
        if (write) {
            ASSERT_EQ(::truncate(path.c_str(), 32768), 0);
        }
    });
    ASSERT_TRUE(open_menu_drive(DRIVE));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(write_menu_area(path));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read error\n");
}

TEST(MenuDrive, RefusedDrivesAreNeverOpened) {
    struct Case {
        const char* what;
        uint64_t capacity;
        void (*script)(FakeDrive&);
    };
    const Case cases[] = {
        {"open fails", 64ull << 20, [](FakeDrive& d) { d.set_open_fails(true); }},
        {"fixed media", 64ull << 20, [](FakeDrive& d) { d.set_media_type(drive_layer::MEDIA_FIXED); }},
        {"over 2 GiB", (2ull << 30) + 512, [](FakeDrive&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto drive = attach_fake(DRIVE, c.capacity);
        c.script(*drive);
        EXPECT_FALSE(open_menu_drive(DRIVE));
        EXPECT_FALSE(write_menu_area("/nonexistent"));  // no handle left behind
    }
    // Exactly 2 GiB is a card; so is a drive whose low 32 bits measure 1 GiB.
    attach_fake(DRIVE, 2ull << 30);
    EXPECT_TRUE(open_menu_drive(DRIVE));
    attach_fake(DRIVE, (4ull << 30) + (1ull << 30));
    EXPECT_TRUE(open_menu_drive(DRIVE));
    // Drive 0 is the host's system disk.
    attach_fake(0, 64ull << 20);
    EXPECT_FALSE(open_menu_drive(0));
    drive_layer::drive_table().detach(0);
    close_menu_drive();
}

TEST(InstallMenuProgram, CopiesTheProgramBesideTheProgramFile) {
    testcards::SideFiles side;
    std::vector<uint8_t> old;
    auto drive = card_with_old_bytes(&old);
    ASSERT_TRUE(install_menu_program(DRIVE));
    EXPECT_EQ(drive->peek(512, side.menu.size()), side.menu);
    EXPECT_EQ(drive->peek(0, 512), slice(old, 0, 512));
}

TEST(InstallMenuProgram, ReportsEachFailureWithItsLines) {
    testcards::SideFiles side;
    auto drive = attach_fake(DRIVE, 64ull << 20);
    drive->set_open_fails(true);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(install_menu_program(DRIVE));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Initialize disk fail\n");

    drive->set_open_fails(false);
    side.remove("obmenu2.nds");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(install_menu_program(DRIVE));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "source file does not exist.\nfail to copy ORBBoot program.\n");

    side.write("obmenu2.nds", pattern_bytes(MENU_AREA_BYTES + 512, 8));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(install_menu_program(DRIVE));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("fail to copy ORBBoot program.\n"), std::string::npos);
    EXPECT_EQ(drive->counters().bytes_written, 0u);
}
