#include "maintenance/card_care_commands.h"

#include "maintenance/maintenance_messages.h"
#include "obfs/allocator.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

bool confirm_compaction() { return show_maint_message(maint_msg::COMPACT_QUESTION) == MsgResult::Yes; }

bool confirm_restore() { return show_maint_message(maint_msg::RESTORE_WARNING) == MsgResult::Yes; }

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
        const uint32_t at = first_fit_run(map, clusters, cluster_bytes, uint32_t(size));
        if (at == NO_RUN) {
            uint64_t free_bytes = 0;
            for (uint32_t c = 0; c < clusters; ++c) free_bytes += map[c] == MAP_FREE ? cluster_bytes : 0;
            if (free_bytes >= size) return int(i);
            continue;
        }
        const uint32_t n = size == 0 ? 1 : uint32_t((size + cluster_bytes - 1) / cluster_bytes);
        map[at] = MAP_FIRST;
        for (uint32_t c = at + 1; c < at + n; ++c) map[c] = MAP_NEXT;
    }
    return -1;
}

bool offer_compaction(const std::string& name) {
    return show_maint_message(maint_msg::COMPACT_OFFER, name) == MsgResult::Yes;
}
