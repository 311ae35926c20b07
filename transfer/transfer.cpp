#include "transfer/transfer.h"

#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/host_flush_group.h"
#include "transfer/host_io.h"
#include "transfer/host_path.h"
#include "transfer/read_ahead.h"
#include "transfer/source_prefetch.h"
#include "transfer/verify.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace {

CopyProgressFn progress_callback = nullptr;
void* progress_context = nullptr;
const std::atomic<bool>* cancel_flag = nullptr;
CopyEnd last_end = CopyEnd::Refused;

// Batch head starts: the names given for the next copy, and the host file a copy to
// the card opened for its successor.
std::string following_source;
uint8_t following_card_drive = 0;
std::string following_card_file;
std::unique_ptr<PreparedSource> prepared_source;
// Host files written by the batch's copies from the card, waiting for their shared
// sync, and those whose sync failed since the batch began.
HostFlushGroup host_files_to_sync;
std::vector<std::string> unsynced_host_files;

bool diagnostics_redirected = false;
std::FILE* diagnostics_out = nullptr;
bool percentage_lines = true;

std::FILE* diagnostics() { return diagnostics_redirected ? diagnostics_out : stdout; }

void say(const char* line) {
    if (std::FILE* out = diagnostics()) {
        std::fputs(line, out);
        std::fflush(out);
    }
}

// The host-to-card copy rewrites one console line in place: 32 backspaces, then the
// percentage done so far.
void say_percentage(uint64_t total, uint32_t size) {
    std::FILE* out = diagnostics();
    if (!out || !percentage_lines) return;
    // A file that was empty when measured and grew since counts as done.
    const float percent = size ? float(double(total) * 100.0 / double(size)) : 100.0f;
    for (int i = 0; i < 32; ++i) std::fputc('\b', out);
    std::fprintf(out, "Copying %.1f%%", double(percent));
    std::fflush(out);
}

void end_percentage_line() {
    if (percentage_lines) say("\n");
}

bool cancel_requested() { return cancel_flag && cancel_flag->load(std::memory_order_relaxed); }

void report_progress(uint32_t bytes) {
    if (progress_callback) progress_callback(progress_context, bytes);
}

// The common start of all three routines: a usable drive number and a mounted volume.
bool mount_for_transfer(uint8_t drive) {
    if (drive == 0) {
        say("invalid drive number.\n");
        return false;
    }
    if (!volume().mount(drive)) {
        say("fail to initialize disk.\n");
        return false;
    }
    return true;
}

// Ends a copy to the card: the tables were written as the stream closed; this makes
// sure they and the data have reached the medium.
bool card_durable() {
    if (disk_flush()) return true;
    say("fail to flush disk.\n");
    return false;
}

// Asks the drive for the following card file's bytes while the host file of the
// current copy is synced. Bounded by the file's run, so a damaged entry cannot send
// the hint anywhere else.
void give_card_file_a_head_start(const std::string& name) {
    if (name.empty()) return;
    cOBFS& vol = volume();
    DirSector entry{};
    if (find_file_entry(name, entry) == NO_SECTOR) return;
    const uint32_t first = get_le32(entry.data() + DE_FIRST_CLUSTER);
    const uint32_t last = get_le32(entry.data() + DE_LAST_CLUSTER);
    const uint32_t size = get_le32(entry.data() + DE_SIZE);
    if (first > last || last >= vol.cluster_count() || size == 0) return;
    const uint64_t run_sectors = uint64_t(last - first + 1) * vol.cluster_sectors();
    const uint64_t file_sectors = (uint64_t(size) + SECTOR_BYTES - 1) / SECTOR_BYTES;
    disk_prefetch_sectors(vol.cluster_to_sector(first), uint32_t(std::min(run_sectors, file_sectors)));
}

// Quietly: a failure belongs to an earlier copy than the one running, and the batch's
// end reports it.
void sync_host_files() {
    for (std::string& path : host_files_to_sync.flush()) unsynced_host_files.push_back(std::move(path));
}

CopyEnd cancelled() {
    say("copy cancelled.\n");
    return CopyEnd::Cancelled;
}

}  // namespace

void set_copy_callback(CopyProgressFn callback, void* context) {
    progress_callback = callback;
    progress_context = context;
}

void set_copy_cancel_flag(const std::atomic<bool>* flag) { cancel_flag = flag; }

CopyEnd last_copy_end() { return last_end; }

void set_transfer_diagnostics(std::FILE* out, bool percentage_line) {
    diagnostics_redirected = true;
    diagnostics_out = out;
    percentage_lines = percentage_line;
}

