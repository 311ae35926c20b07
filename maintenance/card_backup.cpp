// Backup and restore of a whole card: the areas a volume uses, copied chunk by chunk
// with a checksum per chunk, and read back past every cache and compared (a backup's
// chunks while the later ones are still being copied, a restore's after its flush).
#include "maintenance/card_backup.h"

#include "common/checksum.h"
#include "device/drive_layer.h"
#include "device/medium_reader.h"
#include "device/sector_io.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/obfs.h"
#include "platform/host_file.h"
#include "transfer/chunk_pipeline.h"
#include "transfer/host_io.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <cstring>

namespace {

// Large pieces keep a card reader streaming; a multiple of the cluster and of 4 KiB.
constexpr uint32_t CHUNK_BYTES = 4u << 20;
// Direct transfers of host files and cards want whole blocks of this size.
constexpr uint32_t DIRECT_BLOCK = 4096;
// The read-back of a backup trails the writes by this many pieces.
constexpr size_t CHECK_LAG = 2;

// The pieces the copy goes in: each extent cut into chunks, in order of the card,
// with the superblock sector taken out and put last (it is written last).
struct Piece {
    uint64_t offset = 0;
    uint32_t length = 0;
    uint64_t sum = 0;   // checksum of the bytes copied
};

// `align`: the pieces cover the extents widened to whole blocks of this many bytes, so
// that direct transfers need no bounce buffer; the first block is the one put last.
std::vector<Piece> pieces_of(const std::vector<CardExtent>& extents, uint32_t align = SECTOR_BYTES,
                             uint64_t limit = UINT64_MAX) {
    std::vector<CardExtent> widened;
    for (const CardExtent& e : extents) {
        const uint64_t at = e.offset / align * align;
        const uint64_t end = std::min(limit, (e.offset + e.length + align - 1) / align * align);
        if (!widened.empty() && widened.back().offset + widened.back().length >= at)
            widened.back().length = std::max(widened.back().length, end - widened.back().offset);
        else
            widened.push_back({at, end - at});
    }
    std::vector<Piece> out;
    for (const CardExtent& e : widened) {
        uint64_t at = e.offset, end = e.offset + e.length;
        if (at == 0) at = align;  // the block with the superblock comes last
        for (; at < end; at += CHUNK_BYTES) out.push_back({at, uint32_t(std::min<uint64_t>(CHUNK_BYTES, end - at)), 0});
    }
    out.push_back({0, align, 0});
    return out;
}

uint64_t total_bytes(const std::vector<Piece>& pieces) {
    uint64_t total = 0;
    for (const Piece& p : pieces) total += p.length;
    return total;
}

bool all_zero(const uint8_t* bytes, uint32_t length) {
    return length == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, length - 1) == 0);
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// Writes whole sectors through the sector layer, at most 256 per call.
bool write_card(cCard& card, uint64_t offset, const uint8_t* bytes, uint32_t length) {
    const uint32_t first = uint32_t(offset / SECTOR_BYTES), sectors = length / SECTOR_BYTES;
    for (uint32_t done = 0; done < sectors;) {
        const uint32_t n = std::min(WINDOW_SECTORS, sectors - done);
        if (!card.disk().write_sectors(first + done, uint8_t(n == WINDOW_SECTORS ? 0 : n), bytes + size_t(done) * SECTOR_BYTES))
            return false;
        done += n;
    }
    return true;
}

CardImageReport failed(CardImageOutcome outcome, const std::string& why) {
    CardImageReport r;
    r.outcome = outcome;
    r.why = why;
    return r;
}

// The card image in a host file: its superblock checked as a mount checks it, and
// its cluster map.
bool read_image_volume(host::Descriptor fd, Superblock* sb, std::vector<uint8_t>* map, std::string* why) {
    host::FileStatus st;
    uint8_t sector[SECTOR_BYTES];
    if (!host::status_of(fd, &st) || st.kind != host::Kind::Regular || !host::read_all_at(fd, sector, SECTOR_BYTES, 0)) {
        *why = "cannot read the backup";
        return false;
    }
    if (!superblock_header_valid(sector)) {
        *why = "no OBFS superblock";
        return false;
    }
    *sb = Superblock::decode(sector);
    const uint32_t size = uint32_t(std::min<uint64_t>(st.size, MAX_DISK_SIZE));
    if (const char* problem = superblock_layout_problem(*sb, size)) {
        *why = problem;
        return false;
    }
    map->assign(sb->map_bytes, 0);
    if (!host::read_all_at(fd, map->data(), sb->map_bytes, uint64_t(sb->map_start) * SECTOR_BYTES)) {
        *why = "cannot read the backup's cluster map";
        return false;
    }
    return true;
}

