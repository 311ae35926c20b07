// Moving to another card, on two card objects in one process: the target formatted
// for its own model and size (larger or smaller than the source), every file or a
// chosen set with what comes along, the menu area, the read-back, the refusals that
// leave the target untouched, and a cancel that leaves a whole volume.
#include "maintenance/card_check.h"
#include "maintenance/card_clone.h"
#include "maintenance/card_models.h"
#include "maintenance/menu_install.h"
#include "obfs/allocator.h"
#include "support/card_object.h"
#include "support/test_cards.h"
#include "transfer/copy_job.h"

#include <gtest/gtest.h>

#include <atomic>

using drive_layer::FakeDrive;
using testcards::CardOnDrive;
using testcards::pattern_bytes;

namespace {

constexpr uint8_t FROM = 5, TO = 6;
constexpr uint32_t K = OBFS_CLUSTER_BYTES;
constexpr uint32_t SOURCE_BYTES = 24u << 20;
using Files = std::map<std::string, std::vector<uint8_t>>;

const Files SOURCE_FILES = {
    {"game.nds", pattern_bytes(10 * K + 123, 1)},  {"game.sav", pattern_bytes(K / 2, 2)},
    {"other.nds", pattern_bytes(12 * K, 3)},       {"other.sav", pattern_bytes(K, 4)},
    {"savelist.bin", pattern_bytes(900, 5)},       {"save_info.dat", pattern_bytes(40, 6)},
    {"sd_speed.ini", {'1', '4'}},                  {"empty.txt", {}},
};

// A card with a blank volume of `bytes`, partition starts after entry 0 in `starts`.
std::shared_ptr<FakeDrive> blank(uint32_t bytes, const std::vector<uint32_t>& starts = {}) {
    auto drive = std::make_shared<FakeDrive>(bytes);
    testcards::write_blank_volume(*drive, bytes, {}, starts);
    return drive;
}

struct CloneCase {
    const char* what;
    uint32_t target_bytes;      // 0: the target has no volume (16 MiB of zeros)
    std::vector<uint32_t> target_starts;
    int model_row;
    std::vector<std::string> names;
    CloneOutcome outcome;
    std::vector<std::string> expect_files;  // empty with Done: all of SOURCE_FILES
};

class CardClone : public ::testing::TestWithParam<CloneCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(source.mount());
        for (const auto& [name, bytes] : SOURCE_FILES) ASSERT_TRUE(source.put(name, bytes)) << name;
        source.drive().poke(MENU_AREA_OFFSET, menu.data(), menu.size());
        source.drive().reset_counters();
    }

    CopyJob quiet() const {
        CopyJob job;
        job.diagnostics = nullptr;
        return job;
    }

    CardOnDrive source{FROM, blank(SOURCE_BYTES)};
    const std::vector<uint8_t> menu = pattern_bytes(MENU_AREA_BYTES, 9);
};

