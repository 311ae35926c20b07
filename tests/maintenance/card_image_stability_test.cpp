// The bytes a format and a series of copies leave on a card are fixed: whatever the
// program changes in how it writes (fewer table sectors, joined transfers, fewer
// flushes), the card image it produces stays byte for byte what it was. The format's
// digest was taken from the program before those changes; the copies' after a replace
// began to keep the old file until the new one is committed (which moves where a
// replaced file lands).
#include "device/sector_io.h"
#include "maintenance/card_models.h"
#include "maintenance/format_card.h"
#include "support/recording_sink.h"
#include "support/side_files.h"
#include "support/test_cards.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

using testcards::pattern_bytes;

namespace {

constexpr uint8_t DRIVE = 1;
constexpr uint32_t CARD_BYTES = 64u << 20;
constexpr uint32_t K = 128u << 10;

// FNV-1a over the whole medium.
uint64_t image_digest(const drive_layer::FakeDrive& card) {
    uint64_t h = 1469598103934665603ull;
    std::vector<uint8_t> chunk(1u << 20);
    for (uint64_t at = 0; at < card.capacity(); at += chunk.size()) {
        card.peek(at, chunk.data(), chunk.size());
        for (uint8_t b : chunk) h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

std::string hex(uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%016" PRIx64, v);
    return text;
}

class CardImage : public ::testing::Test {
protected:
    void SetUp() override {
        set_transfer_diagnostics(nullptr);
        card = testcards::attach_fake(DRIVE, CARD_BYTES);
    }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    std::string host_file(const std::string& name, size_t bytes, uint32_t seed) {
        testcards::write_host_file(host.file(name), pattern_bytes(bytes, seed));
        return host.file(name);
    }
    void copy_batch(const std::vector<std::string>& paths) {
        CopyBatch batch;
        for (size_t i = 0; i < paths.size(); ++i)
            ASSERT_EQ(batch.copy_to_card(paths[i], DRIVE, i + 1 < paths.size() ? paths[i + 1] : std::string()),
                      CopyEnd::Complete)
                << paths[i];
        ASSERT_TRUE(batch.end().empty());
    }

    testcards::SideFiles side;
    testcards::RecordingSink sink;
    testcards::TempDir host;
    std::shared_ptr<drive_layer::FakeDrive> card;
};

}  // namespace

TEST_F(CardImage, FormatAndCopiesLeaveTheSameBytesAsEver) {
    const PARTITION_INFO_T& model = card_model_table[14];
    testing::internal::CaptureStdout();
    const bool formatted = format_card(DRIVE, model.partition_start, 24);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(formatted);
    EXPECT_EQ(hex(image_digest(*card)), "cf14dafb9267d7ad") << "after the format";

    // New files of several sizes in one batch, then replacements that stay in place,
    // move elsewhere, shrink and grow past their run, and a delete.
    const std::string a = host_file("a.nds", 3 * K + 5000, 1), b = host_file("b.sav", 300, 2),
                      c = host_file("c.bin", K, 3), d = host_file("d.txt", 2 * K + 17, 4);
    copy_batch({a, b, c, d});
    host_file("b.sav", 2 * K + 100, 5);  // no longer fits where it was
    host_file("a.nds", K / 2, 6);        // shrinks in place
    host_file("d.txt", 4 * K, 7);        // grows past its run
    copy_batch({b, a, d});
    ASSERT_EQ(delete_ob_file(DRIVE, "c.bin"), 0);
    EXPECT_EQ(hex(image_digest(*card)), "be431837266afca7") << "after the copies";
}
