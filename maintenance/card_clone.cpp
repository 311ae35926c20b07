#include "maintenance/card_clone.h"

#include "common/ui_text.h"
#include "device/medium_reader.h"
#include "device/sector_io.h"
#include "maintenance/card_models.h"
#include "maintenance/format_card.h"
#include "maintenance/menu_install.h"
#include "maintenance/side_files.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "transfer/card_to_card.h"
#include "transfer/copy_steps.h"
#include "transfer/host_io.h"
#include "transfer/verify.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// The menu program area goes over in pieces of this many sectors (1 MiB: a card
// charges for every command).
constexpr uint32_t MENU_PIECE_SECTORS = 2048;
constexpr uint32_t MENU_SECTORS = MENU_AREA_BYTES / SECTOR_BYTES;

// A clone that failed after the target's old volume was gone, before its new one was sealed.
constexpr const char* NO_VOLUME_LEFT = UI_TEXT_NOOP("maintenance", "目标SD卡上现在没有可用的卷");

struct ClonePlan {
    std::vector<std::string> names;   // in the order they are copied
    uint64_t bytes = 0;
    uint32_t partition_start[PARTITION_ENTRIES] = {};
};

bool refuse(CloneReport* report, const char* why, const std::string& subject = {}) {
    report->outcome = CloneOutcome::Refused;
    report->why = why;
    report->subject = subject;
    return false;
}

// The files of the mounted source, by name, with their sizes.
bool source_files(cCard& source, std::map<std::string, uint32_t>* files, std::vector<std::string>* order) {
    AF_FIND_DATA_T d;
    for (int slot = find_first(source, d); slot >= 0; slot = find_next(source, slot + 1, d)) {
        const std::string name(reinterpret_cast<const char*>(d.name));
        if (files->emplace(name, d.size).second) order->push_back(name);
    }
    return true;
}

// The chosen names with what comes along: a game's save, and the side files.
bool chosen_files(const std::map<std::string, uint32_t>& files, const std::vector<std::string>& all,
                  const std::vector<std::string>& wanted, std::vector<std::string>* out, CloneReport* report) {
    if (wanted.empty()) {
        *out = all;
        return true;
    }
    const auto take = [&](const std::string& name) {
        if (files.count(name) && std::find(out->begin(), out->end(), name) == out->end()) out->push_back(name);
    };
    for (const std::string& name : wanted) {
        if (!files.count(name)) return refuse(report, UI_TEXT_NOOP("maintenance", "源SD卡上没有这个文件："), name);
        take(name);
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && name.substr(dot) == ".nds") take(name.substr(0, dot) + ".sav");
    }
    for (const char* side : {SAVE_LIST_FILE, SAVE_INFO_FILE, SPEED_FILE}) take(side);
    return true;
}

// Places the files on a copy of the fresh map the way their streams will (first fit
// for the whole size, largest first, so the long runs find room before the small
// files cut the free space up); false when one finds no run.
bool place_files(std::vector<uint8_t> map, const Superblock& sb, const std::map<std::string, uint32_t>& sizes,
                 std::vector<std::string>* names, CloneReport* report) {
    std::stable_sort(names->begin(), names->end(),
                     [&](const std::string& a, const std::string& b) { return sizes.at(a) > sizes.at(b); });
    const uint32_t clusters = sb.cluster_count();
    for (const std::string& name : *names) {
        const uint32_t size = sizes.at(name);
        if (take_first_fit(map, clusters, OBFS_CLUSTER_BYTES, size) == NO_RUN)
            return refuse(report, UI_TEXT_NOOP("maintenance", "目标SD卡放不下这些文件，没有连续空间可放："), name);
    }
    return true;
}