TEST_P(CardClone, OntoAnotherCard) {
    const CloneCase& c = GetParam();
    CardOnDrive target(TO, c.target_bytes ? blank(c.target_bytes, c.target_starts)
                                          : std::make_shared<FakeDrive>(16u << 20));
    const std::vector<uint8_t> target_before = target.drive().peek(0, 1u << 20);
    CloneOptions options;
    options.names = c.names;
    options.model_row = c.model_row;
    const CloneReport report = clone_card(source.card(), FROM, target.card(), TO, options, quiet());
    ASSERT_EQ(report.outcome, c.outcome) << c.what << ": " << report.why << report.subject;
    EXPECT_EQ(source.drive().counters().writes, 0u) << c.what << ": the source is only read";
    if (c.outcome == CloneOutcome::Refused) {
        EXPECT_EQ(target.drive().counters().writes, 0u) << c.what;
        EXPECT_EQ(target.drive().peek(0, 1u << 20), target_before) << c.what;
        return;
    }
    // A fresh card object sees what the medium holds.
    CardOnDrive fresh(TO, target.drive().clone());
    ASSERT_TRUE(fresh.mount()) << c.what;
    Files now;
    ASSERT_TRUE(fresh.files(&now));
    Files want;
    if (c.expect_files.empty()) want = SOURCE_FILES;
    for (const std::string& name : c.expect_files) want[name] = SOURCE_FILES.at(name);
    EXPECT_EQ(now, want) << c.what;
    EXPECT_EQ(fresh.drive().peek(MENU_AREA_OFFSET, MENU_AREA_BYTES), menu) << c.what;
    EXPECT_EQ(uint64_t(fresh.card().volume().header().disk_size), fresh.drive().capacity()) << c.what << ": its own size";
    EXPECT_TRUE(check_card(fresh.card(), TO, false).clean()) << c.what;
    if (!c.target_starts.empty()) {
        EXPECT_EQ(fresh.card().volume().partition_table[1], c.target_starts[0]) << c.what << ": its own model";
        EXPECT_NE(std::count(fresh.card().volume().cluster_map.begin(), fresh.card().volume().cluster_map.end(),
                             MAP_FENCE),
                  0) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardClone,
    ::testing::Values(
        CloneCase{"a bigger card keeps its own model", 64u << 20, {0x01000000}, -1, {}, CloneOutcome::Done, {}},
        CloneCase{"a smaller card that holds the files", 10u << 20, {}, -1, {}, CloneOutcome::Done, {}},
        CloneCase{"a card too small for the files", 6u << 20, {}, -1, {}, CloneOutcome::Refused, {}},
        CloneCase{"a chosen game brings its save and the side files", 16u << 20, {}, -1, {"game.nds"},
                  CloneOutcome::Done, {"game.nds", "game.sav", "savelist.bin", "save_info.dat", "sd_speed.ini"}},
        CloneCase{"a name the source does not hold", 16u << 20, {}, -1, {"missing.nds"}, CloneOutcome::Refused, {}},
        CloneCase{"a target without volume and no model", 0, {}, -1, {}, CloneOutcome::Refused, {}},
        CloneCase{"a target without volume, formatted for a model", 0, {}, 14, {}, CloneOutcome::Done, {}},
        CloneCase{"a row that is no model", 16u << 20, {}, 99, {}, CloneOutcome::Refused, {}}),
    [](const ::testing::TestParamInfo<CloneCase>& info) { return "case" + std::to_string(info.index); });

TEST_F(CardClone, TheSameDriveTwiceIsRefused) {
    const CloneReport report = clone_card(source.card(), FROM, source.card(), FROM, {}, quiet());
    EXPECT_EQ(report.outcome, CloneOutcome::Refused);
    EXPECT_EQ(source.drive().counters().writes, 0u);
}

// Cancelled in the middle of a file: the target holds a whole volume with the files
// finished before, each byte for byte, without the one cut short, and the check
// finds nothing.
TEST_F(CardClone, ACancelLeavesAWholeVolumeWithTheFilesBefore) {
    CardOnDrive target(TO, blank(16u << 20));
    struct Stopper {
        std::atomic<bool> cancel{false};
        uint64_t done = 0;
        static void on_chunk(void* context, uint32_t bytes) {
            auto* self = static_cast<Stopper*>(context);
            self->done += bytes;
            // In game.nds, the second file (the largest goes first), which takes two chunks.
            if (self->done > MENU_AREA_BYTES + 12 * K) self->cancel = true;
        }
    } stopper;
    CopyJob job = quiet();
    job.progress = &Stopper::on_chunk;
    job.progress_context = &stopper;
    job.cancel = &stopper.cancel;
    const CloneReport report = clone_card(source.card(), FROM, target.card(), TO, {}, job);
    ASSERT_EQ(report.outcome, CloneOutcome::Cancelled);
    EXPECT_EQ(report.copied, std::vector<std::string>{"other.nds"});
    CardOnDrive fresh(TO, target.drive().clone());
    ASSERT_TRUE(fresh.mount());
    Files now;
    ASSERT_TRUE(fresh.files(&now));
    EXPECT_EQ(now.size(), report.copied.size());
    for (const auto& [name, bytes] : now) EXPECT_EQ(bytes, SOURCE_FILES.at(name)) << name;
    EXPECT_TRUE(check_card(fresh.card(), TO, false).clean());
}

}  // namespace
