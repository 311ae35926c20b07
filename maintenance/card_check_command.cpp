#include "maintenance/card_check_command.h"

#include "common/message_seam.h"
#include "common/ui_text.h"
#include "maintenance/card_check.h"

#include <algorithm>

namespace {

// The check's own lines are diagnostics in English; the boxes frame them in the
// window's language.
constexpr const char* NO_VOLUME = UI_TEXT_NOOP("maintenance", "无法检查SD卡：");
constexpr const char* LAYOUT_DEPARTS =
    UI_TEXT_NOOP("maintenance", "无法检查SD卡：卷的布局与格式化时写入的不一致，检查和修复都不会改动这张卡。");
constexpr const char* CLEAN = UI_TEXT_NOOP("maintenance", "SD卡检查完毕，没有发现问题。");
constexpr const char* FOUND = UI_TEXT_NOOP("maintenance", "SD卡检查发现以下问题：");
constexpr const char* ASK_REPAIR = UI_TEXT_NOOP("maintenance", "要修复这些问题吗？（文件的内容不会被改动）");
constexpr const char* REPAIRED = UI_TEXT_NOOP("maintenance", "SD卡修复完成：");
constexpr const char* NOTHING_REPAIRED = UI_TEXT_NOOP("maintenance", "没有可以自动修复的问题。");
constexpr const char* STILL_FOUND = UI_TEXT_NOOP("maintenance", "以下问题无法自动修复：");
constexpr const char* NOW_CLEAN = UI_TEXT_NOOP("maintenance", "再次检查没有发现问题。");

const char* in_language(const char* source) { return ui_text("maintenance", source); }

}  // namespace

std::string check_box_text(const std::string& heading, const std::vector<std::string>& lines) {
    std::string text = heading;  // already in the user's language
    const size_t shown = std::min(lines.size(), CHECK_LINES_SHOWN);
    for (size_t i = 0; i < shown; ++i) text += "\n" + lines[i];
    if (lines.size() > shown)
        text += "\n" + with_args(ui_text("maintenance", "……另有 %1 项"), std::to_string(lines.size() - shown));
    return text;
}

CardCheckOutcome check_card_command(uint8_t drive, const std::function<void()>& refresh_card_list) {
    // Drive 0 is the host's system disk: nothing on it is ever examined or written.
    if (drive == 0) {
        show_error(check_box_text(in_language(NO_VOLUME), {"the drive does not open"}));
        return CardCheckOutcome::NoVolume;
    }
    const CardCheckReport found = check_card(drive, false);
    if (!found.volume_found) {
        show_error(check_box_text(in_language(found.layout_departs ? LAYOUT_DEPARTS : NO_VOLUME), found.problems));
        return CardCheckOutcome::NoVolume;
    }
    if (found.clean()) {
        show_info(in_language(CLEAN));
        return CardCheckOutcome::Clean;
    }
    const std::string question = check_box_text(in_language(FOUND), found.problems) + "\n\n" + in_language(ASK_REPAIR);
    if (show_message({question, APP_TITLE, MsgIcon::Warning, MsgButtons::YesNo}) != MsgResult::Yes)
        return CardCheckOutcome::Kept;

    const CardCheckReport repair = check_card(drive, true);
    const CardCheckReport after = check_card(drive, false);
    if (refresh_card_list) refresh_card_list();
    std::string text = repair.repairs.empty() ? std::string(in_language(NOTHING_REPAIRED))
                                              : check_box_text(in_language(REPAIRED), repair.repairs);
    text += "\n\n";
    text += after.clean() ? std::string(in_language(NOW_CLEAN)) : check_box_text(in_language(STILL_FOUND), after.problems);
    show_message({text, APP_TITLE, after.clean() ? MsgIcon::Information : MsgIcon::Warning,
                  MsgButtons::Ok});
    return CardCheckOutcome::Repaired;
}
