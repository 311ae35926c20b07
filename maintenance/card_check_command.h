// The card check as the window's Tools menu offers it ("检查SD卡"): check the card,
// show the report, and on the user's Yes mend what can be mended and show what was
// changed. Runs synchronously on the calling thread, which must be the only one using
// the card; every box goes through the message seam.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class CardCheckOutcome {
    NoVolume,   // nothing to check: the drive does not open or holds no usable volume
    Clean,      // no problem found
    Kept,       // problems found, the user declined the repair
    Repaired,   // problems found and the repair ran
};

// At most this many report lines go into one box; the rest are counted.
constexpr size_t CHECK_LINES_SHOWN = 20;

// Checks the volume on `drive` and shows the report. When problems were found it asks
// whether to repair them (No by default); after a repair `refresh_card_list` (if any)
// runs and the changes are shown, with what a second check still finds.
CardCheckOutcome check_card_command(uint8_t drive, const std::function<void()>& refresh_card_list = {});

// The report lines as one box text: a heading, then the lines one to a row, cut after
// CHECK_LINES_SHOWN with a count of the rest.
std::string check_box_text(const std::string& heading, const std::vector<std::string>& lines);
