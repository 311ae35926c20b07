// A copy from a host file onto the card, step by step: the source, the refusals that
// change nothing, the destination stream, the chunks, and the end that commits the
// card file (or keeps the file it was to replace).
#include "transfer/copy_batch.h"

#include "device/sector_io.h"
#include "obfs/af_file.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/copy_steps.h"
#include "transfer/host_path.h"
#include "transfer/read_ahead.h"
#include "transfer/source_prefetch.h"
#include "transfer/verify.h"

#include <algorithm>
#include <memory>

using namespace copy_steps;

// The read-ahead sums whole chunks of the checksum's size only.
static_assert(WIN_TO_OB_CHUNK == ChunkedChecksum::CHUNK, "read-ahead chunks are the checksum's chunks");

namespace {

// How the chunk loop ended.
enum class Pumped { ToTheEnd, Stopped, Cancelled };

// The source: the batch's head start when it was made for this path and still names
// the same file, else opened afresh. Null (with the line said) when it does not open.
std::unique_ptr<PreparedSource> open_source(const Context& run, std::unique_ptr<PreparedSource>& head_start, const std::string& path) {
    std::unique_ptr<PreparedSource> source = take_prepared_source(head_start, path);
    if (source) return source;
    source = std::make_unique<PreparedSource>();
    if (!source->reader.open(path)) {
        run.say("source file does not exist.\n");
        return nullptr;
    }
    return source;
}

// Whether the card can take a file of this size at all, asked before anything is
// released: a card file of the same name that is about to be replaced still holds its
// clusters here. A card file's size is 32-bit and a volume spans at most 2 GiB, so a
// source whose size does not fit 32 bits can never fit.
bool card_has_room(const Context& run, uint64_t source_size) {
    if (source_size == 0) run.say("warning: source file has zero length.\n");
    if (source_size > 0xFFFFFFFFull || find_free_run(run.card, uint32_t(source_size)) == NO_RUN) {
        run.say("no enough space on ob disk.\n");
        return false;
    }
    return true;
}

bool open_destination(const Context& run, cAFFile& destination, const std::string& card_name, uint32_t size) {
    if (!valid_new_name(card_name) || !destination.open(card_name, "w+", size)) {
        run.say("fail to create destination file.\n");
        return false;
    }
    if (size > 0)
        run.card.disk().will_write_sectors(run.card.volume().cluster_to_sector(destination.first_cluster),
                                uint32_t((uint64_t(size) + SECTOR_BYTES - 1) / SECTOR_BYTES));
    return true;
}

// A progress step is one piece of the verify checksum, whose sums the read-ahead takes.
static_assert(WIN_TO_OB_CHUNK == ChunkedChecksum::CHUNK, "progress steps and checksum pieces differ");

// Chunks from the source into the card file until the source ends, a chunk cannot be
// read or written whole, or the cancel flag is set. `sum` (when verifying) takes in
// every byte written.
Pumped pump_chunks(const Context& run, ReadAhead& chunks, cAFFile& destination, uint32_t size, ChunkedChecksum* sum) {
    uint64_t total = 0;
    for (;;) {
        if (run.cancel_requested()) return Pumped::Cancelled;
        const uint8_t* chunk = nullptr;
        uint32_t got = 0;
        if (!chunks.next(&chunk, &got)) {
            run.say("read source file error\n");
            return Pumped::Stopped;
        }
        if (got == 0) break;
        const uint32_t written = destination.write(chunk, got);
        // Progress and checksum in steps of 512 KiB: the read-ahead summed each step
        // of a whole chunk already.
        for (uint32_t at = 0, step_index = 0; at < written; at += WIN_TO_OB_CHUNK, ++step_index) {
            const uint32_t step = std::min(WIN_TO_OB_CHUNK, written - at);
            if (sum) sum->add(chunk + at, step, chunks.chunk_sum(step_index));
            run.report_progress(step);
            total += step;
            run.say_percentage(total, size);
        }
        // A short write means the file could not take the rest of this chunk; going
        // on with the next chunk would leave a hole in the middle of the card file.
        if (written < got) {
            run.say("no enough continual space on ob disk\n");
            return Pumped::Stopped;
        }
    }
    // A source that shrank while it was read ended early: the card file would be
    // complete only in appearance.
    if (total < size) {
        run.say("read source file error\n");
        return Pumped::Stopped;
    }
    return Pumped::ToTheEnd;
}

// Ends the card file by how the chunks went. A copy that did not get to the end keeps
// the file it replaces where the stream wrote beside it; otherwise a cancelled copy
// removes its partial file and a stopped one keeps the bytes copied so far.
CopyEnd end_destination(const Context& run, cAFFile& destination, const std::string& card_name, Pumped pumped) {
    if (pumped != Pumped::ToTheEnd && destination.keeps_old_until_close()) {
        if (!destination.discard()) run.say("fail to free the new file's clusters.\n");
        run.card_durable();
        return pumped == Pumped::Cancelled ? run.cancelled() : CopyEnd::Stopped;
    }
    const bool committed = destination.close();
    if (pumped == Pumped::Cancelled) {
        delete_file(run.card, card_name);
        run.card_durable();
        return run.cancelled();
    }
    if (!committed) run.say("fail to close destination file.\n");
    if (!run.card_durable() || !committed) return CopyEnd::Stopped;
    return pumped == Pumped::ToTheEnd ? CopyEnd::Complete : CopyEnd::Stopped;
}

// The copy once the volume is mounted; `next_source` gets its head start in `slot`.
// `may_verify`: whether the medium holds the copy once it has ended, so that verify
// after write can read it back.
CopyEnd copy_into_volume(const Context& run, const std::string& source_path, std::unique_ptr<PreparedSource> source,
                         const std::string& next_source, std::unique_ptr<PreparedSource>& slot,
                         bool may_verify = true) {
    if (!source) return CopyEnd::Refused;
    if (!card_has_room(run, source->reader.size())) return CopyEnd::Refused;
    const uint32_t size = uint32_t(source->reader.size());
    if (run.cancel_requested()) return run.cancelled();
    const bool verifying = may_verify && run.job.verify;
    if (!source->chunks) source->chunks = std::make_unique<ReadAhead>(source->reader, CARD_WRITE_CHUNK, verifying);
    if (!source->chunks->ready()) {
        run.say("not enough memory.\n");
        return CopyEnd::Refused;
    }
    const std::string card_name = file_name_of(source_path);
    cAFFile destination(run.card);
    if (!open_destination(run, destination, card_name, size)) return CopyEnd::Refused;

    ChunkedChecksum written;
    const Pumped pumped = pump_chunks(run, *source->chunks, destination, size, verifying ? &written : nullptr);
    run.end_percentage_line();
    // The source is done with (its read-ahead stops before the host file closes); a
    // batch's next source starts reading while this file's end reaches the card.
    source.reset();
    if (pumped == Pumped::ToTheEnd && !next_source.empty())
        slot = prepare_source(next_source, CARD_WRITE_CHUNK, run.job.verify);
    const CopyEnd end = end_destination(run, destination, card_name, pumped);
    // Read back once flushed, from the medium itself.
    if (end == CopyEnd::Complete && verifying && !verify_card_file(run.card, card_name, written)) {
        run.say("verify failed: the card file differs from the source.\n");
        return CopyEnd::VerifyFailed;
    }
    return end;
}

}  // namespace