void set_following_source(const std::string& host_path) { following_source = host_path; }

void set_following_card_file(uint8_t drive, const std::string& card_name) {
    following_card_drive = drive;
    following_card_file = card_name;
}

bool end_copy_batch(std::vector<std::string>* unsynced) {
    following_source.clear();
    following_card_file.clear();
    prepared_source.reset();
    sync_host_files();
    const bool all_synced = unsynced_host_files.empty();
    if (unsynced) *unsynced = std::move(unsynced_host_files);
    unsynced_host_files.clear();
    return all_synced;
}

namespace {

// The copy to the card once the volume is mounted: `source` is the head start made
// for this file (null when none), `following` the batch's next file.
bool copy_into_volume(const std::string& source_path, std::unique_ptr<PreparedSource> source,
                      const std::string& following);

}  // namespace

bool copy_win_to_ob(const std::string& source_path, uint8_t drive) {
    last_end = CopyEnd::Refused;
    // A head start made for this path is taken; any other is dropped.
    std::unique_ptr<PreparedSource> source = take_prepared_source(prepared_source, source_path);
    const std::string following = std::exchange(following_source, std::string());
    if (!mount_for_transfer(drive)) return false;
    return copy_into_volume(source_path, std::move(source), following);
}

bool copy_win_to_mounted_ob(const std::string& source_path) {
    last_end = CopyEnd::Refused;
    prepared_source.reset();
    following_source.clear();
    if (!volume().mounted) {
        say("fail to initialize disk.\n");
        return false;
    }
    return copy_into_volume(source_path, nullptr, std::string());
}

namespace {

bool copy_into_volume(const std::string& source_path, std::unique_ptr<PreparedSource> source,
                      const std::string& following) {
    if (!source) {
        source = std::make_unique<PreparedSource>();
        if (!source->reader.open(source_path)) {
            say("source file does not exist.\n");
            return false;
        }
    }
    const uint64_t source_size = source->reader.size();
    if (source_size == 0) say("warning: source file has zero length.\n");
    // A card file's size is 32-bit and a volume spans at most 2 GiB: a file whose size
    // does not fit 32 bits can never fit, and must not be copied as its low 32 bits.
    if (source_size > 0xFFFFFFFFull) {
        say("no enough space on ob disk.\n");
        return false;
    }
    const uint32_t size = uint32_t(source_size);
    // Asked before anything is released: a card file of the same name that is about
    // to be replaced still holds its clusters here.
    if (find_free_run(size) == NO_RUN) {
        say("no enough space on ob disk.\n");
        return false;
    }
    if (cancel_requested()) {
        last_end = cancelled();
        return true;
    }
    if (!source->chunks) source->chunks = std::make_unique<ReadAhead>(source->reader, WIN_TO_OB_CHUNK);
    ReadAhead& chunks = *source->chunks;
    if (!chunks.ready()) {
        say("not enough memory.\n");
        return false;
    }
    const std::string card_name = file_name_of(source_path);
    cAFFile destination;
    if (!valid_new_name(card_name) || !destination.open(card_name, "w+", size)) {
        say("fail to create destination file.\n");
        return false;
    }

    if (size > 0)
        disk_will_write_sectors(volume().cluster_to_sector(destination.first_cluster),
                                uint32_t((uint64_t(size) + SECTOR_BYTES - 1) / SECTOR_BYTES));

    uint64_t total = 0;
    bool stopped = false;
    bool was_cancelled = false;
    const bool verifying = verify_after_write();
    StreamChecksum written_sum;
    for (;;) {
        if (cancel_requested()) {
            was_cancelled = true;
            break;
        }
        const uint8_t* chunk = nullptr;
        uint32_t got = 0;
        if (!chunks.next(&chunk, &got)) {
            say("read source file error\n");
            stopped = true;
            break;
        }
        if (got == 0) break;
        const uint32_t written = destination.write(chunk, got);
        if (written == 0) {
            say("no enough continual space on ob disk\n");
            stopped = true;
            break;
        }
        report_progress(written);
        total += written;
        if (verifying) written_sum.add(chunk, written);
        say_percentage(total, size);
        // A short write means the file could not take the rest of this chunk; going
        // on with the next chunk would leave a hole in the middle of the card file.
        if (written < got) {
            say("no enough continual space on ob disk\n");
            stopped = true;
            break;
        }
    }
    end_percentage_line();
    // The source is done with (its read-ahead stops before the host file closes); a
    // batch's next source starts reading while this file's end reaches the card.
    const bool read_to_end = !stopped && !was_cancelled;
    source.reset();
    if (read_to_end && !following.empty()) prepared_source = prepare_source(following, WIN_TO_OB_CHUNK);
    destination.close();

    if (was_cancelled) {
        delete_file(card_name);
        card_durable();
        last_end = cancelled();
        return true;
    }
    if (!card_durable()) stopped = true;
    last_end = stopped ? CopyEnd::Stopped : CopyEnd::Complete;
    if (!stopped && verifying && !verify_card_file(volume().drive(), card_name, written_sum)) {
        say("verify failed: the card file differs from the source.\n");
        last_end = CopyEnd::VerifyFailed;
    }
    return true;
}

}  // namespace

