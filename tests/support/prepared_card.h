// A card with a known set of files for tests that run an operation over and over on
// fresh copies of it (power cuts, failed writes): the card, copies of it, and the
// judgement of the state a completed operation leaves.
#pragma once

#include "testing/fake_drive.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testcards {

using Bytes = std::vector<uint8_t>;
using Files = std::map<std::string, Bytes>;

Bytes text_bytes(const std::string& text);

// The files of the tests' card, in the order they are laid out: keep_a.nds 0-1,
// old.sav 2-3, victim.dat 4-5, keep_b.txt 6, sd_speed.ini 7, small.bin 8-9, then
// `more` from cluster 10 on.
std::vector<std::pair<std::string, Bytes>> standard_files(const std::vector<std::pair<std::string, Bytes>>& more = {});

// A blank card of `card_bytes` attached as `drive`, holding `files` written in order
// through the volume; `before` receives them by name. Leaves the drive closed.
std::shared_ptr<drive_layer::FakeDrive> prepare_card(uint8_t drive, uint32_t card_bytes,
                                                     const std::vector<std::pair<std::string, Bytes>>& files,
                                                     Files* before);

// A fresh copy of `prepared` attached as `drive`, with the sector layer's and the
// menu installer's handles on the drive before it closed.
std::shared_ptr<drive_layer::FakeDrive> attach_copy(uint8_t drive, const drive_layer::FakeDrive& prepared);

// The files a card holds after an operation that wrote `written` and deleted `deleted`
// (everything before is gone after a format).
Files files_after(const Files& before, const Files& written, const std::set<std::string>& deleted, bool formats);

// What keeps the card on `drive` from holding exactly `want` with a clean check
// (empty when nothing).
std::string differences_from(uint8_t drive, const Files& want);

}  // namespace testcards
