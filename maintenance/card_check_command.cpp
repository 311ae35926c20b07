#include "maintenance/card_check_command.h"

#include "common/message_seam.h"
#include "maintenance/card_check.h"

#include <algorithm>

namespace {

// The check's own lines are diagnostics in English; the boxes frame them in the
// window's language.
constexpr const char* NO_VOLUME = "无法检查SD卡：";
constexpr const char* LAYOUT_DEPARTS = "无法检查SD卡：卷的布局与格式化时写入的不一致，检查和修复都不会改动这张卡。";
constexpr const char* CLEAN = "SD卡检查完毕，没有发现问题。";
constexpr const char* FOUND = "SD卡检查发现以下问题：";
constexpr const char* ASK_REPAIR = "要修复这些问题吗？（文件的内容不会被改动）";
constexpr const char* REPAIRED = "SD卡修复完成：";
constexpr const char* NOTHING_REPAIRED = "没有可以自动修复的问题。";
constexpr const char* STILL_FOUND = "以下问题无法自动修复：";
constexpr const char* NOW_CLEAN = "再次检查没有发现问题。";

}  // namespace

std::string check_box_text(const std::string& heading, const std::vector<std::string>& lines) {
    std::string text = heading;
    const size_t shown = std::min(lines.size(), CHECK_LINES_SHOWN);
    for (size_t i = 0; i < shown; ++i) text += "\n" + lines[i];
    if (lines.size() > shown)
        text += "\n……另有 " + std::to_string(lines.size() - shown) + " 项";
    return text;
}

CardCheckOutcome check_card_command(uint8_t drive, const std::function<void()>& refresh_card_list) {
    // Drive 0 is the host's system disk: nothing on it is ever examined or written.
    if (drive == 0) {
        show_error(check_box_text(NO_VOLUME, {"the drive does not open"}));
        return CardCheckOutcome::NoVolume;
    }
    const CardCheckReport found = check_card(drive, false);
    if (!found.volume_found) {
        show_error(check_box_text(found.layout_departs ? LAYOUT_DEPARTS : NO_VOLUME, found.problems));
        return CardCheckOutcome::NoVolume;
    }
    if (found.clean()) {
        show_info(CLEAN);
        return CardCheckOutcome::Clean;
    }
    const std::string question = check_box_text(FOUND, found.problems) + "\n\n" + ASK_REPAIR;
    if (show_message({question, APP_TITLE, MsgIcon::Warning, MsgButtons::YesNo}) != MsgResult::Yes)
        return CardCheckOutcome::Kept;

    const CardCheckReport repair = check_card(drive, true);
    const CardCheckReport after = check_card(drive, false);
    if (refresh_card_list) refresh_card_list();
    std::string text = repair.repairs.empty() ? std::string(NOTHING_REPAIRED)
                                              : check_box_text(REPAIRED, repair.repairs);
    text += "\n\n";
    text += after.clean() ? std::string(NOW_CLEAN) : check_box_text(STILL_FOUND, after.problems);
    show_message({text, APP_TITLE, after.clean() ? MsgIcon::Information : MsgIcon::Warning,
                  MsgButtons::Ok});
    return CardCheckOutcome::Repaired;
}
