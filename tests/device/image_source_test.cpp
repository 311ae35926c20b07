#include "device/disk_info.h"
#include "device/fd_drive_handle.h"
#include "device/image_source.h"
#include "device/sector_io.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace drive_layer;

namespace {

constexpr uint64_t MiB = 1 << 20;

std::string make_image(const testcards::TempDir& dir, const std::string& name, uint64_t size) {
    const std::string path = dir.file(name);
    testcards::write_host_file(path, {});
    EXPECT_EQ(::truncate(path.c_str(), off_t(size)), 0);
    return path;
}

uint64_t file_size(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

}  // namespace

TEST(ImageSource, ProbesAsARemovableDriveNamedAfterTheFile) {
    testcards::TempDir dir;
    const std::string path = make_image(dir, "blue card.img", 256 * MiB);
    drive_table().attach(7, std::make_shared<ImageSource>(path));
    c_disk_info info;
    ASSERT_TRUE(info.probe(7));
    EXPECT_EQ(info.identity, "Image blue card.img");
    EXPECT_EQ(info.serial, "");
    EXPECT_EQ(info.capacity, 256 * MiB);
    EXPECT_EQ(info.media_type, MEDIA_REMOVABLE);

    // An empty file is a reader without a card.
    drive_table().attach(7, std::make_shared<ImageSource>(make_image(dir, "empty.img", 0)));
    EXPECT_FALSE(info.probe(7));
    drive_table().attach(7, std::make_shared<ImageSource>(dir.file("gone.img")));
    EXPECT_FALSE(info.probe(7));
    drive_table().detach(7);
}

TEST(ImageSource, DescriptorQueryHonoursTheBufferSize) {
    testcards::TempDir dir;
    ImageSource source(make_image(dir, "card.img", MiB));
    auto h = source.open(READ, true);
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> d;
    ASSERT_TRUE(h->query_descriptor(d, DESCRIPTOR_BUFFER_BYTES));
    EXPECT_EQ(d, source.descriptor());
    ASSERT_TRUE(h->query_descriptor(d, 8));
    EXPECT_EQ(d.size(), 8u);
    EXPECT_FALSE(h->query_descriptor(d, 4));
}

TEST(ImageSource, TransfersStayWithinTheImage) {
    testcards::TempDir dir;
    const std::string path = make_image(dir, "card.img", MiB);
    ImageSource source(path);
    auto h = source.open(READ_WRITE, false);
    ASSERT_NE(h, nullptr);
    const auto data = testcards::pattern_bytes(4096, 11);
    uint32_t done = 0;
    ASSERT_TRUE(h->seek(MiB - 4096));
    ASSERT_TRUE(h->write(data.data(), 4096, &done));
    EXPECT_EQ(done, 4096u);
    // At the end: a write has no room and fails, a read moves nothing and succeeds.
    EXPECT_FALSE(h->write(data.data(), 512, &done));
    EXPECT_EQ(done, 0u);
    std::vector<uint8_t> back(4096);
    EXPECT_TRUE(h->read(back.data(), 512, &done));
    EXPECT_EQ(done, 0u);
    // Across the end: the part inside moves.
    ASSERT_TRUE(h->seek(MiB - 1024));
    EXPECT_FALSE(h->write(data.data(), 4096, &done));
    EXPECT_EQ(done, 1024u);
    ASSERT_TRUE(h->seek(MiB - 4096));
    EXPECT_TRUE(h->read(back.data(), 4096, &done));
    EXPECT_EQ(done, 4096u);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 3072, data.begin()));
    EXPECT_TRUE(std::equal(back.begin() + 3072, back.end(), data.begin()));
    EXPECT_TRUE(h->flush());
    EXPECT_EQ(file_size(path), MiB);  // the image never grows

    auto ro = source.open(READ, false);
    EXPECT_FALSE(ro->write(data.data(), 512, &done));
}

