// Copies from a card image, where the image hands the bytes to the host file inside the
// host, and batches of copies to the host, whose host files are synced together.
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include "device/drive_layer.h"
#include "obfs/af_file.h"
#include "obfs/obfs.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using testcards::pattern_bytes;
using testcards::read_host_file;
using testcards::write_host_file;

namespace {

constexpr uint8_t DRIVE = 3;
constexpr uint32_t IMAGE_BYTES = 16u << 20;
constexpr uint32_t CLUSTER = 131072;

size_t open_descriptors() {
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

class ImageCardTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        blank = std::make_shared<drive_layer::FakeDrive>(IMAGE_BYTES);
        testcards::write_blank_volume(*blank, IMAGE_BYTES);
        set_transfer_diagnostics(nullptr);
    }
    void TearDown() override {
        set_transfer_diagnostics(stdout);
        drive_layer::drive_table().detach(DRIVE);
    }
    // The card as built on the fake drive so far, saved as an image and attached.
    void attach_image() {
        write_host_file(dir.file("card.img"), blank->peek(0, IMAGE_BYTES));
        ASSERT_TRUE(drive_layer::drive_table().attach_path(DRIVE, dir.file("card.img")));
    }
    void put(const std::string& name, const std::vector<uint8_t>& bytes) {
        write_host_file(dir.file("in-" + name), bytes);
        const std::string path = dir.file(name);
        ASSERT_EQ(::rename(dir.file("in-" + name).c_str(), path.c_str()), 0);
        ASSERT_TRUE(copy_win_to_ob(path, DRIVE));
        ASSERT_EQ(last_copy_end(), CopyEnd::Complete);
        ::unlink(path.c_str());
    }

    testcards::TempDir dir;
    std::shared_ptr<drive_layer::FakeDrive> blank;
};

struct Chunks {
    std::vector<uint32_t> sizes;
    static void on_chunk(void* self, uint32_t bytes) { static_cast<Chunks*>(self)->sizes.push_back(bytes); }
};