bool make_plan(cCard& source, uint8_t from, cCard& target, uint8_t to, const CloneOptions& options, ClonePlan* plan,
               CloneReport* report) {
    if (from == 0 || to == 0) return refuse(report, UI_TEXT_NOOP("maintenance", "驱动器 0 是本机的系统盘"));
    if (from == to) return refuse(report, UI_TEXT_NOOP("maintenance", "源SD卡和目标SD卡是同一个驱动器"));
    if (!source.mount(from)) return refuse(report, UI_TEXT_NOOP("maintenance", "源SD卡上没有Orbelle格式的卷"));
    std::map<std::string, uint32_t> sizes;
    std::vector<std::string> all;
    source_files(source, &sizes, &all);
    for (const std::string& name : all)
        if (!valid_new_name(name))
            return refuse(report, UI_TEXT_NOOP("maintenance", "源SD卡上有文件名不合规的文件："), name);
    if (!chosen_files(sizes, all, options.names, &plan->names, report)) return false;

    // The target's own model: the row asked for, or the partition starts its volume
    // records.
    if (options.model_row >= 0) {
        if (!is_card_model_row(options.model_row)) return refuse(report, UI_TEXT_NOOP("maintenance", "没有这个SD卡型号"));
        std::memcpy(plan->partition_start, card_model_table[size_t(options.model_row)].partition_start,
                    sizeof plan->partition_start);
    } else if (target.mount(to)) {
        std::memcpy(plan->partition_start, target.volume().partition_table, sizeof plan->partition_start);
    } else {
        return refuse(report, UI_TEXT_NOOP("maintenance", "目标SD卡还没有格式化，无法得知它的型号，请先选择型号"));
    }
    if (!target.disk().open(to)) return refuse(report, UI_TEXT_NOOP("maintenance", "目标SD卡无法打开"));
    Superblock sb;
    std::vector<uint8_t> map;
    if (!fresh_volume_layout(target.disk().get_size(), plan->partition_start, &sb, &map))
        return refuse(report, UI_TEXT_NOOP("maintenance", "目标SD卡太小，放不下卷"));
    if (!place_files(map, sb, sizes, &plan->names, report)) return false;
    plan->bytes = MENU_AREA_BYTES;
    for (const std::string& name : plan->names) plan->bytes += sizes.at(name);
    return true;
}

// Sectors 1..8192 from the source's drive to the target's, summed on the way.
CopyEnd copy_menu_area(cCard& source, const copy_steps::Context& run, ChunkedChecksum* sum) {
    AlignedBuffer buffer(size_t(MENU_PIECE_SECTORS) * SECTOR_BYTES);
    if (!buffer.data()) return CopyEnd::Stopped;
    for (uint32_t at = 0; at < MENU_SECTORS; at += MENU_PIECE_SECTORS) {
        if (run.cancel_requested()) return run.cancelled();
        const uint32_t n = std::min(MENU_PIECE_SECTORS, MENU_SECTORS - at);
        if (!source.disk().read_run(OBFS_MENU_START + at, n, buffer.data())) {
            run.say("read source card error\n");
            return CopyEnd::Stopped;
        }
        if (!run.card.disk().write_run(OBFS_MENU_START + at, n, buffer.data())) {
            run.say("write fail.\n");
            return CopyEnd::Stopped;
        }
        sum->add(buffer.data(), size_t(n) * SECTOR_BYTES);
        run.report_progress(n * SECTOR_BYTES);
    }
    return CopyEnd::Complete;
}

// The menu area as the target's medium holds it, past every cache.
bool menu_area_reads_back(uint8_t drive, const ChunkedChecksum& sum) {
    MediumReader medium;
    uint8_t* buffer = medium.open(drive) ? medium.scratch(MENU_PIECE_SECTORS * SECTOR_BYTES) : nullptr;
    if (!buffer) return false;
    ChunkedChecksum back;
    for (uint32_t at = 0; at < MENU_SECTORS; at += MENU_PIECE_SECTORS) {
        const uint32_t n = std::min(MENU_PIECE_SECTORS, MENU_SECTORS - at);
        if (!medium.read(uint64_t(OBFS_MENU_START + at) * SECTOR_BYTES, buffer, n * SECTOR_BYTES)) return false;
        back.add(buffer, size_t(n) * SECTOR_BYTES);
    }
    return back.value() == sum.value() && back.length() == sum.length();
}

}  // namespace

