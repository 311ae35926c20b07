#include "transfer/copy_plan.h"

#include "common/message_seam.h"
#include "common/ui_text.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "transfer/host_path.h"

#include <algorithm>
#include <filesystem>

namespace {

bool is_host_file(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

std::string overwrite_question(const std::string& what) {
    return what + ui_text("transfer", OVERWRITE_QUESTION);
}

bool may_overwrite(const std::string& what) {
    return show_message({overwrite_question(what), "", MsgIcon::Question, MsgButtons::YesNo}) ==
           MsgResult::Yes;
}

CopyPlan plan_copy_to_card(uint8_t drive, const std::vector<std::string>& host_paths, ShownName shown) {
    CopyPlan plan;
    // The questions ask about the card the files go to as it is now; a card that does
    // not mount holds nothing to ask about, and the copies report it.
    volume().mount(drive);
    std::vector<std::string> names;   // card names of the files queued so far
    for (const std::string& path : host_paths) {
        const std::string name = file_name_of(path);
        if ((file_exists(name) || contains(names, name)) && !may_overwrite(shown ? shown(name) : name)) {
            plan.declined.push_back(name);
            continue;
        }
        names.push_back(name);
        plan.queued.push_back(path);
    }
    return plan;
}

CopyPlan plan_copy_to_host(const std::vector<std::string>& card_names, const std::string& folder,
                           ShownName shown) {
    CopyPlan plan;
    std::vector<std::string> targets;   // host paths of the files queued so far
    for (const std::string& name : card_names) {
        // A name that cannot become a host file is the copy's to refuse, with its reason.
        if (!card_name_fits_host(name)) {
            plan.queued.push_back(name);
            continue;
        }
        if (!file_exists(name)) {
            plan.missing.push_back(name);
            continue;
        }
        const std::string target = host_target_path(folder, name);
        if ((is_host_file(target) || contains(targets, target)) && !may_overwrite(shown ? shown(target) : target)) {
            plan.declined.push_back(target);
            continue;
        }
        targets.push_back(target);
        plan.queued.push_back(name);
    }
    return plan;
}

std::string host_target_path(const std::string& folder, const std::string& card_name) {
    if (folder.empty()) return card_name;
    return folder.back() == '/' ? folder + card_name : folder + "/" + card_name;
}
