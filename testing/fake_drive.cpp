// The scriptable test drive. Its medium is a map of 4 KiB chunks that exist only once
// something other than zeros was written to them, so a 2 GiB card costs what was
// written. Every call takes the drive's mutex: a copy worker and the test's own
// thread may use the same drive.
#include "testing/fake_drive.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace drive_layer {

namespace {

constexpr uint64_t CHUNK_BYTES = 4096;

bool all_zero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

}  // namespace

struct FakeDrive::State {
    mutable std::mutex mutex;

    // Scripting.
    uint64_t capacity = 0;
    DiskGeometry geometry;
    std::vector<uint8_t> descriptor;
    bool descriptor_fails = false;
    bool geometry_fails = false;
    bool open_fails = false;

    // Faults. Call numbers are absolute (1-based, counted since the drive was made);
    // 0 means off.
    uint64_t read_calls = 0, write_calls = 0, transfer_calls = 0;
    uint64_t fail_read_call = 0, fail_write_call = 0;
    uint64_t fail_reads_from_call = 0, fail_writes_from_call = 0;
    uint64_t flush_calls = 0, fail_flush_call = 0;
    uint32_t short_max = 0;
    uint64_t vanish_after_call = 0;
    bool vanished = false;
    uint64_t power_cut_after_call = 0;
    bool power_cut = false;
    // The volatile cache of set_power_cut_survivors: what each write since the last
    // flush replaced and what it wrote.
    struct CachedWrite {
        uint64_t offset;
        std::vector<uint8_t> before, after;
    };
    uint64_t cut_survivors = ~0ull;
    std::vector<CachedWrite> unflushed;
    uint64_t writes_since_flush = 0;
    uint64_t unflushed_at_cut = 0;

    FakeCounters counters;
    CardClock clock;
    std::unordered_map<uint64_t, std::unique_ptr<uint8_t[]>> chunks;

    void read_medium(uint64_t offset, uint8_t* out, size_t length) const {
        while (length > 0) {
            const uint64_t index = offset / CHUNK_BYTES, within = offset % CHUNK_BYTES;
            const size_t n = size_t(std::min<uint64_t>(length, CHUNK_BYTES - within));
            auto it = chunks.find(index);
            if (it == chunks.end())
                std::memset(out, 0, n);  // never written: reads as zeros
            else
                std::memcpy(out, it->second.get() + within, n);
            offset += n;
            out += n;
            length -= n;
        }
    }

    void write_medium(uint64_t offset, const uint8_t* in, size_t length) {
        while (length > 0) {
            const uint64_t index = offset / CHUNK_BYTES, within = offset % CHUNK_BYTES;
            const size_t n = size_t(std::min<uint64_t>(length, CHUNK_BYTES - within));
            auto it = chunks.find(index);
            if (it == chunks.end() && !all_zero(in, n)) {
                auto chunk = std::make_unique<uint8_t[]>(CHUNK_BYTES);  // zero-filled
                it = chunks.emplace(index, std::move(chunk)).first;
            }
            if (it != chunks.end()) std::memcpy(it->second.get() + within, in, n);
            offset += n;
            in += n;
            length -= n;
        }
    }

    // The cut with a reordering cache: the writes since the last flush are undone, then
    // those that survive are written again in program order.
    void keep_only_survivors() {
        for (auto it = unflushed.rbegin(); it != unflushed.rend(); ++it)
            write_medium(it->offset, it->before.data(), it->before.size());
        for (size_t i = 0; i < unflushed.size(); ++i) {
            const size_t back = unflushed.size() - 1 - i;  // 0 for the last write
            if (back >= 64 || (cut_survivors >> back) & 1)
                write_medium(unflushed[i].offset, unflushed[i].after.data(), unflushed[i].after.size());
        }
        unflushed.clear();
    }

    // A transfer call that reached the drive: faults, the end of the medium, short
    // transfers and the power cut decide what moves.
    bool transfer(bool writing, uint64_t* position, uint8_t* buffer, uint32_t length, uint32_t* done);
};

// A handle keeps the drive's state alive and has its own position, like a host
// handle on a device.
class FakeHandle : public DriveHandle {
public:
    FakeHandle(std::shared_ptr<FakeDrive::State> state, Access access) : state_(std::move(state)), access_(access) {}

