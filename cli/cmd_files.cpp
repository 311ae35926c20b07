// obtool's file commands: ls, put, get, rm. They go through the same routines as the
// main window: the card contents rows for ls, the window's copy planning (the same
// overwrite questions, through the message seam) and the transfer routines.
//
// Card names follow one rule both ways (obfs/card_name.h): put refuses a host file
// whose name could not come back off the card (a tab, a newline, another control byte
// or DEL in it), and get refuses the same names. Every card name that obtool prints is
// escaped (common/printable_name.h), so no name reaches the terminal raw.
#include "views/card_rows.h"
#include "common/message_seam.h"
#include "common/printable_name.h"
#include "cli/obtool_commands.h"
#include "cli/obtool_json.h"
#include "device/drive_refusal.h"
#include "maintenance/card_care_commands.h"
#include "obfs/af_file.h"
#include "obfs/card.h"
#include "obfs/card_name.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "platform/host_console.h"
#include "platform/host_file.h"
#include "platform/host_folder.h"
#include "transfer/copy_batch.h"
#include "transfer/copy_plan.h"
#include "transfer/host_path.h"
#include "transfer/transfer.h"
#include "transfer/verify.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

// Files at least this large show a progress line while they copy.
constexpr uint64_t PROGRESS_FROM_BYTES = 8ull << 20;

// The command's own options (obtool's main takes -y/--yes and "--" wherever they stand,
// and its message sink answers the questions).
struct FileArgs {
    bool long_list = false;
    std::string out_dir;
    bool has_out_dir = false;
    bool verify = false;        // --verify (put, get): read each copy back and compare
    std::vector<std::string> names;
    std::string error;
};

FileArgs parse_file_args(const std::vector<std::string>& args, bool allow_l, bool allow_o,
                         bool allow_verify = false) {
    FileArgs parsed;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && allow_verify && a == "--verify") {
            parsed.verify = true;
        } else if (options && allow_l && a == "-l") {
            parsed.long_list = true;
        } else if (options && allow_o && (a == "-o" || a == "--output")) {
            if (i + 1 >= args.size()) {
                parsed.error = a + " needs a folder";
                return parsed;
            }
            parsed.out_dir = args[++i];
            parsed.has_out_dir = true;
        } else if (options && allow_o && a.rfind("-o", 0) == 0 && a.size() > 2) {
            parsed.out_dir = a.substr(2);
            parsed.has_out_dir = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            parsed.error = "unknown option " + a;
            return parsed;
        } else {
            parsed.names.push_back(a);
        }
    }
    return parsed;
}

// Catches the diagnostic lines of a command's copies so obtool can show them on
// stderr with the file they belong to: the command's job sends them here.
class CapturedDiagnostics {
public:
    explicit CapturedDiagnostics(CopyJob& job) : job_(job) { catch_lines(); }
    // Prints every caught line as "obtool: <subject>: <line>" and clears the catch.
    void report(const std::string& subject) {
        const std::string all = capture_.take();
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('\n', start);
            if (end == std::string::npos) end = all.size();
            if (end > start)
                std::fprintf(stderr, "obtool: %s: %s\n", subject.c_str(), all.substr(start, end - start).c_str());
            start = end + 1;
        }
        catch_lines();   // taking the catch may have given it a new stream
    }

private:
    void catch_lines() {
        job_.diagnostics = capture_.stream();
        job_.percentage_line = false;
    }
    CopyJob& job_;
    host::TextCapture capture_;
};

