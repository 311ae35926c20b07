// What only POSIX hosts do to the copy routines' host files: FIFOs and symbolic links
// under a name they are given, and direct reads refused at unaligned offsets.
#include "transfer/host_io.h"

#include "support/test_cards.h"
#include "transfer/host_reader_drain.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using testcards::pattern_bytes;

namespace {

// Linux refuses a direct read at an unaligned offset (wine lets it through, so the
// fallback cannot be provoked there).
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

TEST(HostReader, RefusesFifos) {
    testcards::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("p").c_str(), 0644), 0);
    HostReader reader;
    EXPECT_FALSE(reader.open(dir.file("p")));
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