// The same file (an image attached as the drive, or a device node)?
bool names_the_drive(uint8_t drive, const host::FileStatus& out) {
    const auto source = drive_layer::drive_table().source(drive);
    host::FileStatus st;
    if (!source || !host::status_of(source->describe(), &st)) return false;
    return st.device == out.device && st.file == out.file;
}

// The backup file as it is written: each piece sent on to the disk as soon as it is
// written (as the kernel would only at the end), and before its read-back waited for
// and dropped from the host's cache, so the read-back comes from the disk. Buffered
// writes beat direct ones here: the kernel joins them into long runs of the file.
class BackupFile {
public:
    explicit BackupFile(host::Descriptor fd) : fd_(fd) {}

    bool write_at(const uint8_t* bytes, uint32_t length, uint64_t offset) {
        if (!host::write_all_at(fd_, bytes, length, offset)) return false;
        host::start_writeback(fd_, offset, length);
        return true;
    }

    bool settle(uint64_t offset, uint32_t length) {
        if (!host::settle(fd_, offset, length)) return false;
        host::done_with(fd_, offset, length);
        return true;
    }

private:
    const host::Descriptor fd_;
};

// How many pieces the writer has finished, for the read-back to wait on; closed when
// the copy ends early, so the read-back stops.
class WrittenSoFar {
public:
    void reach(size_t pieces) {
        std::lock_guard<std::mutex> lock(mutex_);
        pieces_ = pieces;
        changed_.notify_all();
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    bool wait_for(size_t pieces) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || pieces_ >= pieces; });
        return pieces_ >= pieces;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t pieces_ = 0;
    bool closed_ = false;
};

// Copies the pieces from the card into the backup file and reads them back, three
// things at once: a helper reads the card ahead, this thread sums and writes each
// piece, and a second helper reads the pieces written so far back from the host's
// disk, each a few pieces after it was written. Sets `report` (Done when all went
// well); the file stays open.
void copy_and_check(uint8_t drive, host::Descriptor fd, const std::string& part_path, std::vector<Piece>& pieces,
                    const std::atomic<bool>* cancel, const CardImageProgressFn& progress, CardImageReport* report) {
    const auto end = [&](CardImageOutcome outcome, const char* why) {
        report->outcome = outcome;
        report->why = why;
    };
    MediumReader medium;
    HostReader back;
    if (!medium.open(drive)) return end(CardImageOutcome::Failed, "cannot open the drive for reading");
    if (!back.open(part_path)) return end(CardImageOutcome::Failed, "cannot read the backup back");
    BackupFile file(fd);
    WrittenSoFar written;
    ChunkPipeline from_card(pieces.size(), CHUNK_BYTES, [&](size_t k, uint8_t* into) {
        return medium.read(pieces[k].offset, into, pieces[k].length);
    });
    ChunkPipeline from_backup(pieces.size(), CHUNK_BYTES, [&](size_t k, uint8_t* into) {
        uint32_t got = 0;
        return written.wait_for(k + 1) && file.settle(pieces[k].offset, pieces[k].length) &&
               back.read_at(pieces[k].offset, into, pieces[k].length, &got) && got == pieces[k].length;
    });
    // Declared last, so it is done first on the way out: the read-back stops waiting.
    struct CloseOnReturn {
        WrittenSoFar& w;
        ~CloseOnReturn() { w.close(); }
    } close_on_return{written};
    if (!from_card.ready() || !from_backup.ready()) return end(CardImageOutcome::Failed, "not enough memory");

    const uint64_t total = total_bytes(pieces);
    uint64_t done = 0;
    size_t checked = 0;
    // The read-back of the next piece; false (with the report set) when it failed.
    const auto check_next = [&]() {
        const uint8_t* data = from_backup.next();
        if (!data) {
            end(CardImageOutcome::Failed, "cannot read the backup back");
            return false;
        }
        if (StreamChecksum::of(data, pieces[checked].length) != pieces[checked].sum) {
            end(CardImageOutcome::VerifyFailed, "the backup does not read back as written");
            return false;
        }
        done += pieces[checked].length;
        ++checked;
        if (progress) progress(done, 2 * total);
        return true;
    };
    for (size_t k = 0; k < pieces.size(); ++k) {
        Piece& p = pieces[k];
        if (cancelled(cancel)) return end(CardImageOutcome::Cancelled, "cancelled");
        const uint8_t* data = from_card.next();
        if (!data) return end(CardImageOutcome::Failed, "card read failed");
        report->bytes_read += p.length;
        p.sum = StreamChecksum::of(data, p.length);
        // A piece of zeros stays a hole of the new file: it reads back as zeros, and
        // costs the disk nothing.
        if (!all_zero(data, p.length)) {
            if (!file.write_at(data, p.length, p.offset)) return end(CardImageOutcome::Failed, "backup write failed");
            report->bytes_written += p.length;
        }
        done += p.length;
        if (progress) progress(done, 2 * total);
        written.reach(k + 1);
        while (checked + CHECK_LAG <= k)
            if (!check_next()) return;
    }
    if (!host::sync(fd)) return end(CardImageOutcome::Failed, "backup did not reach the disk");
    while (checked < pieces.size()) {
        if (cancelled(cancel)) return end(CardImageOutcome::Cancelled, "cancelled");
        if (!check_next()) return;
    }
    report->outcome = CardImageOutcome::Done;
}

}  // namespace

