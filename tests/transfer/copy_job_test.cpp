// A copy's settings belong to the job that runs it: a batch's progress, cancel flag
// and verify switch reach its own copies and nothing else, on a card object of its
// own; the default job (the fixed routines') keeps what it had, whichever way the
// batch ends.
#include "obfs/card.h"
#include "support/card_object.h"
#include "support/test_cards.h"
#include "transfer/copy_batch.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <gtest/gtest.h>

using drive_layer::FakeDrive;
using testcards::CardOnDrive;

namespace {

constexpr uint8_t DRIVE = 9;
constexpr uint32_t CARD_BYTES = 16u << 20;

struct JobCase {
    bool verify;
    bool cancel_before;   // the job's cancel flag is set before the copy
    CopyEnd end;
};

class CopyJobSettings : public ::testing::TestWithParam<JobCase> {};

struct Counted {
    uint64_t bytes = 0;
    static void on_chunk(void* context, uint32_t bytes) { static_cast<Counted*>(context)->bytes += bytes; }
};

TEST_P(CopyJobSettings, BelongToTheBatch) {
    const JobCase c = GetParam();
    auto drive = std::make_shared<FakeDrive>(CARD_BYTES);
    testcards::write_blank_volume(*drive, CARD_BYTES);
    CardOnDrive card(DRIVE, drive);
    testcards::TempDir dir;
    const auto bytes = testcards::pattern_bytes(3 << 20, 7);
    testcards::write_host_file(dir.file("game.nds"), bytes);

    const CopyJob before = default_copy_job();
    Counted counted;
    std::atomic<bool> cancel{c.cancel_before};
    CopyJob job;
    job.diagnostics = nullptr;
    job.verify = c.verify;
    job.progress = &Counted::on_chunk;
    job.progress_context = &counted;
    job.cancel = &cancel;
    const uint64_t opens = card.drive().counters().opens;
    {
        CopyBatch batch(card.card(), job);
        EXPECT_EQ(batch.copy_to_card(dir.file("game.nds"), DRIVE), c.end);
        EXPECT_EQ(batch.last_end(), c.end);
        batch.end();
    }
    // The mount opens the drive twice (its probe, then the sector access); a read-back
    // opens it once more, past every cache.
    const bool complete = c.end == CopyEnd::Complete;
    EXPECT_EQ(card.drive().counters().opens - opens, 2u + (complete && c.verify ? 1u : 0u));
    EXPECT_EQ(counted.bytes, complete ? bytes.size() : 0u);
    EXPECT_EQ(default_copy_job().verify, before.verify);
    EXPECT_EQ(default_copy_job().progress, before.progress);
    EXPECT_EQ(default_copy_job().cancel, before.cancel);
    EXPECT_FALSE(verify_after_write()) << "no switch is left on by a batch";
}

INSTANTIATE_TEST_SUITE_P(Cases, CopyJobSettings,
                         ::testing::Values(JobCase{false, false, CopyEnd::Complete},
                                           JobCase{true, false, CopyEnd::Complete},
                                           JobCase{true, true, CopyEnd::Cancelled}));

}  // namespace
