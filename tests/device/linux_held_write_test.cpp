// Writes that an image-file handle holds back (the bytes after a write's last host page
// boundary) go out later; when they fail then, the next flush or the handle's close
// reports it. Failing them takes a host file system that runs out of space: a sparse
// image on a small tmpfs that is filled up meanwhile.
#include "device/fd_drive_handle.h"
#include "support/small_tmpfs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

using namespace drive_layer;

namespace {

TEST(HeldWrites, AFailureThatShowsLateIsReportedByTheNextFlushOrTheClose) {
    for (const bool by_close : {false, true}) {
        testcards::SmallTmpfs space(1u << 20);
        if (!space.unavailable().empty()) GTEST_SKIP() << space.unavailable();
        const std::string image = space.file("card.img");
        const int created = ::open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(created, 0);
        ASSERT_EQ(::ftruncate(created, 4u << 20), 0);  // all holes
        ::close(created);

        FdDriveHandle handle(::open(image.c_str(), O_RDWR | O_CLOEXEC), false, {}, MEDIA_REMOVABLE);
        ASSERT_TRUE(handle.seek(512));
        const std::vector<uint8_t> bytes(8192, 0x42);
        uint32_t done = 0;
        // Bytes 512..8191 go out now; 8192..8703, in a page of its own, are held.
        ASSERT_TRUE(handle.write(bytes.data(), uint32_t(bytes.size()), &done));
        ASSERT_EQ(done, bytes.size());
        ASSERT_TRUE(space.leave_room(1));  // no page left for the held bytes
        if (by_close)
            EXPECT_FALSE(handle.close());
        else
            EXPECT_FALSE(handle.flush());
        space.make_room();
        // Reported once: what comes after is judged on its own.
        if (!by_close) {
            EXPECT_TRUE(handle.flush());
        }
    }
}

}  // namespace