std::vector<CardExtent> volume_extents(const Superblock& sb, const std::vector<uint8_t>& map) {
    std::vector<CardExtent> out{{0, uint64_t(sb.data_start) * SECTOR_BYTES}};
    const uint32_t clusters = std::min<uint32_t>(sb.cluster_count(), uint32_t(map.size()));
    for (uint32_t c = 0; c < clusters; ++c) {
        if (map[c] != MAP_FIRST && map[c] != MAP_NEXT) continue;
        const uint64_t at = (uint64_t(sb.data_start) + uint64_t(c) * OBFS_CLUSTER_SECTORS) * SECTOR_BYTES;
        if (out.back().offset + out.back().length == at)
            out.back().length += OBFS_CLUSTER_BYTES;
        else
            out.push_back({at, OBFS_CLUSTER_BYTES});
    }
    return out;
}

CardImageReport backup_card(cCard& card, uint8_t drive, const std::string& out_path, const std::atomic<bool>* cancel,
                            const CardImageProgressFn& progress) {
    cOBFS& vol = card.volume();
    if (!vol.mount(drive)) return failed(CardImageOutcome::NoVolume, "no OBFS volume on the drive");
    host::FileStatus existing;
    if (host::status_of(out_path, &existing) &&
        (existing.kind != host::Kind::Regular || names_the_drive(drive, existing)))
        return failed(CardImageOutcome::BadTarget, "the backup would overwrite the card or something that is no file");
    const Superblock sb = vol.header();
    std::vector<Piece> pieces = pieces_of(volume_extents(sb, vol.cluster_map), DIRECT_BLOCK, sb.disk_size);

    // The new backup takes the name only once complete: an older one stays until then.
    const std::string part_path = out_path + ".part";
    // Created or emptied, never through a link planted under the name.
    HostWriter part;
    if (!part.create(part_path)) return failed(CardImageOutcome::Failed, "cannot create " + part_path);
    const host::Descriptor fd = part.fd();
    CardImageReport report;
    // As large as the volume, every byte a hole until written (a sparse file on
    // Windows too, where its file system has them).
    if (!host::set_size(fd, sb.disk_size)) {
        report.outcome = CardImageOutcome::Failed;
        report.why = "cannot size the backup";
    } else {
        copy_and_check(drive, fd, part_path, pieces, cancel, progress, &report);
    }
    if (report.outcome != CardImageOutcome::Done) {
        part.discard();
        return report;
    }
    if (!part.finish() || !host::rename_file(part_path, out_path)) {
        host::remove_file(part_path);
        return failed(CardImageOutcome::Failed, "cannot name the backup " + out_path);
    }
    // The new name reaches the disk with its folder.
    host::sync_folder_of(out_path);
    return report;
}

CardImageReport check_restore(cCard& card, uint8_t drive, const std::string& in_path) {
    const host::Descriptor fd = host::open_file(in_path, host::OPEN_READ);
    if (fd == host::NO_DESCRIPTOR) return failed(CardImageOutcome::NotABackup, "cannot open " + in_path);
    Superblock sb;
    std::vector<uint8_t> map;
    std::string why;
    const bool usable = read_image_volume(fd, &sb, &map, &why);
    host::close_file(fd);
    if (!usable) return failed(CardImageOutcome::NotABackup, why);
    if (!card.disk().open(drive)) return failed(CardImageOutcome::Failed, "the drive does not open");
    if (card.disk().get_size() < sb.disk_size) return failed(CardImageOutcome::CardTooSmall, "the card is smaller than the backup");
    CardImageReport r;
    r.outcome = CardImageOutcome::Done;
    return r;
}

