#include "maintenance/card_care_commands.h"

#include "common/printable_name.h"
#include "common/ui_text.h"
#include "maintenance/maintenance_messages.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

bool confirm_compaction() { return show_maint_message(maint_msg::COMPACT_QUESTION) == MsgResult::Yes; }

bool confirm_restore() { return show_maint_message(maint_msg::RESTORE_WARNING) == MsgResult::Yes; }

bool confirm_clone() { return show_maint_message(maint_msg::CLONE_WARNING) == MsgResult::Yes; }

void show_compact_result(const CompactReport& report) {
    using namespace maint_msg;
    switch (report.outcome) {
    case CompactOutcome::NoVolume: show_maint_message(COMPACT_FAILED); break;
    case CompactOutcome::Damaged: show_maint_message(COMPACT_DAMAGED); break;
    case CompactOutcome::Cancelled: show_maint_message(COMPACT_CANCELLED); break;
    case CompactOutcome::Failed: show_maint_message(COMPACT_FAILED, report.failed_file); break;
    case CompactOutcome::Done:
        show_maint_message(report.plan.moves.empty() ? COMPACT_NOT_NEEDED : COMPACT_DONE);
        break;
    }
}

void show_backup_result(const CardImageReport& report) {
    show_maint_message(report.outcome == CardImageOutcome::Done ? maint_msg::BACKUP_DONE : maint_msg::BACKUP_FAILED);
}

void show_restore_result(const CardImageReport& report) {
    using namespace maint_msg;
    switch (report.outcome) {
    case CardImageOutcome::Done: show_maint_message(RESTORE_DONE); break;
    case CardImageOutcome::NotABackup: show_maint_message(RESTORE_NOT_A_BACKUP); break;
    case CardImageOutcome::CardTooSmall: show_maint_message(RESTORE_CARD_TOO_SMALL); break;
    case CardImageOutcome::Cancelled: show_maint_message(RESTORE_CANCELLED); break;
    default: show_maint_message(RESTORE_FAILED); break;
    }
}

void show_clone_result(const CloneReport& report) {
    using namespace maint_msg;
    const std::string why = std::string(ui_text("maintenance", report.why)) + printable_name(report.subject);
    switch (report.outcome) {
    case CloneOutcome::Done: show_maint_message(CLONE_DONE); break;
    case CloneOutcome::Refused: show_maint_message(CLONE_REFUSED, why); break;
    case CloneOutcome::Cancelled: show_maint_message(CLONE_CANCELLED); break;
    case CloneOutcome::VerifyFailed:
        show_maint_message(CLONE_VERIFY_FAILED, report.failed_file.empty()
                                                    ? std::string(ui_text("maintenance", CLONE_MENU_AREA))
                                                    : printable_name(report.failed_file));
        break;
    case CloneOutcome::Failed: show_maint_message(report.no_volume_left ? CLONE_NO_VOLUME_LEFT : CLONE_FAILED, why); break;
    }
}

int first_needing_compaction(const std::vector<std::pair<std::string, uint64_t>>& files) {
    const cOBFS& vol = volume();
    if (!vol.mounted) return -1;
    std::vector<uint8_t> map = vol.cluster_map;
    const uint32_t clusters = allocatable_clusters();
    const uint32_t cluster_bytes = vol.cluster_sectors() * 512;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& [name, size] = files[i];
        if (size > 0xFFFFFFFFull) continue;  // never fits; the copy says so
        DirSector entry{};
        if (find_file_entry(name, entry) != NO_SECTOR) {
            const uint32_t first = get_le32(entry.data() + DE_FIRST_CLUSTER);
            if (first != NO_CLUSTER) clear_run(map, first, get_le32(entry.data() + DE_LAST_CLUSTER));
        }
        if (take_first_fit(map, clusters, cluster_bytes, uint32_t(size)) == NO_RUN) {
            uint64_t free_bytes = 0;
            for (uint32_t c = 0; c < clusters; ++c) free_bytes += map[c] == MAP_FREE ? cluster_bytes : 0;
            if (free_bytes >= size) return int(i);
        }
    }
    return -1;
}

bool offer_compaction(const std::string& name) {
    return show_maint_message(maint_msg::COMPACT_OFFER, name) == MsgResult::Yes;
}
