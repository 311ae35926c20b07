// Host-side reads and writes of the copy routines: the unbuffered read and its
// buffered fallback, and the refusals of the destination writer.
#include "transfer/host_io.h"
#include "transfer/read_ahead.h"
#include "platform/host_folder.h"

#include "support/test_cards.h"
#include "transfer/host_reader_drain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

using testcards::pattern_bytes;

namespace {

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

TEST(HostReader, RefusesMissingPathsAndFolders) {
    testcards::TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(testcards::fs_path(dir.file("d"))));
    HostReader reader;
    EXPECT_FALSE(reader.open(dir.file("missing")));
    EXPECT_FALSE(reader.open(dir.file("d")));
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
    EXPECT_EQ(host::kind_of(dir.file("g")), host::Kind::Missing);
}

// Drains a ReadAhead, returning the bytes and the chunk lengths it handed out.
std::vector<uint8_t> drain(ReadAhead& chunks, std::vector<uint32_t>* lengths) {
    std::vector<uint8_t> out;
    for (;;) {
        const uint8_t* data = nullptr;
        uint32_t got = 0;
        EXPECT_TRUE(chunks.next(&data, &got));
        lengths->push_back(got);
        if (got == 0) return out;
        out.insert(out.end(), data, data + got);
    }
}

TEST(ReadAhead, HandsOutTheFileInOrderWhateverItsLength) {
    testcards::TempDir dir;
    constexpr uint32_t CHUNK = 65536;
    for (uint32_t size : {0u, 100u, CHUNK, 7 * CHUNK, 9 * CHUNK + 4097}) {
        const auto bytes = pattern_bytes(size, size);
        testcards::write_host_file(dir.file("f"), bytes);
        HostReader reader;
        ASSERT_TRUE(reader.open(dir.file("f")));
        ReadAhead chunks(reader, CHUNK);
        ASSERT_TRUE(chunks.ready());
        std::vector<uint32_t> lengths;
        EXPECT_EQ(drain(chunks, &lengths), bytes) << size;
        EXPECT_EQ(lengths.size(), size / CHUNK + (size % CHUNK ? 2 : 1)) << size;
    }
}

TEST(ReadAhead, AFileThatGrowsAfterItsEndIsReadOn) {
    testcards::TempDir dir;
    testcards::write_host_file(dir.file("f"), pattern_bytes(70000, 1));
    const auto more = pattern_bytes(5000, 2);
    HostReader reader;
    ASSERT_TRUE(reader.open(dir.file("f")));
    ReadAhead chunks(reader, 65536);
    const uint8_t* data = nullptr;
    uint32_t got = 0;
    ASSERT_TRUE(chunks.next(&data, &got));
    ASSERT_TRUE(chunks.next(&data, &got));
    EXPECT_EQ(got, 70000u - 65536u);
    std::FILE* f = std::fopen(dir.file("f").c_str(), "ab");
    std::fwrite(more.data(), 1, more.size(), f);
    std::fclose(f);
    ASSERT_TRUE(chunks.next(&data, &got));
    ASSERT_EQ(got, more.size());
    EXPECT_EQ(std::vector<uint8_t>(data, data + got), more);
    ASSERT_TRUE(chunks.next(&data, &got));
    EXPECT_EQ(got, 0u);
}

TEST(ReadAhead, AReadErrorIsReportedOnceAndForAll) {
    // Reading /proc/self/mem at offset 0 fails with an I/O error. Under wine the path
    // reaches the Linux file, but what a read of it does there depends on wine's own
    // memory map, so the test runs only on Linux itself.
    if (std::string(host::path_separators()) != "/" || !host::is_regular_file("/proc/self/mem"))
        GTEST_SKIP() << "no /proc/self/mem here";
    HostReader reader;
    ASSERT_TRUE(reader.open("/proc/self/mem"));
    ReadAhead chunks(reader, 65536);
    const uint8_t* data = nullptr;
    uint32_t got = 0;
    EXPECT_FALSE(chunks.next(&data, &got));
    EXPECT_FALSE(chunks.next(&data, &got));
}

TEST(ReadAhead, StoppingEarlyLeavesNoThreadBehind) {
    testcards::TempDir dir;
    testcards::write_host_file(dir.file("f"), pattern_bytes(64 * 65536, 3));
    HostReader reader;
    ASSERT_TRUE(reader.open(dir.file("f")));
    std::vector<uint32_t> lengths;
    {
        ReadAhead chunks(reader, 65536);
        lengths.resize(1);
        const uint8_t* data = nullptr;
        ASSERT_TRUE(chunks.next(&data, &lengths[0]));
    }
    reader.close();
    EXPECT_EQ(lengths, (std::vector<uint32_t>{65536}));
}

}  // namespace
