// cAFFile: reading and writing. Whole sectors move in one transfer of up to a cluster
// (256 sectors) straight between the caller's buffer and the drive; only a partial
// first or last sector of a call is staged in a 512-byte buffer. The counts report the
// bytes that really moved: a failed transfer ends the call before it.
#include "obfs/af_file.h"

#include "device/sector_io.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/obfs.h"

#include <algorithm>
#include <cstring>

namespace {

// The most sectors one transfer moves (4 MiB): a file's clusters lie back to back, so a
// call's whole sectors go out in one drive command however many clusters they span,
// and a card charges per command.
constexpr uint32_t MAX_RUN_SECTORS = 8192;

// The bytes a read may deliver from the start of the file: its size, but never more
// than its run holds within the data area. A damaged entry whose size exceeds its run
// (or whose run leaves the data area) would otherwise lead the reader into the clusters
// of other files or past the end of the volume.
uint32_t readable_bytes(cCard& card, const cOBFS& vol, uint32_t first, uint32_t last, uint32_t size) {
    const uint32_t clusters = allocatable_clusters(card);
    if (first >= clusters || last < first) return 0;
    const uint64_t run = (uint64_t(std::min(last, clusters - 1)) - first + 1) * vol.cluster_sectors() * 512;
    return uint32_t(std::min<uint64_t>(size, run));
}

}  // namespace

uint32_t cAFFile::read(void* buffer, uint32_t length) {
    if (!is_open || length == 0 || !buffer || !readable) return 0;
    const cOBFS& vol = card_.volume();
    if (!vol.mounted || first_cluster == NO_CLUSTER) return 0;
    const uint32_t end = readable_bytes(card_, vol, first_cluster, last_cluster, size);
    if (position >= end) return 0;
    const uint32_t want = std::min(length, end - position);
    const uint32_t cs = vol.cluster_sectors();
    // Appended bytes reach the card through the scratch sector, so whatever sector_buf
    // holds may be older than the file.
    if (appending) buf_valid = 0;

    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < want) {
        if (cur_sector >= cs) {  // bytes remain behind the end of this cluster
            ++cur_cluster;
            cur_sector = cur_offset = 0;
            buf_valid = 0;
        }
        const uint32_t left = want - done;
        const uint32_t sector = vol.cluster_to_sector(cur_cluster) + cur_sector;
        if (cur_offset > 0 || left < 512) {
            // A file's part sectors come straight from the drive, like its whole ones:
            // through the read window they would cost a card a 128 KiB read, and move
            // the window off the directory the next lookup needs.
            if (!buf_valid) {
                if (!card_.disk().read_run(sector, 1, sector_buf)) break;
                buf_valid = 1;
            }
            const uint32_t n = std::min(512 - cur_offset, left);
            std::memcpy(out + done, sector_buf + cur_offset, n);
            done += n;
            cur_offset += n;
            if (cur_offset == 512) {
                cur_offset = 0;
                ++cur_sector;
                buf_valid = 0;
            }
            continue;
        }
        // The bytes left lie within the run (readable_bytes), clusters back to back.
        const uint32_t n = std::min(left / 512, MAX_RUN_SECTORS);
        if (!card_.disk().read_run(sector, n, out + done)) break;
        done += n * 512;
        // The position ends inside the last cluster the transfer reached, at its end
        // when it filled it (the next iteration or the step below moves on from there).
        const uint32_t reached = cur_sector + n;
        cur_cluster += (reached - 1) / cs;
        cur_sector = (reached - 1) % cs + 1;
        buf_valid = 0;
    }
    // At the end of a cluster the position steps into the next one, unless the run
    // ends there (then it stays at the end of the last cluster).
    if (done == want && cur_sector >= cs && cur_cluster < last_cluster) {
        ++cur_cluster;
        cur_sector = 0;
        buf_valid = 0;
    }
    position += done;
    return done;
}

uint32_t cAFFile::send_to_file(host::Descriptor out_fd, uint32_t length) {
    if (!is_open || length == 0 || out_fd < 0 || !readable) return 0;
    const cOBFS& vol = card_.volume();
    if (!vol.mounted || first_cluster == NO_CLUSTER) return 0;
    const uint32_t end = readable_bytes(card_, vol, first_cluster, last_cluster, size);
    if (position >= end) return 0;
    const uint32_t want = std::min(length, end - position);
    // A file is one run of clusters: its bytes from the position on lie back to back.
    const uint64_t at = uint64_t(vol.cluster_to_sector(first_cluster)) * SECTOR_BYTES + position;
    uint32_t sent = 0;
    card_.disk().send_to_file(at, want, out_fd, &sent);
    move_read_position(position + sent);
    return sent;
}

