// The copy steps every routine shares, the default job of the routines that take only
// a drive number, those routines as batches of one, and the delete.
#include "transfer/transfer.h"

#include "device/sector_io.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/copy_batch.h"
#include "transfer/copy_steps.h"

namespace {

// The default job with how its last copy ended: the one process-wide copy state, for
// the fixed routines' callers (each of them a single thread at a time, as the default
// card is).
struct DefaultJob {
    CopyJob job;
    CopyEnd last_end = CopyEnd::Refused;
};

DefaultJob& default_job() {
    static DefaultJob the_job;
    return the_job;
}

// A copy of one file: the routine's result is whether it started.
bool started(CopyEnd end) { return end != CopyEnd::Refused; }

}  // namespace

namespace copy_steps {

void Context::say(const char* line) const {
    if (std::FILE* out = job.diagnostics) {
        std::fputs(line, out);
        std::fflush(out);
    }
}

// The host-to-card copy rewrites one console line in place: 32 backspaces, then the
// percentage done so far.
void Context::say_percentage(uint64_t total, uint32_t size) const {
    std::FILE* out = job.diagnostics;
    if (!out || !job.percentage_line) return;
    // A file that was empty when measured and grew since counts as done.
    const float percent = size ? float(double(total) * 100.0 / double(size)) : 100.0f;
    for (int i = 0; i < 32; ++i) std::fputc('\b', out);
    std::fprintf(out, "Copying %.1f%%", double(percent));
    std::fflush(out);
}

void Context::end_percentage_line() const {
    if (job.percentage_line) say("\n");
}

bool Context::cancel_requested() const { return job.cancel && job.cancel->load(std::memory_order_relaxed); }

void Context::report_progress(uint32_t bytes) const {
    if (job.progress) job.progress(job.progress_context, bytes);
}

CopyEnd Context::cancelled() const {
    say("copy cancelled.\n");
    return CopyEnd::Cancelled;
}

bool Context::mount_for_transfer(uint8_t drive, bool kept) const {
    if (drive == 0) {
        say("invalid drive number.\n");
        return false;
    }
    if (!(kept ? card.volume().mount_kept(drive) : card.volume().mount(drive))) {
        say("fail to initialize disk.\n");
        return false;
    }
    return true;
}

bool Context::card_durable() const {
    if (card.disk().flush()) return true;
    say("fail to flush disk.\n");
    return false;
}

void set_default_last_end(CopyEnd end) { default_job().last_end = end; }

}  // namespace copy_steps

CopyJob& default_copy_job() { return default_job().job; }

void set_copy_callback(CopyProgressFn callback, void* context) {
    default_copy_job().progress = callback;
    default_copy_job().progress_context = context;
}

void set_copy_cancel_flag(const std::atomic<bool>* flag) { default_copy_job().cancel = flag; }

CopyEnd last_copy_end() { return default_job().last_end; }

void set_transfer_diagnostics(std::FILE* out, bool percentage_line) {
    default_copy_job().diagnostics = out;
    default_copy_job().percentage_line = percentage_line;
}

bool copy_win_to_ob(const std::string& source_path, uint8_t drive) {
    CopyBatch one;
    return started(one.copy_to_card(source_path, drive));
}

bool copy_win_to_mounted_ob(const std::string& source_path) {
    CopyBatch one;
    return started(one.copy_to_mounted_card(source_path));
}

bool copy_ob_to_win(uint8_t drive, const std::string& card_name, const std::string& dest_path) {
    CopyBatch one;
    return started(one.copy_to_host(drive, card_name, dest_path));
}

int delete_ob_file(cCard& card, const CopyJob& job, uint8_t drive, const std::string& card_name) {
    const copy_steps::Context run(card, job);
    if (!run.mount_for_transfer(drive)) return 1;
    if (!file_exists(card, card_name)) {
        run.say("file does not exist.\n");
        return 1;
    }
    if (!delete_file(card, card_name)) {
        run.say("fail to delete file.\n");
        return 1;
    }
    return run.card_durable() ? 0 : 1;
}

int delete_ob_file(uint8_t drive, const std::string& card_name) {
    return delete_ob_file(default_card(), default_copy_job(), drive, card_name);
}
