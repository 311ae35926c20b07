// Host-side reads and writes of the copy routines: the unbuffered read and its
// buffered fallback, and the refusals of the destination writer.
#include "transfer/host_io.h"

#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

using testcards::pattern_bytes;

namespace {

std::vector<uint8_t> read_all(HostReader& reader, uint32_t chunk) {
    AlignedBuffer buffer(chunk);
    std::vector<uint8_t> out;
    for (;;) {
        uint32_t got = 0;
        EXPECT_TRUE(reader.read(buffer.data(), chunk, &got));
        out.insert(out.end(), buffer.data(), buffer.data() + got);
        if (got < chunk) return out;
    }
}

TEST(HostReader, ReadsTheWholeFileInChunksWithAnOddTail) {
    testcards::TempDir dir;
    const auto bytes = pattern_bytes(3 * 65536 + 777, 1);
    testcards::write_host_file(dir.file("f"), bytes);
    HostReader reader;
    ASSERT_TRUE(reader.open(dir.file("f")));
    EXPECT_EQ(reader.size(), bytes.size());
    if (!reader.unbuffered()) std::printf("note: the temp folder's file system refuses O_DIRECT\n");
    EXPECT_EQ(read_all(reader, 65536), bytes);
}

TEST(HostReader, AnUnalignedReadFallsBackToBufferedReads) {
    testcards::TempDir dir;
    const auto bytes = pattern_bytes(20000, 2);
    testcards::write_host_file(dir.file("f"), bytes);
    HostReader reader;
    ASSERT_TRUE(reader.open(dir.file("f")));
    AlignedBuffer buffer(8192);
    uint32_t got = 0;
    // 1000 bytes leave the next read at an unaligned offset.
    ASSERT_TRUE(reader.read(buffer.data(), 1000, &got));
    ASSERT_EQ(got, 1000u);
    std::vector<uint8_t> out(buffer.data(), buffer.data() + got);
    const auto rest = read_all(reader, 8192);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(out, bytes);
    EXPECT_FALSE(reader.unbuffered());
}

TEST(HostReader, RefusesMissingPathsFoldersAndFifos) {
    testcards::TempDir dir;
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.file("p").c_str(), 0644), 0);
    HostReader reader;
    EXPECT_FALSE(reader.open(dir.file("missing")));
    EXPECT_FALSE(reader.open(dir.file("d")));
    EXPECT_FALSE(reader.open(dir.file("p")));
}

TEST(HostWriter, WritesReplacesAndDiscards) {
    testcards::TempDir dir;
    testcards::write_host_file(dir.file("f"), pattern_bytes(5000, 3));
    HostWriter writer;
    ASSERT_TRUE(writer.create(dir.file("f")));
    ASSERT_TRUE(writer.write_all("abc", 3));
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(testcards::read_host_file(dir.file("f")), (std::vector<uint8_t>{'a', 'b', 'c'}));

    HostWriter partial;
    ASSERT_TRUE(partial.create(dir.file("g")));
    ASSERT_TRUE(partial.write_all("xyz", 3));
    partial.discard();
    EXPECT_EQ(access(dir.file("g").c_str(), F_OK), -1);
}

TEST(HostWriter, RefusesLinksFoldersAndFifosWithoutTouchingThem) {
    testcards::TempDir dir;
    const auto target = pattern_bytes(100, 4);
    testcards::write_host_file(dir.file("target"), target);
    ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.file("p").c_str(), 0644), 0);
    for (const char* name : {"link", "dangling", "d", "p"}) {
        HostWriter writer;
        EXPECT_FALSE(writer.create(dir.file(name))) << name;
    }
    EXPECT_EQ(testcards::read_host_file(dir.file("target")), target);
    EXPECT_EQ(access(dir.file("nowhere").c_str(), F_OK), -1);
}

}  // namespace