TEST(ImageSource, UnbufferedTransfersOfAnyShape) {
    testcards::TempDir dir;
    const std::string path = make_image(dir, "card.img", 8 * MiB);
    const auto before = testcards::pattern_bytes(8 * MiB, 5);
    testcards::write_host_file(path, before);
    ImageSource source(path);
    auto h = source.open(READ_WRITE, true);
    ASSERT_NE(h, nullptr);
    if (!static_cast<FdDriveHandle&>(*h).direct())
        GTEST_SKIP() << "the temp folder's file system has no direct I/O";

    // Misaligned buffer, position and length, and one larger than the bounce buffer.
    struct Shape {
        uint64_t offset;
        uint32_t length;
        size_t buffer_skew;
    };
    std::vector<uint8_t> expected = before;
    for (const Shape s : {Shape{512, 4096, 1}, Shape{100, 1000, 0}, Shape{3 * MiB + 7, uint32_t(2 * MiB + 3), 3},
                          Shape{8 * MiB - 10, 10, 0}}) {
        const auto data = testcards::pattern_bytes(s.length, uint32_t(s.offset));
        std::vector<uint8_t> storage(s.length + 16);
        std::copy(data.begin(), data.end(), storage.begin() + long(s.buffer_skew));
        uint32_t done = 0;
        ASSERT_TRUE(h->seek(s.offset));
        ASSERT_TRUE(h->write(storage.data() + s.buffer_skew, s.length, &done)) << s.offset;
        EXPECT_EQ(done, s.length);
        std::copy(data.begin(), data.end(), expected.begin() + long(s.offset));

        std::vector<uint8_t> back(s.length + 16);
        ASSERT_TRUE(h->seek(s.offset));
        ASSERT_TRUE(h->read(back.data() + s.buffer_skew, s.length, &done));
        EXPECT_EQ(done, s.length);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin() + long(s.buffer_skew))) << s.offset;
    }
    EXPECT_TRUE(static_cast<FdDriveHandle&>(*h).direct());  // never needed to give up direct I/O
    h.reset();
    EXPECT_EQ(testcards::read_host_file(path), expected);  // the bytes around each write kept
}

// Clusters start 512 bytes past a host page, so the image handle holds each write's
// bytes after its last page boundary for the write that follows on. Whatever it holds
// must be in the file for every read, flush and the handle's end, and a write
// elsewhere must not lose it.
TEST(ImageSource, HeldPageTailsAreNeverLost) {
    testcards::TempDir dir;
    const std::string path = make_image(dir, "card.img", 8 * MiB);
    ImageSource source(path);
    const auto a = testcards::pattern_bytes(128 * 1024, 1);
    const auto b = testcards::pattern_bytes(128 * 1024, 2);
    const auto c = testcards::pattern_bytes(512, 3);
    const uint64_t at = 9257 * 512;  // a 2 GiB card's first data sector
    uint32_t done = 0;
    {
        auto h = source.open(READ_WRITE, false);
        ASSERT_NE(h, nullptr);
        // Two writes back to back, then a read through the handle.
        ASSERT_TRUE(h->seek(at) && h->write(a.data(), uint32_t(a.size()), &done));
        EXPECT_EQ(done, a.size());
        ASSERT_TRUE(h->write(b.data(), uint32_t(b.size()), &done));
        std::vector<uint8_t> back(a.size() + b.size());
        ASSERT_TRUE(h->seek(at) && h->read(back.data(), uint32_t(back.size()), &done));
        EXPECT_TRUE(std::equal(a.begin(), a.end(), back.begin()));
        EXPECT_TRUE(std::equal(b.begin(), b.end(), back.begin() + long(a.size())));
        // A write elsewhere while a tail is held.
        ASSERT_TRUE(h->seek(at + 2 * MiB) && h->write(a.data(), uint32_t(a.size()), &done));
        ASSERT_TRUE(h->seek(512) && h->write(c.data(), uint32_t(c.size()), &done));
        ASSERT_TRUE(h->seek(at + 2 * MiB) && h->read(back.data(), uint32_t(a.size()), &done));
        EXPECT_TRUE(std::equal(a.begin(), a.end(), back.begin()));

        // A tail held at a flush reaches the file.
        ASSERT_TRUE(h->seek(at + 3 * MiB) && h->write(a.data(), uint32_t(a.size()), &done));
        ASSERT_TRUE(h->flush());
        const auto file = testcards::read_host_file(path);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), file.begin() + long(at + 3 * MiB)));
        // And one held when the handle goes.
        ASSERT_TRUE(h->seek(at + MiB) && h->write(b.data(), uint32_t(b.size()), &done));
    }
    const auto file = testcards::read_host_file(path);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), file.begin() + long(at + MiB)));
    EXPECT_TRUE(std::equal(c.begin(), c.end(), file.begin() + 512));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), file.begin() + long(at + a.size())));
    EXPECT_EQ(file.size(), 8 * MiB);
}

