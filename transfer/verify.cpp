#include "transfer/verify.h"

#include "device/medium_reader.h"
#include "device/sector_io.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"
#include "transfer/host_io.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> verify_on{false};

// Card and host files are read back in pieces of this size.
constexpr uint32_t VERIFY_CHUNK = 4u << 20;

constexpr uint64_t MIX_MULTIPLIER = 0xBF58476D1CE4E5B9ull;  // odd: multiplying is invertible

}  // namespace

void set_verify_after_write(bool on) { verify_on = on; }
bool verify_after_write() { return verify_on; }

void StreamChecksum::mix(uint64_t word) {
    state_ ^= word;
    state_ *= MIX_MULTIPLIER;
    state_ ^= state_ >> 31;  // invertible too, and spreads the high bits down
}

void StreamChecksum::add(const void* bytes, size_t length) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    length_ += length;
    while (length > 0 && pending_bytes_ != 0) {
        pending_ |= uint64_t(*p++) << (8 * pending_bytes_);
        --length;
        if (++pending_bytes_ == 8) {
            mix(pending_);
            pending_ = 0;
            pending_bytes_ = 0;
        }
    }
    for (; length >= 8; p += 8, length -= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);  // the host is little-endian, as is the card
        mix(word);
    }
    for (; length > 0; --length) pending_ |= uint64_t(*p++) << (8 * pending_bytes_++);
}

uint64_t StreamChecksum::value() const {
    // The unfinished word and the length close the stream, so a stream and the same
    // stream with zero bytes appended differ.
    StreamChecksum end = *this;
    end.mix(end.pending_);
    end.mix(end.length_);
    return end.state_;
}

bool verify_card_file(uint8_t drive, const std::string& card_name, const StreamChecksum& source) {
    const cOBFS& vol = volume();
    const uint32_t entry_sector = find_file_sector(card_name);
    MediumReader medium;
    if (!vol.mounted || entry_sector == NO_SECTOR || !medium.open(drive)) return false;
    uint8_t* buffer = medium.scratch(VERIFY_CHUNK);
    if (!buffer || !medium.read(uint64_t(entry_sector) * SECTOR_BYTES, buffer, SECTOR_BYTES)) return false;
    // The entry as the medium holds it: a card that lost the entry's last write would
    // read the old run.
    const uint32_t first = get_le32(buffer + DE_FIRST_CLUSTER);
    const uint32_t last = get_le32(buffer + DE_LAST_CLUSTER);
    const uint32_t size = get_le32(buffer + DE_SIZE);
    if (size != source.length()) return false;
    if (size == 0) return StreamChecksum().value() == source.value();
    if (first == NO_CLUSTER || first > last || last >= vol.cluster_count() ||
        uint64_t(size) > uint64_t(last - first + 1) * vol.cluster_sectors() * SECTOR_BYTES)
        return false;
    StreamChecksum card;
    const uint64_t start = uint64_t(vol.cluster_to_sector(first)) * SECTOR_BYTES;
    for (uint32_t at = 0; at < size;) {
        const uint32_t want = std::min(VERIFY_CHUNK, size - at);
        const uint32_t whole_sectors = (want + SECTOR_BYTES - 1) / SECTOR_BYTES * SECTOR_BYTES;
        if (!medium.read(start + at, buffer, whole_sectors)) return false;
        card.add(buffer, want);
        at += want;
    }
    return card.value() == source.value();
}

bool verify_host_file(const std::string& path, const StreamChecksum& source) {
    // Clean pages of the file go from the host's cache first, so a buffered read
    // (where direct reads are refused) comes from the disk too.
    const host::Descriptor fd = host::open_file(path, host::OPEN_READ);
    if (fd == host::NO_DESCRIPTOR) return false;
    host::done_with(fd, 0, 0);
    host::close_file(fd);
    HostReader reader;
    if (!reader.open(path) || reader.size() != source.length()) return false;
    AlignedBuffer buffer(VERIFY_CHUNK);
    if (!buffer.data()) return false;
    StreamChecksum host;
    for (;;) {
        uint32_t got = 0;
        if (!reader.read(buffer.data(), VERIFY_CHUNK, &got)) return false;
        if (got == 0) break;
        host.add(buffer.data(), got);
    }
    return host.value() == source.value();
}
