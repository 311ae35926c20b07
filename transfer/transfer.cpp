// The process-wide slots of the transfer routines (progress, cancel, diagnostics, how
// the last copy ended), the single-copy routines as batches of one, and the delete.
#include "transfer/transfer.h"

#include "device/sector_io.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/copy_batch.h"
#include "transfer/copy_steps.h"

namespace {

CopyProgressFn progress_callback = nullptr;
void* progress_context = nullptr;
const std::atomic<bool>* cancel_flag = nullptr;
CopyEnd last_end = CopyEnd::Refused;

bool diagnostics_redirected = false;
std::FILE* diagnostics_out = nullptr;
bool percentage_lines = true;

std::FILE* diagnostics() { return diagnostics_redirected ? diagnostics_out : stdout; }

// A copy of one file: the routine's result is whether it started.
bool started(CopyEnd end) { return end != CopyEnd::Refused; }

}  // namespace

namespace copy_steps {

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

CopyEnd cancelled() {
    say("copy cancelled.\n");
    return CopyEnd::Cancelled;
}

void set_last_end(CopyEnd end) { last_end = end; }

bool mount_for_transfer(uint8_t drive, bool kept) {
    if (drive == 0) {
        say("invalid drive number.\n");
        return false;
    }
    if (!(kept ? volume().mount_kept(drive) : volume().mount(drive))) {
        say("fail to initialize disk.\n");
        return false;
    }
    return true;
}

bool card_durable() {
    if (disk_flush()) return true;
    say("fail to flush disk.\n");
    return false;
}

}  // namespace copy_steps

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

int delete_ob_file(uint8_t drive, const std::string& card_name) {
    using copy_steps::say;
    if (!copy_steps::mount_for_transfer(drive)) return 1;
    if (!file_exists(card_name)) {
        say("file does not exist.\n");
        return 1;
    }
    if (!delete_file(card_name)) {
        say("fail to delete file.\n");
        return 1;
    }
    return copy_steps::card_durable() ? 0 : 1;
}
