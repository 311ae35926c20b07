// cAFFile: an fopen-like byte stream on one file of a card's mounted volume (the
// card it is made with; the default card when made without one).
//
// Partial sectors pass through a 512-byte sector buffer; whole sectors and whole
// clusters go straight between the caller's buffer and the drive. A written file grows
// one 128 KiB cluster at a time into the free clusters after its run; closing a written
// stream records size and run in the directory entry and flushes the tables.
//
// A new file ("w" on a name the card does not hold) is only taken in memory at the
// open, its slot and its run's first cluster: the card learns of it at close(), when
// its bytes are written already, so a cut before then leaves the card as it was.
//
// Replacing a file ("w" on a file with clusters) writes the new bytes into a free run
// beside the old one when there is room, claimed in memory: the old file stays whole on
// the card until close() commits the new one, and discard() drops the new bytes and
// keeps it. Only
// when the new file needs the old clusters is the old run given up at the open.
#pragma once

#include "obfs/directory.h"
#include "platform/host_file.h"

#include <cstdint>
#include <string>

class cCard;

class cAFFile {
public:
    cAFFile();
    explicit cAFFile(cCard& card);
    ~cAFFile();
    cAFFile(const cAFFile&) = delete;
    cAFFile& operator=(const cAFFile&) = delete;

    bool open(const std::string& name, const char* mode, uint32_t size_hint);
    uint32_t read(void* buffer, uint32_t length);
    // Like read, but the bytes go from the drive straight into the host file `out_fd`
    // at its position. Returns the bytes that reached it; fewer than asked (0 included)
    // when the file ends, the drive cannot send this way or a transfer failed, and a
    // read from the new position then goes on the ordinary way.
    uint32_t send_to_file(host::Descriptor out_fd, uint32_t length);
    uint32_t write(const void* buffer, uint32_t length);
    // Ends the stream. For a written stream: whether the file was committed — tables,
    // directory entry and the drive flush all reached the card. A stream that was only
    // read closes with true. A replace beside the old run also reports false when the
    // old run could not be freed afterwards: the new file is committed then, and the
    // old clusters stay marked until a repair frees them.
    bool close();
    // Ends a written stream without committing what it wrote, where that can keep the
    // file's previous version: a replace beside the old run frees the new run and
    // leaves the old file as it was (true when that reached the card). Any other
    // stream is committed as close() does, and false is returned: the caller then
    // decides what becomes of the new file.
    bool discard();
    // Whether this stream replaces a file beside its old run (see above).
    bool keeps_old_until_close() const { return old_first_ != 0xFFFFFFFFu; }
    uint32_t get_size() const { return size; }

    uint32_t first_cluster = 0xFFFFFFFFu;
    uint32_t last_cluster = 0xFFFFFFFFu;
    uint32_t size = 0;
    uint32_t position = 0;
    uint32_t cur_cluster = 0xFFFFFFFFu;
    uint32_t cur_sector = 0;
    uint32_t cur_offset = 0;
    uint8_t sector_buf[512] = {};
    uint32_t append_cluster = 0;
    uint32_t append_sector = 0;
    uint32_t append_offset = 0;
    uint8_t readable = 0;
    uint8_t writable = 0;
    uint8_t appending = 0;
    uint8_t is_open = 0;
    uint32_t entry_sector = 0xFFFFFFFFu;
    // 1 while sector_buf holds the current content of the sector at the position; a
    // whole-sector transfer or a failed one clears it, and the buffer is then reloaded
    // (or zero-filled beyond the end of the file) before it is used again.
    uint8_t buf_valid = 0;

    cCard& card() const { return card_; }

private:
    bool commit_entry(bool* entry_written);
    bool commit_new_entry(bool* entry_written);
    bool release_replaced_run();
    bool discard_new_run();
    void reset_to_closed();
    void move_read_position(uint32_t to);
    bool open_existing(DirSector& entry, bool plus, uint32_t size_hint);
    bool open_truncated(const std::string& name, DirSector& entry, bool present, bool plus,
                        uint32_t size_hint);
    bool open_appending(const std::string& name, DirSector& entry, bool present, bool plus,
                        uint32_t size_hint);

    cCard& card_;
    // The run of the file being replaced, kept until close() (0xFFFFFFFF: none).
    uint32_t old_first_ = 0xFFFFFFFFu;
    uint32_t old_last_ = 0xFFFFFFFFu;
    // A new file whose entry reaches the card only at close(): the entry to write, and
    // whether the slot's sector on the card held a name when the stream opened.
    bool entry_pending_ = false;
    bool slot_named_on_card_ = false;
    DirSector new_entry_{};
};
