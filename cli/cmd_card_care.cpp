// obtool's whole-card commands: compact, backup, restore and clone. They call the same
// core routines as the window's Tools menu. Ctrl-C cancels them the safe way:
// compaction after the file it is moving, backup, restore and clone between two chunks.
#include "cli/obtool_commands.h"
#include "common/message_seam.h"
#include "maintenance/card_backup.h"
#include "maintenance/card_care_commands.h"
#include "maintenance/card_clone.h"
#include "maintenance/compact_card.h"
#include "obfs/card.h"
#include "platform/host_console.h"
#include "platform/host_file.h"
#include "transfer/copy_plan.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

std::atomic<bool> interrupted{false};

// The handler hands Ctrl-C back to the default at once (Windows does that by itself
// before calling it), so a second one ends obtool.
void on_interrupt(int) {
    interrupted = true;
    std::signal(SIGINT, SIG_DFL);
}

// Ctrl-C sets the cancel flag while a command runs; a second one ends obtool at once.
// Plain C signals: the same on POSIX hosts and in the Windows console.
class CancelOnInterrupt {
public:
    CancelOnInterrupt() {
        interrupted = false;
        previous_ = std::signal(SIGINT, on_interrupt);
    }
    ~CancelOnInterrupt() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
    const std::atomic<bool>* flag() const { return &interrupted; }

private:
    void (*previous_)(int) = SIG_DFL;
};

// A percentage on stderr, rewritten in place, while stderr is a terminal.
class PercentLine {
public:
    explicit PercentLine(const char* what) : what_(what), shown_(host::stderr_is_terminal()) {}
    ~PercentLine() {
        if (shown_ && last_ >= 0) std::fputc('\n', stderr);
    }
    void show(uint64_t done, uint64_t total) {
        if (!shown_ || total == 0) return;
        const int percent = int(done * 100 / total);
        if (percent == last_) return;
        last_ = percent;
        std::fprintf(stderr, "\r%s  %3d%%", what_, percent);
        std::fflush(stderr);
    }

private:
    const char* what_;
    bool shown_;
    int last_ = -1;
};

std::string mib(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / 1048576.0);
    return text;
}

void print_plan(const CompactPlan& plan, uint64_t slide_bytes) {
    for (const CompactMove& m : plan.moves)
        std::printf("move %s: clusters %u-%u -> %u-%u, %u bytes%s\n", m.name.c_str(), m.from_first, m.from_last,
                    m.to_first, m.to_last(), m.bytes, m.detour ? " (out of the way)" : "");
    std::printf("%zu move%s, %llu bytes moved (sliding every file down in order would move %llu)\n",
                plan.moves.size(), plan.moves.size() == 1 ? "" : "s",
                static_cast<unsigned long long>(plan.bytes_moved), static_cast<unsigned long long>(slide_bytes));
    std::printf("free runs: %u before, %u after; largest free run %s before, %s after\n", plan.free_runs_before,
                plan.free_runs_after, mib(uint64_t(plan.largest_free_before) * 131072).c_str(),
                mib(uint64_t(plan.largest_free_after) * 131072).c_str());
    if (!plan.complete) std::printf("the card lacks the free room to pack every region completely\n");
}

int cmd_compact(ObtoolContext& ctx) {
    bool dry_run = false;
    for (const std::string& a : ctx.args) {
        if (a == "--dry-run") dry_run = true;
        else return obtool_fail("usage: compact [--dry-run]");
    }
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    CompactPlan plan;
    uint64_t slide = 0;
    if (!plan_card_compaction(drive, plan, &slide))
        return obtool_fail("drive " + std::to_string(drive) + " holds no OBFS volume");
    print_plan(plan, slide);
    std::fflush(stdout);
    if (dry_run) return 0;

    CancelOnInterrupt cancel;
    CompactReport report;
    {
        PercentLine line("compacting");
        report = compact_card(drive, cancel.flag(),
                              [&](uint64_t done, uint64_t total, const std::string&) { line.show(done, total); });
    }
    const std::string made = std::to_string(report.moves_done) + " of " + std::to_string(report.plan.moves.size()) +
                             " moves made";
    switch (report.outcome) {
    case CompactOutcome::NoVolume: return obtool_fail("drive " + std::to_string(drive) + " holds no OBFS volume");
    case CompactOutcome::Damaged: return obtool_fail("the card has problems: run `obtool check` first; nothing moved");
    case CompactOutcome::Cancelled: return obtool_fail("cancelled after " + made + "; every file is whole");
    case CompactOutcome::Failed:
        return obtool_fail((report.failed_file.empty() ? std::string("the table write")
                                                        : "moving " + report.failed_file) +
                           " failed after " + made + "; every file is readable (obtool check finds what is left)");
    case CompactOutcome::Done: break;
    }
    std::printf("compacted: %s, %llu bytes moved\n", made.c_str(), static_cast<unsigned long long>(report.bytes_done));
    return 0;
}

// One argument, the host file.
bool one_path(const ObtoolContext& ctx, const char* usage, std::string* path) {
    if (ctx.args.size() != 1 || ctx.args[0].empty() || ctx.args[0][0] == '-') {
        obtool_fail(usage);
        return false;
    }
    *path = ctx.args[0];
    return true;
}

int image_result(const CardImageReport& r, const char* done_text) {
    if (r.outcome == CardImageOutcome::Done) {
        std::printf("%s, %llu bytes read, %llu bytes written; verified\n", done_text,
                    static_cast<unsigned long long>(r.bytes_read), static_cast<unsigned long long>(r.bytes_written));
        return 0;
    }
    return obtool_fail(r.why);
}

