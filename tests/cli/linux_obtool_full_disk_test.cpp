// obtool put on a card image whose writes start failing: a sparse image on a small
// tmpfs that fills up, so every write into a hole of the image fails for lack of space
// part-way through a copy. The command must say so (non-zero exit, the card file named),
// and the card must keep every file committed before, the replaced one included.
#include "obfs/superblock.h"
#include "support/obtool_runner.h"
#include "support/small_tmpfs.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t IMAGE_BYTES = 64u << 20;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;

class ObtoolFullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!space.unavailable().empty()) GTEST_SKIP() << space.unavailable();
        image = space.file("card.img");
        // A blank volume laid out on a fake drive; only its non-zero sectors are written,
        // so the image stays sparse and its data area is all holes.
        drive_layer::FakeDrive fake(IMAGE_BYTES);
        testcards::write_blank_volume(fake, IMAGE_BYTES);
        const Superblock sb = Superblock::layout_for(IMAGE_BYTES);
        std::FILE* f = std::fopen(image.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (uint32_t sector = 0; sector < sb.data_start; ++sector) {
            const auto bytes = fake.peek(uint64_t(sector) * 512, 512);
            if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) continue;
            std::fseek(f, long(sector) * 512, SEEK_SET);
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        }
        std::fclose(f);
        ASSERT_EQ(::truncate(image.c_str(), IMAGE_BYTES), 0);
    }

    testcards::ToolResult obtool(std::vector<std::string> args) {
        args.insert(args.begin(), {"--image", image, "--yes"});
        return testcards::run_tool(OB_TOOL_PATH, args);
    }
    std::string host(const std::string& name, const std::vector<uint8_t>& bytes) {
        testcards::write_host_file(dir.file(name), bytes);
        return dir.file(name);
    }
    std::vector<uint8_t> card_file(const std::string& name) {
        const testcards::ToolResult r = obtool({"get", name, "-o", dir.file("back")});
        EXPECT_EQ(r.status, 0) << r.err;
        return testcards::read_host_file(dir.file("back/" + name));
    }

    testcards::TempDir dir;
    testcards::SmallTmpfs space{12u << 20};
    std::string image;
};

TEST_F(ObtoolFullDisk, APutThatRunsOutOfHostSpaceFailsAndKeepsWhatWasThere) {
    ASSERT_EQ(::mkdir(dir.file("back").c_str(), 0700), 0);
    const auto keep = testcards::pattern_bytes(K + 300, 1), save = testcards::pattern_bytes(K / 2, 2);
    testcards::ToolResult r = obtool({"put", host("keep.nds", keep), host("game.sav", save)});
    ASSERT_EQ(r.status, 0) << r.err;

    ASSERT_TRUE(space.leave_room(512 * 1024));
    // A new file larger than the room left: the writes into the image's holes fail.
    r = obtool({"put", host("big.nds", testcards::pattern_bytes(3u << 20, 3))});
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("big.nds"), std::string::npos) << r.err;
    // A replace that cannot be written keeps the old file.
    r = obtool({"put", host("game.sav", testcards::pattern_bytes(2u << 20, 4))});
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("game.sav"), std::string::npos) << r.err;

    // Room again: the files committed before read back, and what the failed copies
    // left is at most leftovers that repair mends.
    space.make_room();
    EXPECT_EQ(card_file("keep.nds"), keep);
    EXPECT_EQ(card_file("game.sav"), save);
    r = obtool({"check", "--repair"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(card_file("keep.nds"), keep);
}

}  // namespace