CopyEnd CopyBatch::copy_to_card(const std::string& source_path, uint8_t drive, const std::string& next_source) {
    const Context run(card_, job_);
    // A head start made for this path is taken; any other is dropped.
    std::unique_ptr<PreparedSource> head_start = take_prepared_source(prepared_source_, source_path);
    const bool kept = kept_drive_ == drive;
    kept_drive_ = 0;
    if (!run.mount_for_transfer(drive, kept)) return record(CopyEnd::Refused, source_path);
    std::unique_ptr<PreparedSource> source = open_source(run, head_start, source_path);
    const CopyEnd end = copy_into_volume(run, source_path, std::move(source), next_source, prepared_source_);
    // Only a copy that went as planned leaves tables the next one may trust.
    if (end == CopyEnd::Complete) kept_drive_ = drive;
    return record(end, source_path);
}

CopyEnd CopyBatch::copy_to_mounted_card(const std::string& source_path) {
    const Context run(card_, job_);
    prepared_source_.reset();
    if (!run.card.volume().mounted) {
        run.say("fail to initialize disk.\n");
        return record(CopyEnd::Refused, source_path);
    }
    std::unique_ptr<PreparedSource> none;
    std::unique_ptr<PreparedSource> source = open_source(run, none, source_path);
    // A volume being built (a format) defers its flushes to its end: until then the
    // medium need not hold the copy, and there is nothing to read back.
    return record(copy_into_volume(run, source_path, std::move(source), std::string(), prepared_source_, false),
                  source_path);
}
