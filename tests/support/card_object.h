// A card for tests that work on card objects: a fake drive attached as drive n for as
// long as the object lives, with a cCard of its own. Nothing to reset afterwards.
#pragma once

#include "obfs/card.h"
#include "testing/fake_drive.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testcards {

class CardOnDrive {
public:
    // Attaches `drive` as drive n (replacing what was there).
    CardOnDrive(uint8_t n, std::shared_ptr<drive_layer::FakeDrive> drive);
    ~CardOnDrive();
    CardOnDrive(const CardOnDrive&) = delete;
    CardOnDrive& operator=(const CardOnDrive&) = delete;

    uint8_t n() const { return n_; }
    drive_layer::FakeDrive& drive() { return *drive_; }
    cCard& card() { return card_; }
    bool mount() { return card_.mount(n_); }
    // Writes a card file through this card's own stream (the volume must be mounted).
    bool put(const std::string& name, const std::vector<uint8_t>& bytes);
    // Every file of the mounted volume with its bytes; false when a file does not read.
    bool files(std::map<std::string, std::vector<uint8_t>>* out);

private:
    uint8_t n_;
    std::shared_ptr<drive_layer::FakeDrive> drive_;
    cCard card_;
};

// The card the fault sweep and the power-cut suite clone from, in the same process as
// theirs: 24 MiB, the standard files and a larger one, a menu program area of test
// bytes, counters reset (so its writes after this can be counted: none, it is only read).
struct CloneSource {
    explicit CloneSource(uint8_t n);
    CardOnDrive card;
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<uint8_t> menu;
};

}  // namespace testcards