int cmd_backup(ObtoolContext& ctx) {
    std::string out;
    if (!one_path(ctx, "usage: backup OUT.img", &out)) return 1;
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    if (host::kind_of(out) != host::Kind::Missing && !ask_yes_no(overwrite_question(out), ""))
        return obtool_fail(out + ": not overwritten");
    CancelOnInterrupt cancel;
    CardImageReport r;
    {
        PercentLine line("backing up");
        r = backup_card(drive, out, cancel.flag(), [&](uint64_t done, uint64_t total) { line.show(done, total); });
    }
    return image_result(r, "backed up");
}

int cmd_restore(ObtoolContext& ctx) {
    std::string in;
    if (!one_path(ctx, "usage: restore IN.img", &in)) return 1;
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    const CardImageReport check = check_restore(drive, in);
    if (check.outcome != CardImageOutcome::Done) return obtool_fail(in + ": " + check.why);
    if (!confirm_restore()) return obtool_fail("not restored");
    CancelOnInterrupt cancel;
    CardImageReport r;
    {
        PercentLine line("restoring");
        r = restore_card(drive, in, cancel.flag(), [&](uint64_t done, uint64_t total) { line.show(done, total); });
    }
    if (r.outcome == CardImageOutcome::Cancelled)
        return obtool_fail("cancelled: the card holds no volume now; restore again or format it");
    if (r.outcome != CardImageOutcome::Done && r.outcome != CardImageOutcome::CardTooSmall &&
        r.outcome != CardImageOutcome::NotABackup)
        return obtool_fail(r.why + ": the card holds no volume now; restore again or format it");
    return image_result(r, "restored");
}

bool drive_number(const std::string& text, uint8_t* drive) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 15) return false;
    *drive = uint8_t(value);
    return true;
}

constexpr const char* CLONE_USAGE = "usage: clone --from N --to M [--model ROW] [--] [NAME...]";

// Two card objects side by side: the source is only read, the target is formatted for
// its own model (or --model) and size, then filled and read back.
int cmd_clone(ObtoolContext& ctx) {
    uint8_t from = 0, to = 0;
    bool have_from = false, have_to = false, names_only = false;
    CloneOptions options;
    for (size_t i = 0; i < ctx.args.size(); ++i) {
        const std::string& a = ctx.args[i];
        const bool has_value = i + 1 < ctx.args.size();
        if (!names_only && a == "--") {
            names_only = true;
        } else if (!names_only && a == "--from" && has_value) {
            if (!drive_number(ctx.args[++i], &from)) return obtool_fail("--from wants a drive number from 1 to 15");
            have_from = true;
        } else if (!names_only && a == "--to" && has_value) {
            if (!drive_number(ctx.args[++i], &to)) return obtool_fail("--to wants a drive number from 1 to 15");
            have_to = true;
        } else if (!names_only && a == "--model" && has_value) {
            uint8_t row = 0;
            if (!drive_number(ctx.args[++i], &row)) return obtool_fail("--model wants a row (see obtool models)");
            options.model_row = row;
        } else if (!names_only && !a.empty() && a[0] == '-') {
            return obtool_fail(CLONE_USAGE);
        } else {
            options.names.push_back(a);
        }
    }
    if (!have_from || !have_to) return obtool_fail(CLONE_USAGE);

    cCard source, target;
    const CloneReport plan = plan_clone(source, from, target, to, options);
    if (plan.outcome != CloneOutcome::Done) {
        show_clone_result(plan);
        return 1;
    }
    std::printf("clone: %zu file%s and the menu program area (%s) from drive %u to drive %u\n", plan.copied.size(),
                plan.copied.size() == 1 ? "" : "s", mib(plan.bytes_total).c_str(), unsigned(from), unsigned(to));
    std::fflush(stdout);
    if (!confirm_clone()) return obtool_fail("not cloned; the target card was not touched");

    CancelOnInterrupt cancel;
    struct Progress {
        PercentLine line{"cloning"};
        uint64_t done = 0, total = 0;
        static void on_chunk(void* context, uint32_t bytes) {
            auto* self = static_cast<Progress*>(context);
            self->done += bytes;
            self->line.show(self->done, self->total);
        }
    };
    CloneReport report;
    {
        Progress progress;
        progress.total = plan.bytes_total;
        CopyJob job;
        job.progress = &Progress::on_chunk;
        job.progress_context = &progress;
        job.cancel = cancel.flag();
        job.diagnostics = stderr;
        job.percentage_line = false;
        report = clone_card(source, from, target, to, options, job);
    }
    show_clone_result(report);
    if (report.outcome != CloneOutcome::Done) return 1;
    std::printf("cloned: %zu file%s, read back alike\n", report.copied.size(), report.copied.size() == 1 ? "" : "s");
    return 0;
}

}  // namespace

OBTOOL_COMMAND("compact", "compact [--dry-run]",
               "move files so that each region's free space is one run (--dry-run: print the plan)", cmd_compact);
OBTOOL_COMMAND("backup", "backup OUT.img", "write the card into a sparse card image, then check it", cmd_backup);
OBTOOL_COMMAND("restore", "restore IN.img", "write a backup onto the card (asks first), then check it", cmd_restore);
OBTOOL_COMMAND("clone", "clone --from N --to M [--model ROW] [NAME...]",
               "copy every file (or the named ones) and the menu area onto another card, formatted for its own "
               "model and size (asks first), then read it back",
               cmd_clone);