    bool seek(uint64_t byte_offset) override {
        position_ = byte_offset;
        return true;
    }
    bool read(void* buffer, uint32_t length, uint32_t* done) override {
        return state_->transfer(false, &position_, static_cast<uint8_t*>(buffer), length, done);
    }
    bool write(const void* buffer, uint32_t length, uint32_t* done) override {
        if (done) *done = 0;
        if (access_ != READ_WRITE) return false;  // opened read-only
        return state_->transfer(true, &position_, const_cast<uint8_t*>(static_cast<const uint8_t*>(buffer)),
                                length, done);
    }
    bool flush() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->vanished) return false;
        ++state_->counters.flushes;
        if (++state_->flush_calls == state_->fail_flush_call) return false;
        state_->clock.flush();
        if (!state_->power_cut) {
            state_->unflushed.clear();
            state_->writes_since_flush = 0;
        }
        return true;
    }
    bool query_descriptor(std::vector<uint8_t>& out, size_t capacity) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->vanished || state_->descriptor_fails) return false;
        out.assign(state_->descriptor.begin(),
                   state_->descriptor.begin() + std::min(capacity, state_->descriptor.size()));
        return true;
    }
    bool query_geometry(DiskGeometry& out) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->vanished || state_->geometry_fails) return false;
        out = state_->geometry;
        return true;
    }

private:
    std::shared_ptr<FakeDrive::State> state_;
    Access access_;
    uint64_t position_ = 0;
};

bool FakeDrive::State::transfer(bool writing, uint64_t* position, uint8_t* buffer, uint32_t length,
                                uint32_t* done) {
    std::lock_guard<std::mutex> lock(mutex);
    if (done) *done = 0;
    if (vanished || (!buffer && length)) return false;
    const uint64_t call = writing ? ++write_calls : ++read_calls;
    ++transfer_calls;
    if (vanish_after_call && transfer_calls >= vanish_after_call) vanished = true;  // after this one

    const bool faulted = writing ? (call == fail_write_call || (fail_writes_from_call && call >= fail_writes_from_call))
                                 : (call == fail_read_call || (fail_reads_from_call && call >= fail_reads_from_call));
    if (faulted) return false;

    // Like a block device: nothing exists at or after the end of the medium, so a read
    // there succeeds with 0 bytes and a write there fails for lack of space; a
    // transfer that runs over the end moves the part that exists.
    const uint64_t available = *position < capacity ? capacity - *position : 0;
    uint32_t moved = uint32_t(std::min<uint64_t>(length, available));
    const bool clipped_by_end = moved < length;
    if (short_max) moved = std::min(moved, short_max);

    FakeCounters& c = counters;
    clock.transfer(writing, *position, moved);
    if (writing) {
        ++c.writes;
        c.bytes_written += moved;
        ++c.write_sizes[length];
        // Once the power is cut the drive still acknowledges writes but keeps nothing.
        if (!power_cut) {
            ++writes_since_flush;
            if (cut_survivors != ~0ull) {
                CachedWrite w{*position, std::vector<uint8_t>(moved), std::vector<uint8_t>(buffer, buffer + moved)};
                read_medium(*position, w.before.data(), moved);
                unflushed.push_back(std::move(w));
            }
            write_medium(*position, buffer, moved);
        }
        if (power_cut_after_call && call == power_cut_after_call) {
            power_cut = true;
            unflushed_at_cut = writes_since_flush;
            if (cut_survivors != ~0ull) keep_only_survivors();
        }
    } else {
        ++c.reads;
        c.bytes_read += moved;
        ++c.read_sizes[length];
        read_medium(*position, buffer, moved);
    }
    *position += moved;
    if (done) *done = moved;
    return !(writing && clipped_by_end && moved == available);
}

FakeDrive::FakeDrive(uint64_t capacity, uint32_t media_type) : state_(std::make_shared<State>()) {
    state_->capacity = capacity;
    state_->geometry = geometry_for_capacity(capacity, media_type);
    state_->descriptor = make_identity_descriptor("Fake", "Drive", "FAKE0001", media_type == MEDIA_REMOVABLE);
}

void FakeDrive::set_descriptor(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->descriptor = std::move(bytes);
}

void FakeDrive::set_descriptor_fails(bool fails) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->descriptor_fails = fails;
}

