// A copy from a card file into a host file, step by step: the refusals that leave the
// host as it was, the chunks, the check that the whole file came, and the end of the
// host file (synced now, or with the batch's next ones).
#include "transfer/copy_batch.h"

#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/copy_steps.h"
#include "transfer/host_io.h"
#include "transfer/host_path.h"
#include "transfer/source_prefetch.h"
#include "transfer/verify.h"

#include <algorithm>
#include <span>

using namespace copy_steps;

namespace {

enum class Pumped { ToTheEnd, Stopped, Cancelled };

// The card file first: a name that is not on the card must not empty a host file. A
// card is outside data: its names must not steer the copy out of the folder.
bool open_card_file(const Context& run, cAFFile& source, const std::string& card_name) {
    if (!card_name_fits_host(card_name)) {
        run.say("invalid file name.\n");
        return false;
    }
    if (!source.open(card_name, "r", 0)) {
        run.say("source file does not exist.\n");
        return false;
    }
    return true;
}

// Chunks from the card file into the host file until the card file ends, a write to
// the host fails or the cancel flag is set. Image files and card readers hand the
// bytes to the host file inside the host; what they cannot (or a fault stops) goes
// the ordinary way, which also tells a failed card read from a failed host write.
// A checked copy (`sum` given) takes every byte through the buffer, into the sum.
Pumped pump_chunks(const Context& run, cAFFile& source, HostWriter& destination, AlignedBuffer& buffer, ChunkedChecksum* sum) {
    uint64_t total = 0;
    for (;;) {
        if (run.cancel_requested()) return Pumped::Cancelled;
        uint32_t got = sum ? 0 : source.send_to_file(destination.fd(), OB_TO_WIN_CHUNK);
        if (got < OB_TO_WIN_CHUNK) {
            const uint32_t read = source.read(buffer.data(), OB_TO_WIN_CHUNK - got);
            if (read > 0 && !destination.write_all(buffer.data(), read)) {
                run.say("write fail.\n");
                return Pumped::Stopped;
            }
            if (sum) sum->add(buffer.data(), read);
            got += read;
        }
        if (got == 0) break;
        run.report_progress(got);
        total += got;
    }
    // The stream delivers less than the file's size only when the card failed a read.
    if (total < source.get_size()) {
        run.say("read source file error\n");
        return Pumped::Stopped;
    }
    return Pumped::ToTheEnd;
}

// Where the bytes of the card file `name` lie: its first sector and the sectors its
// size takes (0 for an empty file), bounded by its run, so a damaged entry cannot
// send a read anywhere else. false when there is no such file or its run is unusable.
bool card_file_sectors(const Context& run, const std::string& name, uint32_t* first_sector, uint32_t* sectors) {
    cOBFS& vol = run.card.volume();
    DirSector entry{};
    if (find_file_entry(run.card, name, entry) == NO_SECTOR) return false;
    const uint32_t first = get_le32(entry.data() + DE_FIRST_CLUSTER);
    const uint32_t last = get_le32(entry.data() + DE_LAST_CLUSTER);
    const uint32_t size = get_le32(entry.data() + DE_SIZE);
    if (first > last || last >= vol.cluster_count()) return false;
    const uint64_t run_sectors = uint64_t(last - first + 1) * vol.cluster_sectors();
    const uint64_t file_sectors = (uint64_t(size) + SECTOR_BYTES - 1) / SECTOR_BYTES;
    *first_sector = vol.cluster_to_sector(first);
    *sectors = uint32_t(std::min(run_sectors, file_sectors));
    return true;
}

// A file of the batch may begin this far past the end of the one before and still
// come in the same transfer: reading the gap costs a card less than a read that does
// not follow on (about 0.7 ms, some 25 KB at 35 MB/s).
constexpr uint32_t READ_AHEAD_GAP_SECTORS = 64;

// Small card files that lie back to back come off the card in one transfer: this
// copy's file and the batch's following ones, in the batch's order, while each begins
// shortly after the one before ends and all of them fit in what the drive layer
// holds. Every copy still checks the card's superblock before it uses them, and a
// changed card is mounted afresh, which lets them go.
void read_files_ahead(const Context& run, const std::string& name, std::span<const std::string> following) {
    uint32_t first = 0, sectors = 0;
    if (following.empty() || !run.card.disk().can_read_ahead() || !card_file_sectors(run, name, &first, &sectors)) return;
    if (run.card.disk().holds_read_ahead(first, sectors)) return;
    uint32_t end = first + sectors;
    size_t files = 1;
    for (const std::string& next : following) {
        uint32_t next_first = 0, next_sectors = 0;
        if (!card_file_sectors(run, next, &next_first, &next_sectors)) break;
        if (next_sectors == 0) continue;  // nothing to read
        if (next_first < end || next_first - end > READ_AHEAD_GAP_SECTORS) break;
        if (next_first + next_sectors - first > READ_AHEAD_SECTORS) break;
        end = next_first + next_sectors;
        ++files;
    }
    if (files > 1) run.card.disk().read_ahead(first, end - first);
}

// Asks the drive for the following card file's bytes while the host file of the
// current copy is synced, unless they were read ahead already.
void give_card_file_a_head_start(const Context& run, std::span<const std::string> following) {
    uint32_t first = 0, sectors = 0;
    if (following.empty() || !card_file_sectors(run, following.front(), &first, &sectors) || sectors == 0) return;
    if (!run.card.disk().holds_read_ahead(first, sectors)) run.card.disk().prefetch_sectors(first, sectors);
}

}  // namespace