// A one-line progress display on stderr for large files, fed by the job's progress.
class ProgressLine {
public:
    ProgressLine(CopyJob& job, const std::string& name, uint64_t size)
        : job_(job), name_(name), size_(size), shown_(size >= PROGRESS_FROM_BYTES && host::stderr_is_terminal()) {
        job_.progress = &ProgressLine::on_chunk;
        job_.progress_context = this;
    }
    ~ProgressLine() {
        job_.progress = nullptr;
        job_.progress_context = nullptr;
        if (shown_ && last_percent_ >= 0) std::fputc('\n', stderr);
    }

private:
    static void on_chunk(void* context, uint32_t bytes) {
        auto* self = static_cast<ProgressLine*>(context);
        self->done_ += bytes;
        if (!self->shown_) return;
        const int percent = int(std::min<uint64_t>(100, self->done_ * 100 / self->size_));
        if (percent == self->last_percent_) return;
        self->last_percent_ = percent;
        std::fprintf(stderr, "\r%s  %3d%%", self->name_.c_str(), percent);
        std::fflush(stderr);
    }
    CopyJob& job_;
    std::string name_;
    uint64_t size_;
    bool shown_;
    uint64_t done_ = 0;
    int last_percent_ = -1;
};

bool mount_or_say(uint8_t drive) {
    drive_layer::clear_open_refusal();
    if (volume().mount(drive)) return true;
    // A drive that would not open has said why already; it may well hold a volume.
    if (drive_layer::last_open_refusal().problem == drive_layer::OpenProblem::None)
        std::fprintf(stderr, "obtool: drive %u holds no OBFS volume\n", unsigned(drive));
    return false;
}

// A batch's copies mount the card themselves and keep its tables from one copy to
// the next while its superblock reads the same. When a copy was refused because the
// card no longer mounts (pulled out, changed), the batch stops here, saying why.
bool card_still_mounted(uint8_t drive) { return volume().mounted || mount_or_say(drive); }

// `shown` makes card names or host paths printable.
void say_not_overwritten(const std::vector<std::string>& declined, std::string (*shown)(const std::string&)) {
    for (const std::string& what : declined)
        std::fprintf(stderr, "obtool: %s: not overwritten\n", shown(what).c_str());
}


// Columns are padded by what the terminal shows, not by bytes: a Chinese character is
// three bytes of UTF-8 and two columns wide.
using host::display_width;

