// What a copy command will copy, decided before anything is copied: the window's copy
// buttons and file drops and obtool's put and get all plan through here, so they ask
// the same overwrite questions about the same files and form host paths alike.
//
// Planning only asks (through the message seam) and looks; it writes nothing. The
// caller queues what the plan holds and runs the batch.
#pragma once

#include "common/ui_text.h"

#include <cstdint>
#include <string>
#include <vector>

// The overwrite question, asked with an empty title; No is the default answer.
constexpr const char* OVERWRITE_QUESTION = UI_TEXT_NOOP("transfer", "已经存在，要覆盖吗？");
// `what` (a card name or a host path) followed by the question, in the user's language.
std::string overwrite_question(const std::string& what);
// Asks it; true only when the answer is Yes.
bool may_overwrite(const std::string& what);

struct CopyPlan {
    std::vector<std::string> queued;     // host paths (to the card) or card names (to the host)
    std::vector<std::string> declined;   // what the user chose not to overwrite, as asked about
    std::vector<std::string> missing;    // card names that name no card file (to the host only)
};

// How a name or a host path appears in the question: as it is by default; obtool
// escapes control bytes so that no name reaches the terminal raw.
using ShownName = std::string (*)(const std::string&);

// Host files onto the card in `drive`, in the given order. A host file whose card name
// is on the card already, or comes earlier in the same batch, is asked about.
// Folders and unreadable files stay in the plan: queueing leaves them out.
CopyPlan plan_copy_to_card(uint8_t drive, const std::vector<std::string>& host_paths, ShownName shown = nullptr);

// Card files into the host folder `folder`. Names that name no card file (a free-space
// row's caption) go to `missing` without a question; a name whose host file exists,
// or comes earlier in the same batch, is asked about by its full host path. A name
// that cannot become a host file is queued without a question or a look at the card:
// the copy refuses it without touching the host. The volume must be mounted on the card's drive.
CopyPlan plan_copy_to_host(const std::vector<std::string>& card_names, const std::string& folder,
                           ShownName shown = nullptr);

// The host path a card file gets in `folder` ("dir" and "dir/" alike).
std::string host_target_path(const std::string& folder, const std::string& card_name);