// Puts the read position at `to` bytes into the run, in the state read() leaves there:
// at the end of a cluster it has stepped into the next one, unless the run ends.
void cAFFile::move_read_position(uint32_t to) {
    const uint32_t cluster_bytes = card_.volume().cluster_sectors() * SECTOR_BYTES;
    uint32_t index = to / cluster_bytes;
    uint32_t within = to % cluster_bytes;
    if (within == 0 && index > 0 && first_cluster + index > last_cluster) {
        --index;
        within = cluster_bytes;
    }
    cur_cluster = first_cluster + index;
    cur_sector = within / SECTOR_BYTES;
    cur_offset = within % SECTOR_BYTES;
    buf_valid = 0;
    position = to;
}

uint32_t cAFFile::write(const void* buffer, uint32_t length) {
    if (!is_open || length == 0 || !buffer || (!writable && !appending)) return 0;
    const cOBFS& vol = card_.volume();
    if (!vol.mounted || first_cluster == NO_CLUSTER) return 0;
    const uint32_t cs = vol.cluster_sectors();

    // A writable stream writes at its position through sector_buf; an appending one at
    // the end of the file through the shared scratch sector, which it never trusts from
    // one call to the next.
    const bool at_position = writable != 0;
    uint32_t& cluster = at_position ? cur_cluster : append_cluster;
    uint32_t& sector_index = at_position ? cur_sector : append_sector;
    uint32_t& offset = at_position ? cur_offset : append_offset;
    uint8_t* staged = at_position ? sector_buf : card_.scratch_sector();
    bool staged_valid = at_position && buf_valid;
    const uint64_t start = at_position ? position : size;
    const uint64_t old_size = size;

    const auto* in = static_cast<const uint8_t*>(buffer);
    uint32_t taken = 0;
    while (taken < length) {
        if (sector_index >= cs) {  // the end of a cluster: go on into the run, or grow it
            if (cluster < last_cluster) {
                ++cluster;
            } else {
                const uint32_t next = extend_cluster(card_, cluster);
                if (next == cluster || next == NO_RUN) break;  // the next cluster is taken
                cluster = last_cluster = next;
            }
            sector_index = offset = 0;
            staged_valid = false;
        }
        const uint32_t left = length - taken;
        const uint32_t sector = vol.cluster_to_sector(cluster) + sector_index;
        if (offset > 0 || left < 512) {
            const uint32_t n = std::min(512 - offset, left);
            if (!staged_valid) {
                // The bytes around the written ones are kept when they belong to the
                // file; behind its end they are zeros, and nothing needs reading.
                const bool keeps_file_bytes = offset > 0 || start + taken + n < old_size;
                if (keeps_file_bytes) {
                    if (!card_.disk().read_sector(sector, staged)) break;
                } else {
                    std::memset(staged, 0, 512);
                }
                staged_valid = true;
            }
            std::memcpy(staged + offset, in + taken, n);
            if (!card_.disk().write_sectors(sector, 1, staged)) {
                staged_valid = false;  // the buffer now differs from the card
                break;
            }
            taken += n;
            offset += n;
            if (offset == 512) {
                offset = 0;
                ++sector_index;
                staged_valid = false;
            }
            continue;
        }
        // The whole sectors of this call in one transfer: the rest of this cluster,
        // then the clusters after it, grown into as the call needs them (in memory, as
        // cluster by cluster growth does; the map reaches the card when the stream closes).
        const uint32_t wanted = std::min(left / 512, MAX_RUN_SECTORS);
        uint32_t n = std::min(cs - sector_index, wanted);
        uint32_t end_cluster = cluster;
        while (n < wanted) {
            if (end_cluster < last_cluster) {
                ++end_cluster;
            } else {
                const uint32_t next = extend_cluster(card_, end_cluster);
                if (next == end_cluster || next == NO_RUN) break;  // the next cluster is taken
                end_cluster = last_cluster = next;
            }
            n += std::min(cs, wanted - n);
        }
        if (!card_.disk().write_run(sector, n, in + taken)) break;
        taken += n * 512;
        const uint32_t reached = sector_index + n;
        cluster += (reached - 1) / cs;
        sector_index = (reached - 1) % cs + 1;
        staged_valid = false;
    }

    if (at_position) {
        buf_valid = staged_valid ? 1 : 0;
        position += taken;
        size = std::max(size, position);
    } else {
        size += taken;
    }
    return taken;
}
