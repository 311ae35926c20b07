// A scriptable drive for tests: its descriptor bytes, media type and capacity are
// whatever the test says, its sectors live in sparse memory (a 2 GiB card costs only
// the sectors written), it counts every transfer, and it fails on command.
#pragma once

#include "testing/card_model.h"
#include "device/drive_layer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace drive_layer {

struct FakeCounters {
    uint64_t opens = 0;
    uint64_t reads = 0;          // read calls that reached the medium
    uint64_t writes = 0;         // write calls that reached the medium
    uint64_t bytes_read = 0;
    uint64_t bytes_written = 0;
    uint64_t flushes = 0;
    std::map<uint32_t, uint64_t> read_sizes;   // bytes per call -> number of calls
    std::map<uint32_t, uint64_t> write_sizes;
};

class FakeDrive : public DriveSource, public std::enable_shared_from_this<FakeDrive> {
public:
    // A removable drive of `capacity` bytes with a plain descriptor.
    explicit FakeDrive(uint64_t capacity, uint32_t media_type = MEDIA_REMOVABLE);

    // --- scripting -------------------------------------------------------------
    void set_descriptor(std::vector<uint8_t> bytes);    // what the property query returns
    void set_descriptor_fails(bool fails);              // the property query is refused
    void set_geometry(const DiskGeometry& g);           // replaces media type and capacity
    void set_geometry_fails(bool fails);                // e.g. a reader without a card
    void set_media_type(uint32_t media_type);
    void set_capacity(uint64_t capacity);               // also resizes the geometry
    void set_open_fails(bool fails);                    // the drive is absent or locked

    // Faults, counted from now on (1-based): the k-th read/write call fails and moves
    // nothing. 0 switches the fault off.
    void fail_read_at(uint64_t k);
    void fail_write_at(uint64_t k);
    // Every read/write call from the k-th on fails.
    void fail_reads_from(uint64_t k);
    void fail_writes_from(uint64_t k);
    // The k-th flush call from now on fails (1-based): what was written before it stays
    // on the medium, but the caller is told the flush did not happen. 0 switches it off.
    void fail_flush_at(uint64_t k);
    // Transfers move at most this many bytes per call and report the short count.
    void set_short_transfers(uint32_t max_bytes);       // 0 = off
    // The drive vanishes after the k-th transfer (read or write): later transfers,
    // queries and opens fail.
    void vanish_after(uint64_t k);
    void vanish_now();
    // Power cut after the k-th write call: that write and every earlier one reach the
    // medium; later writes report success but are lost. 0 switches it off.
    void power_cut_after_write(uint64_t k);
    bool power_is_cut() const;
    void restore_power();                              // ends the cut, keeps what survived
    // A drive with a volatile write cache. Real cards may reorder the writes between
    // two flushes, so code whose order matters must flush between the steps; this
    // makes a missing flush show. With a survivor mask set, the drive remembers the
    // writes since the last flush, and at the power cut only those whose bit is set
    // stay on the medium: bit 0 is the write the cut follows, bit 1 the one before it,
    // and so on (writes further back than 63 always stay). ~0 (the default) keeps them
    // all, in program order; 1 keeps only the last, as if the cache had written it
    // first.
    void set_power_cut_survivors(uint64_t survivors);
    // How many writes since the last flush the last power cut found in the cache.
    uint64_t unflushed_at_cut() const;

    // Timing as a real card would take it (a benchmark option): every transfer and
    // flush from now on runs the card model's virtual clock, and its bytes are counted
    // by the kind of area they fall in.
    void set_card_model(const CardModel& model);
    void set_card_areas(std::vector<CardArea> areas);

    // --- inspection ------------------------------------------------------------
    FakeCounters counters() const;
    CardModelCounters card_counters() const;
    void reset_counters();  // the card model's clock and counts too
    uint64_t capacity() const;
    // Direct access to the medium, bypassing counters and faults.
    void peek(uint64_t byte_offset, void* out, size_t length) const;
    void poke(uint64_t byte_offset, const void* data, size_t length);
    std::vector<uint8_t> peek(uint64_t byte_offset, size_t length) const;
    // A deep copy of the medium and the scripting (counters and faults reset).
    std::shared_ptr<FakeDrive> clone() const;

    // --- DriveSource -------------------------------------------------------------
    std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) override;
    std::string describe() const override { return "fake"; }

private:
    friend class FakeHandle;
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace drive_layer