TEST(ImageSource, OddSizedImageKeepsItsSize) {
    testcards::TempDir dir;
    const std::string path = make_image(dir, "odd.img", 1000);
    ImageSource source(path);
    auto h = source.open(READ_WRITE, true);
    ASSERT_NE(h, nullptr);
    DiskGeometry g;
    ASSERT_TRUE(h->query_geometry(g));
    EXPECT_EQ(g.cylinders, 1);  // only the whole sector is a sector
    std::vector<uint8_t> data(200, 0x5A);
    uint32_t done = 0;
    ASSERT_TRUE(h->seek(800));
    EXPECT_TRUE(h->write(data.data(), 200, &done));
    EXPECT_EQ(done, 200u);
    h.reset();
    EXPECT_EQ(file_size(path), 1000u);
    EXPECT_EQ(testcards::read_host_file(path)[999], 0x5A);
}

TEST(ImageSource, CarriesTheSectorLayer) {
    testcards::TempDir dir;
    drive_table().attach(6, std::make_shared<ImageSource>(make_image(dir, "card.img", 4 * MiB)));
    ASSERT_TRUE(disk_open(6));
    EXPECT_EQ(disk_get_size(), 4 * MiB);
    const auto data = testcards::pattern_bytes(131072, 9);
    ASSERT_TRUE(disk_write_sectors(8191 - 255, 0, data.data()));
    uint8_t sector[512];
    ASSERT_TRUE(disk_read_sector(8191, sector));  // the last sector, through a shortened window
    EXPECT_TRUE(std::equal(sector, sector + 512, data.end() - 512));
    ASSERT_TRUE(disk_flush());
    // The host's cache reads an image ahead by itself, in the background: a batch's
    // read-ahead would only make it wait.
    EXPECT_FALSE(disk_can_read_ahead());
    EXPECT_FALSE(disk_read_ahead(100, 64));
    disk_close();
    drive_table().detach(6);
}

TEST(ImageSource, SendsRangesStraightIntoAHostFile) {
    uint64_t nowhere = 0;
    if (host::send_file(host::NO_DESCRIPTOR, host::NO_DESCRIPTOR, &nowhere, 0) < 0 && errno == ENOSYS)
        GTEST_SKIP() << "this host copies between files only through a buffer (callers read instead)";
    testcards::TempDir dir;
    const std::string path = make_image(dir, "card.img", 4 * MiB);
    ImageSource source(path);
    const auto a = testcards::pattern_bytes(128 * 1024 + 700, 21);
    const uint64_t at = 1025 * 512;  // starts and ends inside host pages
    const std::string out_path = dir.file("out.bin");
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(out, 0);
    uint32_t done = 0;
    {
        auto h = source.open(READ_WRITE, false);
        ASSERT_NE(h, nullptr);
        // The write's last bytes are still held by the handle when the send starts.
        ASSERT_TRUE(h->seek(at) && h->write(a.data(), uint32_t(a.size()), &done));
        ASSERT_TRUE(h->send_to_file(at, uint32_t(a.size()), out, &done));
        EXPECT_EQ(done, a.size());
        // A range running past the end of the image sends what exists and says so.
        EXPECT_FALSE(h->send_to_file(4 * MiB - 1000, 3000, out, &done));
        EXPECT_EQ(done, 1000u);
    }
    ::close(out);
    const auto sent = testcards::read_host_file(out_path);
    ASSERT_EQ(sent.size(), a.size() + 1000);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), sent.begin()));

    // A handle kept out of the host's cache does not send; the caller reads instead.
    auto direct = source.open(READ_WRITE, true);
    ASSERT_NE(direct, nullptr);
    if (static_cast<FdDriveHandle&>(*direct).direct()) {
        EXPECT_FALSE(direct->send_to_file(at, 512, 1, &done));
        EXPECT_EQ(done, 0u);
    }
}