void FakeDrive::set_geometry(const DiskGeometry& g) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->geometry = g;
    state_->capacity = uint64_t(g.cylinders) * g.tracks_per_cylinder * g.sectors_per_track * g.bytes_per_sector;
}

void FakeDrive::set_geometry_fails(bool fails) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->geometry_fails = fails;
}

void FakeDrive::set_media_type(uint32_t media_type) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->geometry.media_type = media_type;
}

void FakeDrive::set_capacity(uint64_t capacity) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->capacity = capacity;
    state_->geometry = geometry_for_capacity(capacity, state_->geometry.media_type);
}

void FakeDrive::set_open_fails(bool fails) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->open_fails = fails;
}

void FakeDrive::fail_read_at(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fail_read_call = k ? state_->read_calls + k : 0;
}

void FakeDrive::fail_write_at(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fail_write_call = k ? state_->write_calls + k : 0;
}

void FakeDrive::fail_reads_from(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fail_reads_from_call = k ? state_->read_calls + k : 0;
}

void FakeDrive::fail_writes_from(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fail_writes_from_call = k ? state_->write_calls + k : 0;
}

void FakeDrive::fail_flush_at(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fail_flush_call = k ? state_->flush_calls + k : 0;
}

void FakeDrive::set_short_transfers(uint32_t max_bytes) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->short_max = max_bytes;
}

void FakeDrive::vanish_after(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->vanish_after_call = k ? state_->transfer_calls + k : 0;
}

void FakeDrive::vanish_now() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->vanished = true;
}

void FakeDrive::power_cut_after_write(uint64_t k) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->power_cut_after_call = k ? state_->write_calls + k : 0;
}

bool FakeDrive::power_is_cut() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->power_cut;
}

void FakeDrive::set_power_cut_survivors(uint64_t survivors) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->cut_survivors = survivors;
    state_->unflushed.clear();
    state_->writes_since_flush = 0;
}

uint64_t FakeDrive::unflushed_at_cut() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->unflushed_at_cut;
}

void FakeDrive::restore_power() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->power_cut = false;
    state_->power_cut_after_call = 0;
}

FakeCounters FakeDrive::counters() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->counters;
}

void FakeDrive::reset_counters() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->counters = FakeCounters{};
    state_->clock.reset();
}

void FakeDrive::set_card_model(const CardModel& model) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->clock.set_model(model);
}

void FakeDrive::set_card_areas(std::vector<CardArea> areas) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->clock.set_areas(std::move(areas));
}

CardModelCounters FakeDrive::card_counters() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->clock.counters();
}

uint64_t FakeDrive::capacity() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->capacity;
}

void FakeDrive::peek(uint64_t byte_offset, void* out, size_t length) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->read_medium(byte_offset, static_cast<uint8_t*>(out), length);
}

void FakeDrive::poke(uint64_t byte_offset, const void* data, size_t length) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->write_medium(byte_offset, static_cast<const uint8_t*>(data), length);
}

std::vector<uint8_t> FakeDrive::peek(uint64_t byte_offset, size_t length) const {
    std::vector<uint8_t> out(length);
    peek(byte_offset, out.data(), length);
    return out;
}

std::shared_ptr<FakeDrive> FakeDrive::clone() const {
    auto copy = std::make_shared<FakeDrive>(0);
    std::lock_guard<std::mutex> lock(state_->mutex);
    State& to = *copy->state_;  // not shared yet: no lock needed
    to.capacity = state_->capacity;
    to.geometry = state_->geometry;
    to.descriptor = state_->descriptor;
    to.descriptor_fails = state_->descriptor_fails;
    to.geometry_fails = state_->geometry_fails;
    to.open_fails = state_->open_fails;
    for (const auto& [index, chunk] : state_->chunks) {
        auto fresh = std::make_unique<uint8_t[]>(CHUNK_BYTES);
        std::memcpy(fresh.get(), chunk.get(), CHUNK_BYTES);
        to.chunks.emplace(index, std::move(fresh));
    }
    return copy;
}

std::unique_ptr<DriveHandle> FakeDrive::open(Access access, bool) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->open_fails || state_->vanished) return nullptr;
    ++state_->counters.opens;
    return std::make_unique<FakeHandle>(state_, access);
}

}  // namespace drive_layer
