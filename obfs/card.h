// One open card: a drive with its sector access (read window, read-ahead, owed
// flushes), the volume mounted on it (superblock, cluster map, name-hash table,
// partition table) and the scratch sector its streams share. Everything that works on
// a card is handed one, as a mounted volume is handed to every call that works on it:
// two cards are two objects, and a job on another thread works on its own.
//
// The default card is what the routines without a card argument work on (the disk_*
// sector routines, volume(), a cAFFile made without a card, the transfer routines
// that take a drive number): the callers that only ever knew one card.
//
// One thread at a time uses a card.
#pragma once

#include "device/sector_io.h"
#include "obfs/obfs.h"

#include <cstdint>
#include <memory>

class cCard {
public:
    // A card with a drive access of its own; no drive is open yet.
    cCard();
    cCard(const cCard&) = delete;
    cCard& operator=(const cCard&) = delete;

    cDisk& disk() { return *disk_; }
    cOBFS& volume() { return volume_; }
    const cOBFS& volume() const { return volume_; }
    // Shared by the card's append writes and its streams' close().
    uint8_t* scratch_sector() { return scratch_; }

    // Opens `drive` and mounts its volume (cOBFS::mount).
    bool mount(uint8_t drive) { return volume_.mount(drive); }
    uint8_t drive() const { return volume_.drive(); }

private:
    friend cCard& default_card();
    explicit cCard(cDisk& shared_disk);

    std::unique_ptr<cDisk> own_disk_;
    cDisk* disk_;
    cOBFS volume_;
    uint8_t scratch_[512] = {};
};

// The card of the routines without a card argument; its drive is default_disk().
cCard& default_card();