CopyEnd CopyBatch::copy_to_host(uint8_t drive, const std::string& card_name, const std::string& dest_path,
                                std::span<const std::string> next_card_files) {
    const Context run(card_, job_);
    prepared_source_.reset();  // a head start no copy to the card will take now
    const bool kept = kept_drive_ == drive;
    kept_drive_ = 0;
    if (!run.mount_for_transfer(drive, kept)) return record(CopyEnd::Refused, dest_path);
    // A copy to the host changes nothing on the card: the tables stay the card's.
    kept_drive_ = drive;
    cAFFile source(run.card);
    if (!open_card_file(run, source, card_name)) return record(CopyEnd::Refused, dest_path);
    AlignedBuffer buffer(OB_TO_WIN_CHUNK);
    if (!buffer.data()) {
        run.say("not enough memory.\n");
        return record(CopyEnd::Refused, dest_path);
    }
    if (run.cancel_requested()) return record(run.cancelled(), dest_path);
    HostWriter destination;
    if (!destination.create(dest_path)) {
        run.say("fail to create destination file.\n");
        return record(CopyEnd::Refused, dest_path);
    }

    // A checked copy syncs its host file at once, to read it back.
    const bool verifying = run.job.verify;
    ChunkedChecksum read_sum;
    read_files_ahead(run, card_name, next_card_files);
    const Pumped pumped = pump_chunks(run, source, destination, buffer, verifying ? &read_sum : nullptr);
    source.close();  // a read stream: nothing to commit
    if (pumped == Pumped::Cancelled) {
        destination.discard();
        return record(run.cancelled(), dest_path);
    }
    if (pumped == Pumped::ToTheEnd && !next_card_files.empty() && !verifying) {
        give_card_file_a_head_start(run, next_card_files);
        // The batch goes on: this file is synced with the next ones.
        if (!host_files_to_sync_.add(std::move(destination))) sync_waiting_host_files();
        return record(CopyEnd::Complete, dest_path);
    }
    bool stopped = pumped == Pumped::Stopped;
    if (!destination.finish()) {
        if (!stopped) run.say("write fail.\n");
        stopped = true;
    }
    // The batch's last copy: the files before it are synced now too (their journal
    // commit mostly came with this file's).
    sync_waiting_host_files();
    if (!stopped && verifying && !verify_host_file(dest_path, read_sum)) {
        run.say("verify failed: the host file differs from the card file.\n");
        return record(CopyEnd::VerifyFailed, dest_path);
    }
    return record(stopped ? CopyEnd::Stopped : CopyEnd::Complete, dest_path);
}
