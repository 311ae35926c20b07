// The Qt-free half of the whole-card Tools commands (整理SD卡, 备份SD卡…, 恢复SD卡…):
// their questions and result boxes, through the message seam. The window runs the
// work itself behind its progress window and then calls these.
#pragma once

#include "maintenance/card_backup.h"
#include "maintenance/card_clone.h"
#include "maintenance/compact_card.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The compaction question (No by default); true for Yes.
bool confirm_compaction();
// The restore warning (No by default); true for Yes.
bool confirm_restore();
// The clone warning: the target is formatted first (No by default); true for Yes.
bool confirm_clone();

void show_compact_result(const CompactReport& report);
void show_backup_result(const CardImageReport& report);
// Also for the refusals of check_restore (not a backup, card too small).
void show_restore_result(const CardImageReport& report);
// The clone's box: done, refused (the target untouched), cancelled, failed (with what
// the target holds), or a read-back that differs. The reason (English, from the core)
// and the file follow the text.
void show_clone_result(const CloneReport& report);

// Of host files about to be copied onto the mounted volume in this order (name on the
// card, size), the first that no run will hold although the free clusters would;
// -1 when there is none. A file replaces one of the same name, whose run is counted
// free for it.
int first_needing_compaction(const std::vector<std::pair<std::string, uint64_t>>& files);

// Offers compaction for that file: "SD卡的剩余空间总量足够…" with its name; true for Yes.
bool offer_compaction(const std::string& name);