std::string pad_right(const std::string& text, size_t width) {
    const size_t w = display_width(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

std::string pad_left(const std::string& text, size_t width) {
    const size_t w = display_width(text);
    return w >= width ? text : std::string(width - w, ' ') + text;
}

std::string number_or_dash(bool present, uint64_t value) {
    return present ? std::to_string(value) : "-";
}

void print_rows(const std::vector<CardRow>& rows, bool long_list) {
    size_t name_w = 4, size_w = 4, type_w = 4;
    std::vector<std::string> captions;
    for (const CardRow& r : rows) {
        captions.push_back(printable_name(r.caption));
        name_w = std::max(name_w, display_width(captions.back()));
        size_w = std::max(size_w, display_width(r.size_text));
        type_w = std::max(type_w, display_width(r.type_text));
    }
    if (long_list)
        std::printf("%s  %s  %s  %5s  %6s  %6s  %10s\n", pad_right("NAME", name_w).c_str(),
                    pad_left("SIZE", size_w).c_str(), pad_right("TYPE", type_w).c_str(), "SLOT", "FIRST",
                    "LAST", "BYTES");
    for (size_t i = 0; i < rows.size(); ++i) {
        const CardRow& r = rows[i];
        std::string line = pad_right(captions[i], name_w) + "  " + pad_left(r.size_text, size_w) + "  ";
        if (!long_list) {
            line += r.type_text;
            while (!line.empty() && line.back() == ' ') line.pop_back();
            std::printf("%s\n", line.c_str());
            continue;
        }
        const bool has_run = r.kind != CardRowKind::Message && r.first_cluster != NO_CLUSTER;
        line += pad_right(r.type_text, type_w) + "  " + pad_left(number_or_dash(r.slot >= 0, unsigned(r.slot)), 5) +
                "  " + pad_left(number_or_dash(has_run, r.first_cluster), 6) + "  " +
                pad_left(number_or_dash(has_run, r.last_cluster), 6) + "  " +
                pad_left(number_or_dash(r.kind != CardRowKind::Message, r.bytes), 10);
        std::printf("%s\n", line.c_str());
    }
}

// A row of the listing as ls --json gives it: the table's columns, with the size in
// bytes and the run as its first cluster and length.
Json row_json(const CardRow& r) {
    const bool file = r.kind == CardRowKind::File;
    const bool has_run = r.first_cluster != NO_CLUSTER;
    Json row{{"kind", file ? "file" : "free"}};
    row["name"] = file ? Json(printable_name(r.caption)) : Json(nullptr);
    row["size"] = r.bytes;
    row["type"] = text_or_null(r.type_text);
    row["slot"] = r.slot >= 0 ? Json(r.slot) : Json(nullptr);
    row["first_cluster"] = has_run ? Json(r.first_cluster) : Json(nullptr);
    row["clusters"] = has_run ? r.last_cluster - r.first_cluster + 1 : 0;
    return row;
}

int cmd_ls(ObtoolContext& ctx) {
    const bool json = take_json_option(ctx.args);
    const FileArgs args = parse_file_args(ctx.args, true, false);
    if (!args.error.empty()) return obtool_fail("ls: " + args.error);
    if (!args.names.empty()) return obtool_fail("ls: unexpected argument " + args.names.front());
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    // The card list's order is the user's locale's; columns need its character widths.
    std::setlocale(LC_COLLATE, "");
    // Card names are UTF-8 on this host; measure them as such even under the C locale.
    if (!std::setlocale(LC_CTYPE, "") || MB_CUR_MAX == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<CardRow> rows = card_rows(drive);
    sort_rows_by_caption(rows);
    const bool is_volume = rows.empty() || rows.front().kind != CardRowKind::Message;
    if (!is_volume) {
        if (!json) print_rows(rows, args.long_list);
        return obtool_fail("drive " + std::to_string(drive) + " holds no OBFS volume");
    }
    if (json) {
        Json listing = Json::array();
        for (const CardRow& r : rows) listing.push_back(row_json(r));
        print_json({{"entries", listing}});
    } else {
        print_rows(rows, args.long_list);
    }
    return 0;
}

const char* copy_end_text(CopyEnd end) {
    switch (end) {
    case CopyEnd::Refused: return "not copied";
    case CopyEnd::VerifyFailed: return "the copy does not read back as the source (kept for inspection)";
    default: return "copy did not complete";
    }
}

int cmd_put(ObtoolContext& ctx) {
    const FileArgs args = parse_file_args(ctx.args, false, false, true);
    if (!args.error.empty()) return obtool_fail("put: " + args.error);
    if (args.names.empty()) return obtool_fail("put: no host file given");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    if (!mount_or_say(drive)) return 1;
    // The command's own job: its --verify ends with it, whichever way it returns.
    CopyJob job;
    job.verify = args.verify;
    int refused = 0;
    std::vector<std::string> wanted;
    for (const std::string& path : args.names) {
        const std::string name = file_name_of(path);
        if (const char* why = card_name_problem(name)) {
            std::fprintf(stderr, "obtool: put: \"%s\": %s; a card file cannot take this name\n",
                         printable_name(name).c_str(), why);
            ++refused;
            continue;
        }
        wanted.push_back(path);
    }
    // The window's planning: the same questions about the same files.
    const CopyPlan plan = plan_copy_to_card(drive, wanted, printable_name);
    say_not_overwritten(plan.declined, printable_name);
    refused += int(plan.declined.size());
    CapturedDiagnostics diagnostics(job);
    CopyBatch batch(default_card(), job);
    for (size_t i = 0; i < plan.queued.size(); ++i) {
        const std::string& path = plan.queued[i];
        const std::string name = file_name_of(path);
        host::FileStatus st;
        const uint64_t size = host::status_of(path, &st) ? st.size : 0;
        CopyEnd end;
        {
            ProgressLine progress(job, printable_name(name), size);
            end = batch.copy_to_card(path, drive, i + 1 < plan.queued.size() ? plan.queued[i + 1] : std::string());
        }
        diagnostics.report(path);
        if (end != CopyEnd::Complete) {
            std::fprintf(stderr, "obtool: %s: %s\n", printable_name(name).c_str(), copy_end_text(end));
            ++refused;
        }
        if (end == CopyEnd::Refused && !card_still_mounted(drive)) return 1;
        if (end == CopyEnd::Refused && first_needing_compaction({{name, size}}) == 0)
            std::fprintf(stderr, "obtool: %s: no free run holds it, but the card's free space does in total: "
                                 "run `obtool compact`\n", printable_name(name).c_str());
    }
    batch.end();  // copies to the card end flushed: their failures were counted above
    return refused ? 1 : 0;
}

int cmd_get(ObtoolContext& ctx) {
    const FileArgs args = parse_file_args(ctx.args, false, true, true);
    if (!args.error.empty()) return obtool_fail("get: " + args.error);
    if (args.names.empty()) return obtool_fail("get: no card file given");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    const std::string folder = args.has_out_dir ? args.out_dir : ".";
    if (!host::is_folder(folder)) return obtool_fail("get: " + folder + ": no such folder");
    if (!mount_or_say(drive)) return 1;
    CopyJob job;
    job.verify = args.verify;
    int refused = 0;
    std::vector<std::string> wanted;
    for (const std::string& name : args.names) {
        // The rule put obeys: a name it would refuse never becomes a host file.
        if (const char* why = card_name_problem(name)) {
            std::fprintf(stderr, "obtool: get: \"%s\": %s; it cannot be copied off the card (obtool rm removes it)\n",
                         printable_name(name).c_str(), why);
            ++refused;
            continue;
        }
        wanted.push_back(name);
    }
    const CopyPlan plan = plan_copy_to_host(wanted, folder, printable_host_path);
    for (const std::string& name : plan.missing)
        std::fprintf(stderr, "obtool: %s: file does not exist.\n", printable_name(name).c_str());
    say_not_overwritten(plan.declined, printable_host_path);
    refused += int(plan.missing.size() + plan.declined.size());
    CapturedDiagnostics diagnostics(job);
    CopyBatch batch(default_card(), job);
    for (size_t i = 0; i < plan.queued.size(); ++i) {
        const std::string& name = plan.queued[i];
        uint64_t size = 0;
        {
            cAFFile probe;
            if (probe.open(name, "r", 0)) size = probe.get_size();
        }
        bool ok;
        {
            ProgressLine progress(job, printable_name(name), size);
            const auto following = std::span<const std::string>(plan.queued).subspan(i + 1);
            ok = batch.copy_to_host(drive, name, host_target_path(folder, name), following) == CopyEnd::Complete;
        }
        diagnostics.report(printable_name(name));
        if (!ok) ++refused;
        if (!ok && !card_still_mounted(drive)) {
            batch.end();
            return 1;
        }
    }
    // Host files of the batch are synced together; one whose sync failed is no copy.
    for (const CopyFailure& failure : batch.end()) {
        if (failure.kind != CopyFailure::Kind::NotSynced) continue;
        std::fprintf(stderr, "obtool: %s: could not be written to the disk\n",
                     printable_host_path(failure.host_path).c_str());
        ++refused;
    }
    return refused ? 1 : 0;
}

int cmd_rm(ObtoolContext& ctx) {
    const FileArgs args = parse_file_args(ctx.args, false, false);
    if (!args.error.empty()) return obtool_fail("rm: " + args.error);
    if (args.names.empty()) return obtool_fail("rm: no card file given");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    CopyJob job;
    CapturedDiagnostics diagnostics(job);
    int refused = 0;
    for (const std::string& name : args.names) {
        if (delete_ob_file(default_card(), job, drive, name) != 0) ++refused;
        diagnostics.report(printable_name(name));
    }
    return refused ? 1 : 0;
}

}  // namespace

OBTOOL_COMMAND("ls", "ls [-l] [--json]", "list the card's files and free runs (-l: slot, clusters, bytes)", cmd_ls);
OBTOOL_COMMAND("put", "put [--verify] HOSTFILE...", "copy host files onto the card; --verify reads each copy back", cmd_put);
OBTOOL_COMMAND("get", "get [--verify] NAME... [-o DIR]",
               "copy card files into a host folder (default .); --verify reads each copy back", cmd_get);
OBTOOL_COMMAND("rm", "rm NAME...", "delete card files", cmd_rm);