CloneReport plan_clone(cCard& source, uint8_t from, cCard& target, uint8_t to, const CloneOptions& options) {
    CloneReport report;
    ClonePlan plan;
    if (!make_plan(source, from, target, to, options, &plan, &report)) return report;
    report.outcome = CloneOutcome::Done;
    report.copied = plan.names;
    report.bytes_total = plan.bytes;
    return report;
}

CloneReport clone_card(cCard& source, uint8_t from, cCard& target, uint8_t to, const CloneOptions& options,
                       const CopyJob& job) {
    CloneReport report;
    ClonePlan plan;
    if (!make_plan(source, from, target, to, options, &plan, &report)) return report;
    report.bytes_total = plan.bytes;
    const copy_steps::Context run(target, job);
    if (run.cancel_requested()) {
        run.cancelled();
        report.outcome = CloneOutcome::Cancelled;
        return report;
    }

    FreshVolume fresh(target);
    if (!fresh.begin(to, plan.partition_start)) {
        // Whether the target still holds its old volume is what the card says now: a
        // failed first write may have left sector 0 as it was.
        const bool old_kept = target.mount(to);
        report.outcome = old_kept ? CloneOutcome::Refused : CloneOutcome::Failed;
        report.why = old_kept ? UI_TEXT_NOOP("maintenance", "目标SD卡无法写入") : NO_VOLUME_LEFT;
        report.no_volume_left = !old_kept;
        return report;
    }
    report.outcome = CloneOutcome::Done;
    ChunkedChecksum menu_sum;
    const CopyEnd menu = copy_menu_area(source, run, &menu_sum);
    if (menu == CopyEnd::Cancelled) report.outcome = CloneOutcome::Cancelled;
    if (menu == CopyEnd::Stopped) {
        report.outcome = CloneOutcome::Failed;
        report.why = UI_TEXT_NOOP("maintenance", "菜单程序区无法复制");
    }
    std::vector<ChunkedChecksum> sums;
    for (const std::string& name : plan.names) {
        if (report.outcome != CloneOutcome::Done) break;
        ChunkedChecksum sum;
        const CopyEnd end = copy_card_to_card(source, target, job, name, &sum);
        if (end == CopyEnd::Complete) {
            report.copied.push_back(name);
            sums.push_back(sum);
            continue;
        }
        report.outcome = end == CopyEnd::Cancelled ? CloneOutcome::Cancelled : CloneOutcome::Failed;
        if (end == CopyEnd::Cancelled) break;
        report.failed_file = report.subject = name;
        report.why = UI_TEXT_NOOP("maintenance", "这个文件无法复制：");
        // Only whole files go under the superblock.
        if (file_exists(target, name)) delete_file(target, name);
    }
    // The files so far under the new superblock: a stopped clone still leaves a volume.
    if (!fresh.seal()) {
        // What the card holds is what counts: a superblock whose write was reported
        // failed may have landed all the same.
        report.outcome = CloneOutcome::Failed;
        report.no_volume_left = !target.mount(to);
        report.why = report.no_volume_left ? NO_VOLUME_LEFT : UI_TEXT_NOOP("maintenance", "目标SD卡写入失败");
        return report;
    }
    if (report.outcome != CloneOutcome::Done) return report;
    // Read back from the target's medium what was read from the source.
    if (!menu_area_reads_back(to, menu_sum)) {
        report.outcome = CloneOutcome::VerifyFailed;
        run.say("verify failed: the target's menu program area differs from the source's.\n");
        return report;
    }
    for (size_t i = 0; i < report.copied.size(); ++i) {
        if (verify_card_file(target, report.copied[i], sums[i])) continue;
        report.outcome = CloneOutcome::VerifyFailed;
        report.failed_file = report.copied[i];
        run.say("verify failed: the target's file differs from the source's.\n");
        return report;
    }
    return report;
}