TEST_F(ImageCardTransfer, BytesSentStraightToTheHostFileAreTheFilesBytes) {
    // A damaged entry whose size runs past its one cluster, with another file's bytes
    // right behind it: the copy must stop at the run.
    testcards::CardSurgery surgery(*blank);
    const auto own = pattern_bytes(CLUSTER, 40), neighbour = pattern_bytes(CLUSTER, 41);
    surgery.entry(0, "long.nds", 0, 0, 3 * CLUSTER);
    surgery.data(0, own);
    surgery.entry(1, "next.nds", 1, 1, CLUSTER);
    surgery.data(1, neighbour);
    attach_image();

    const auto odd = pattern_bytes(3 * CLUSTER + 77, 42), big = pattern_bytes(2 * 0x200000 + 5, 43);
    put("odd.nds", odd);
    put("big.nds", big);
    put("empty.nds", {});

    Chunks chunks;
    set_copy_callback(&Chunks::on_chunk, &chunks);
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "big.nds", dir.file("big.back")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_EQ(chunks.sizes, (std::vector<uint32_t>{0x200000, 0x200000, 5}));
    set_copy_callback(nullptr, nullptr);
    EXPECT_EQ(read_host_file(dir.file("big.back")), big);
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "odd.nds", dir.file("odd.back")));
    EXPECT_EQ(read_host_file(dir.file("odd.back")), odd);
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "empty.nds", dir.file("empty.back")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Complete);
    EXPECT_TRUE(read_host_file(dir.file("empty.back")).empty());

    ASSERT_TRUE(copy_ob_to_win(DRIVE, "long.nds", dir.file("long.back")));
    EXPECT_EQ(last_copy_end(), CopyEnd::Stopped);
    EXPECT_EQ(read_host_file(dir.file("long.back")), own);

    // Sending and reading take turns on one stream: each goes on where the other ended,
    // inside a sector, at a cluster's end and across clusters.
    ASSERT_TRUE(volume().mount(DRIVE));
    cAFFile stream;
    ASSERT_TRUE(stream.open("odd.nds", "r", 0));
    const int out = ::open(dir.file("mixed.back").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(out, 0);
    std::vector<uint8_t> got(odd.size());
    size_t at = 0;
    auto read_some = [&](uint32_t n) {
        const uint32_t r = stream.read(got.data() + at, n);
        EXPECT_EQ(::pwrite(out, got.data() + at, r, off_t(at)), ssize_t(r));
        EXPECT_EQ(::lseek(out, off_t(at + r), SEEK_SET), off_t(at + r));
        at += r;
    };
    read_some(100);
    at += stream.send_to_file(out, CLUSTER - 100);   // to the end of the first cluster
    read_some(700);
    at += stream.send_to_file(out, CLUSTER + 3);     // across the second cluster's end
    read_some(1);
    at += stream.send_to_file(out, 0xFFFFFF);        // the rest
    EXPECT_EQ(stream.send_to_file(out, 10), 0u);
    EXPECT_EQ(stream.read(got.data(), 10), 0u);
    ::close(out);
    EXPECT_EQ(at, odd.size());
    EXPECT_EQ(read_host_file(dir.file("mixed.back")), odd);

    // Sent to the end of a file that fills its run, a read-write stream that writes
    // on grows the file into a newly claimed cluster.
    const auto two = pattern_bytes(2 * CLUSTER, 44), more = pattern_bytes(10, 45);
    put("two.nds", two);
    ASSERT_TRUE(volume().mount(DRIVE));
    {
        cAFFile rw;
        ASSERT_TRUE(rw.open("two.nds", "r+", 0));
        const int sink = ::open(dir.file("two.back").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(rw.send_to_file(sink, 2 * CLUSTER), 2 * CLUSTER);
        ::close(sink);
        EXPECT_EQ(rw.write(more.data(), 10), 10u);
        EXPECT_EQ(rw.last_cluster, rw.first_cluster + 2);
    }
    auto grown = two;
    grown.insert(grown.end(), more.begin(), more.end());
    ASSERT_TRUE(copy_ob_to_win(DRIVE, "two.nds", dir.file("two.back")));
    EXPECT_EQ(read_host_file(dir.file("two.back")), grown);
}

TEST_F(ImageCardTransfer, ABatchSyncsItsHostFilesTogetherAndLeavesNoneOpen) {
    attach_image();
    std::vector<std::string> names;
    for (int i = 0; i < 21; ++i) {
        names.push_back("f" + std::to_string(i) + ".nds");
        put(names.back(), pattern_bytes(1000 + 4096 * i, 50 + i));
    }
    const size_t before = open_descriptors();
    size_t most = 0;
    CopyBatch batch;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::vector<std::string> next{i + 1 < names.size() ? names[i + 1] : "gone.nds"};
        ASSERT_EQ(batch.copy_to_host(DRIVE, names[i], dir.file(names[i]), next), CopyEnd::Complete);
        most = std::max(most, open_descriptors());
    }
    // The batch's last name is not on the card: its refusal syncs nothing, the end does.
    EXPECT_EQ(batch.copy_to_host(DRIVE, "gone.nds", dir.file("gone.nds")), CopyEnd::Refused);
    EXPECT_GT(open_descriptors(), before);
    const std::vector<CopyFailure> failures = batch.end();
    ASSERT_EQ(failures.size(), 1u);  // the refusal, and no host file unsynced
    EXPECT_EQ(failures[0].kind, CopyFailure::Kind::Refused);
    EXPECT_EQ(open_descriptors(), before);
    // A few files wait at a time, never the whole batch.
    EXPECT_LE(most, before + 17);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(read_host_file(dir.file(names[i])), pattern_bytes(1000 + 4096 * i, 50 + uint32_t(i))) << names[i];
}

}  // namespace
