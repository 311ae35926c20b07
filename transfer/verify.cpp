#include "transfer/verify.h"

#include "device/medium_reader.h"
#include "device/sector_io.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"
#include "transfer/chunk_pipeline.h"
#include "transfer/host_io.h"
#include "transfer/transfer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

namespace {

// Card and host files are read back in pieces of this size.
constexpr uint32_t VERIFY_CHUNK = 4u << 20;

// Sums `size` bytes that `read` fills in chunks (`length` bytes at `at`, into a
// buffer of VERIFY_CHUNK bytes). A helper thread reads the next chunks while this one
// sums, so the check takes about the time of the reads alone.
using ChunkReadFn = std::function<bool(uint64_t at, uint32_t length, uint8_t* into)>;
bool sum_read_ahead(uint64_t size, ChunkedChecksum* sum, const ChunkReadFn& read) {
    const auto length_of = [&](size_t k) {
        return uint32_t(std::min<uint64_t>(VERIFY_CHUNK, size - k * uint64_t(VERIFY_CHUNK)));
    };
    const size_t chunks = size_t((size + VERIFY_CHUNK - 1) / VERIFY_CHUNK);
    ChunkPipeline pipeline(chunks, VERIFY_CHUNK,
                           [&](size_t k, uint8_t* into) { return read(k * uint64_t(VERIFY_CHUNK), length_of(k), into); });
    if (!pipeline.ready()) return false;
    for (size_t k = 0; k < chunks; ++k) {
        const uint8_t* chunk = pipeline.next();
        if (!chunk) return false;
        sum->add(chunk, length_of(k));
    }
    return true;
}

}  // namespace

void set_verify_after_write(bool on) { default_copy_job().verify = on; }
bool verify_after_write() { return default_copy_job().verify; }

uint64_t ChunkedChecksum::chunk_sum(const void* bytes, size_t length) { return StreamChecksum::of(bytes, length); }

void ChunkedChecksum::end_chunk(uint64_t sum) {
    chunk_sums_.add(&sum, sizeof sum);
    current_ = StreamChecksum();
}

void ChunkedChecksum::add(const void* bytes, size_t length, const uint64_t* precomputed) {
    length_ += length;
    if (precomputed && length == CHUNK && current_.length() == 0) {
        end_chunk(*precomputed);
        return;
    }
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const size_t take = std::min<size_t>(length, CHUNK - current_.length());
        current_.add(p, take);
        p += take;
        length -= take;
        if (current_.length() == CHUNK) end_chunk(current_.value());
    }
}

uint64_t ChunkedChecksum::value() const {
    ChunkedChecksum end = *this;
    if (end.current_.length() > 0) end.end_chunk(end.current_.value());
    return end.chunk_sums_.value();
}

bool verify_card_file(cCard& card, const std::string& card_name, const ChunkedChecksum& source) {
    const cOBFS& vol = card.volume();
    const uint32_t entry_sector = find_file_sector(card, card_name);
    MediumReader medium;
    if (!vol.mounted || entry_sector == NO_SECTOR || !medium.open(vol.drive())) return false;
    uint8_t* buffer = medium.scratch(SECTOR_BYTES);
    if (!buffer || !medium.read(uint64_t(entry_sector) * SECTOR_BYTES, buffer, SECTOR_BYTES)) return false;
    // The entry as the medium holds it: a card that lost the entry's last write would
    // read the old run.
    const uint32_t first = get_le32(buffer + DE_FIRST_CLUSTER);
    const uint32_t last = get_le32(buffer + DE_LAST_CLUSTER);
    const uint32_t size = get_le32(buffer + DE_SIZE);
    if (size != source.length()) return false;
    if (size == 0) return ChunkedChecksum().value() == source.value();
    if (first == NO_CLUSTER || first > last || last >= vol.cluster_count() ||
        uint64_t(size) > uint64_t(last - first + 1) * vol.cluster_sectors() * SECTOR_BYTES)
        return false;
    const uint64_t start = uint64_t(vol.cluster_to_sector(first)) * SECTOR_BYTES;
    ChunkedChecksum on_card;
    const bool read = sum_read_ahead(size, &on_card, [&](uint64_t at, uint32_t length, uint8_t* into) {
        return medium.read(start + at, into, (length + SECTOR_BYTES - 1) / SECTOR_BYTES * SECTOR_BYTES);
    });
    return read && on_card.value() == source.value();
}

bool verify_host_file(const std::string& path, const ChunkedChecksum& source) {
    // Clean pages of the file go from the host's cache first, so a buffered read
    // (where direct reads are refused) comes from the disk too.
    const host::Descriptor fd = host::open_file(path, host::OPEN_READ);
    if (fd == host::NO_DESCRIPTOR) return false;
    host::done_with(fd, 0, 0);
    host::close_file(fd);
    HostReader reader;
    if (!reader.open(path) || reader.size() != source.length()) return false;
    ChunkedChecksum host;
    const bool read = sum_read_ahead(reader.size(), &host, [&](uint64_t at, uint32_t length, uint8_t* into) {
        uint32_t got = 0;
        return reader.read_at(at, into, VERIFY_CHUNK, &got) && got == length;
    });
    return read && host.value() == source.value();
}
