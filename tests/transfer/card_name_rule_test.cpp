// One card-name rule both ways: whatever a copy onto the card refuses to create, a
// copy off the card refuses to write, and the other way round.
#include "device/sector_io.h"
#include "obfs/card_name.h"
#include "obfs/directory.h"
#include "support/test_cards.h"
#include "transfer/host_path.h"
#include "transfer/transfer.h"

#include <gtest/gtest.h>

namespace {

TEST(CardNameRule, TheSameNamesAreRefusedBothWays) {
    const std::string names[] = {
        "game.nds", "中文.sav", "-dash.nds", "sp ace", std::string(MAX_NAME_BYTES, 'n'),  // accepted
        "", ".", "..", "a/b", "a\\b", "tab\there", "new\nline", "esc\x1b[2J", "del\x7f", "bell\x07",
        std::string("nul\0in", 6), std::string(MAX_NAME_BYTES + 1, 'n'),
    };
    int accepted = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const bool fits = card_name_problem(name) == nullptr;
        EXPECT_EQ(valid_new_name(name), fits);        // onto the card
        EXPECT_EQ(card_name_fits_host(name), fits);   // off the card
        accepted += fits;
    }
    EXPECT_EQ(accepted, 5);
}

TEST(CardNameRule, TheControlRangesEndExactlyWhereTheyEnd) {
    // Each edge of C0 and DEL, and the printable bytes just beside them.
    struct Edge { unsigned char byte; bool fits; };
    for (const Edge e : {Edge{0x01, false}, Edge{0x1F, false}, Edge{0x20, true}, Edge{0x7E, true},
                         Edge{0x7F, false}}) {
        const std::string name = std::string("a") + char(e.byte) + "b.nds";
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << unsigned(e.byte));
        EXPECT_EQ(card_name_problem(name) == nullptr, e.fits);
        EXPECT_EQ(valid_new_name(name), e.fits);
        EXPECT_EQ(card_name_fits_host(name), e.fits);
    }
}

TEST(CardNameRule, TheReasonSaysWhatIsWrong) {
    EXPECT_NE(std::string(card_name_problem("a\tb")).find("control character"), std::string::npos);
    EXPECT_NE(std::string(card_name_problem("a\x7f")).find("DEL"), std::string::npos);
    EXPECT_NE(std::string(card_name_problem("a/b")).find("\"/\""), std::string::npos);
    EXPECT_NE(std::string(card_name_problem(std::string(300, 'x'))).find("259"), std::string::npos);
}

TEST(CardNameRule, ACopyOntoTheCardRefusesSuchAHostFileAndWritesNothing) {
    // The window's copies go this way too: the copy is refused, its failure box shows.
    auto card = testcards::blank_card(1, 16u << 20);
    testcards::TempDir host;
    const std::string path = host.file("tab\tname.nds");
    testcards::write_host_file(path, testcards::pattern_bytes(1000, 1));
    set_transfer_diagnostics(nullptr);
    card->reset_counters();
    EXPECT_FALSE(copy_win_to_ob(path, 1));
    EXPECT_EQ(last_copy_end(), CopyEnd::Refused);
    EXPECT_EQ(card->counters().writes, 0u);
    set_transfer_diagnostics(stdout);
    disk_close();
    drive_layer::drive_table().clear();
}

}  // namespace