CardImageReport restore_card(cCard& card, uint8_t drive, const std::string& in_path, const std::atomic<bool>* cancel,
                             const CardImageProgressFn& progress) {
    CardImageReport report = check_restore(card, drive, in_path);
    if (report.outcome != CardImageOutcome::Done) return report;
    const host::Descriptor fd = host::open_file(in_path, host::OPEN_READ);
    Superblock sb;
    std::vector<uint8_t> map;
    if (fd == host::NO_DESCRIPTOR || !read_image_volume(fd, &sb, &map, &report.why)) {
        if (fd != host::NO_DESCRIPTOR) host::close_file(fd);
        return failed(CardImageOutcome::NotABackup, report.why);
    }
    report = CardImageReport{};
    const auto stop = [&](CardImageOutcome outcome, const std::string& why) {
        host::close_file(fd);
        card.disk().flush();  // what was written so far is on the card, with no superblock
        card.volume().mounted = 0;
        report.outcome = outcome;
        report.why = why;
        return report;
    };
    std::vector<Piece> pieces = pieces_of(volume_extents(sb, map));
    const uint64_t total = total_bytes(pieces);
    AlignedBuffer buffer(CHUNK_BYTES);
    if (!buffer.data()) return stop(CardImageOutcome::Failed, "not enough memory");

    // From here on the card does not mount until the backup's superblock is written.
    const std::vector<uint8_t> no_volume(SECTOR_BYTES, 0);
    card.volume().mounted = 0;
    if (!card.disk().write_sectors(0, 1, no_volume.data()) || !card.disk().flush())
        return stop(CardImageOutcome::Failed, "card write failed");
    uint64_t done = 0;
    Piece& superblock = pieces.back();
    for (Piece& p : pieces) {
        if (cancelled(cancel)) return stop(CardImageOutcome::Cancelled, "cancelled");
        if (!host::read_all_at(fd, buffer.data(), p.length, p.offset)) return stop(CardImageOutcome::Failed, "backup read failed");
        report.bytes_read += p.length;
        p.sum = StreamChecksum::of(buffer.data(), p.length);
        if (&p == &superblock) break;  // read, and written after the check below
        if (!write_card(card, p.offset, buffer.data(), p.length)) return stop(CardImageOutcome::Failed, "card write failed");
        report.bytes_written += p.length;
        done += p.length;
        if (progress) progress(done, 2 * total);
    }
    const std::vector<uint8_t> superblock_bytes(buffer.data(), buffer.data() + SECTOR_BYTES);
    if (!card.disk().flush()) return stop(CardImageOutcome::Failed, "card flush failed");
    MediumReader medium;
    uint8_t* check = medium.open(drive) ? medium.scratch(CHUNK_BYTES) : nullptr;
    if (!check) return stop(CardImageOutcome::Failed, "cannot open the drive for reading");
    for (const Piece& p : pieces) {
        if (&p == &superblock) break;
        if (cancelled(cancel)) return stop(CardImageOutcome::Cancelled, "cancelled");
        if (!medium.read(p.offset, check, p.length)) return stop(CardImageOutcome::Failed, "card read failed");
        if (StreamChecksum::of(check, p.length) != p.sum)
            return stop(CardImageOutcome::VerifyFailed, "the card does not read back as written");
        done += p.length;
        if (progress) progress(done, 2 * total);
    }
    // Everything else is there: the superblock makes it a volume.
    if (!card.disk().write_sectors(0, 1, superblock_bytes.data()) || !card.disk().flush())
        return stop(CardImageOutcome::Failed, "card write failed");
    report.bytes_written += SECTOR_BYTES;
    if (!medium.read(0, check, SECTOR_BYTES) || std::memcmp(check, superblock_bytes.data(), SECTOR_BYTES) != 0)
        return stop(CardImageOutcome::VerifyFailed, "the card does not read back as written");
    host::close_file(fd);
    if (progress) progress(2 * total, 2 * total);
    if (!card.volume().mount(drive)) return failed(CardImageOutcome::VerifyFailed, "the restored card does not mount");
    report.outcome = CardImageOutcome::Done;
    return report;
}

CardImageReport backup_card(uint8_t drive, const std::string& out_path, const std::atomic<bool>* cancel,
                            const CardImageProgressFn& progress) {
    return backup_card(default_card(), drive, out_path, cancel, progress);
}

CardImageReport check_restore(uint8_t drive, const std::string& in_path) {
    return check_restore(default_card(), drive, in_path);
}

CardImageReport restore_card(uint8_t drive, const std::string& in_path, const std::atomic<bool>* cancel,
                             const CardImageProgressFn& progress) {
    return restore_card(default_card(), drive, in_path, cancel, progress);
}