bool copy_ob_to_win(uint8_t drive, const std::string& card_name, const std::string& dest_path) {
    last_end = CopyEnd::Refused;
    prepared_source.reset();  // a head start no copy to the card will take now
    // The file named to follow gets its head start only from a copy on its own drive.
    const std::string following = std::exchange(following_card_file, std::string());
    const bool following_here = following_card_drive == drive;
    if (!mount_for_transfer(drive)) return false;
    // A card is outside data: its names must not steer the copy out of the folder.
    if (!card_name_fits_host(card_name)) {
        say("invalid file name.\n");
        return false;
    }
    // The card file first: a name that is not on the card must not empty a host file.
    cAFFile source;
    if (!source.open(card_name, "r", 0)) {
        say("source file does not exist.\n");
        return false;
    }
    AlignedBuffer buffer(OB_TO_WIN_CHUNK);
    if (!buffer.data()) {
        say("not enough memory.\n");
        return false;
    }
    if (cancel_requested()) {
        last_end = cancelled();
        return true;
    }
    HostWriter destination;
    if (!destination.create(dest_path)) {
        say("fail to create destination file.\n");
        return false;
    }

    uint64_t total = 0;
    bool stopped = false;
    bool was_cancelled = false;
    // A checked copy takes every byte through its buffer, where the checksum is made,
    // and syncs its host file at once, so that it can be read back.
    const bool verifying = verify_after_write();
    StreamChecksum read_sum;
    for (;;) {
        if (cancel_requested()) {
            was_cancelled = true;
            break;
        }
        // Image files and card readers hand the bytes to the host file inside the host;
        // what they cannot (or a fault stops) goes the ordinary way, which also tells
        // a failed card read from a failed host write.
        uint32_t got = verifying ? 0 : source.send_to_file(destination.fd(), OB_TO_WIN_CHUNK);
        if (got < OB_TO_WIN_CHUNK) {
            const uint32_t read = source.read(buffer.data(), OB_TO_WIN_CHUNK - got);
            if (read > 0 && !destination.write_all(buffer.data(), read)) {
                say("write fail.\n");
                stopped = true;
                break;
            }
            if (verifying) read_sum.add(buffer.data(), read);
            got += read;
        }
        if (got == 0) break;
        report_progress(got);
        total += got;
    }
    // The stream delivers less than the file's size only when the card failed a read.
    if (!stopped && !was_cancelled && total < source.get_size()) {
        say("read source file error\n");
        stopped = true;
    }
    source.close();
    if (!stopped && !was_cancelled && following_here) give_card_file_a_head_start(following);

    if (was_cancelled) {
        destination.discard();
        last_end = cancelled();
        return true;
    }
    if (!stopped && !following.empty() && !verifying) {
        // The batch goes on: this file is synced with the next ones.
        if (!host_files_to_sync.add(std::move(destination))) sync_host_files();
        last_end = CopyEnd::Complete;
        return true;
    }
    if (!destination.finish()) {
        if (!stopped) say("write fail.\n");
        stopped = true;
    }
    // The batch's last copy: the files before it are synced now too (their journal
    // commit mostly came with this file's).
    sync_host_files();
    last_end = stopped ? CopyEnd::Stopped : CopyEnd::Complete;
    if (!stopped && verifying && !verify_host_file(dest_path, read_sum)) {
        say("verify failed: the host file differs from the card file.\n");
        last_end = CopyEnd::VerifyFailed;
    }
    return true;
}

int delete_ob_file(uint8_t drive, const std::string& card_name) {
    if (!mount_for_transfer(drive)) return 1;
    if (!file_exists(card_name)) {
        say("file does not exist.\n");
        return 1;
    }
    if (!delete_file(card_name)) {
        say("fail to delete file.\n");
        return 1;
    }
    return card_durable() ? 0 : 1;
}
