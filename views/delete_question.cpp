#include "views/delete_question.h"

#include "common/ui_text.h"

namespace {

// `heading`, a blank line, then the first names one a line and "等 N 个文件" for the rest.
std::string over_names(const char* heading, const std::vector<std::string>& names) {
    std::string text = ui_text("app", heading);
    text += "\n";
    for (size_t i = 0; i < names.size() && i < DELETE_QUESTION_NAMES; ++i) text += "\n" + names[i];
    if (names.size() > DELETE_QUESTION_NAMES)
        text += "\n" + with_args(ui_text("app", "等 %1 个文件"), std::to_string(names.size()));
    return text;
}

}  // namespace

std::string delete_question(const std::vector<std::string>& names) { return over_names(DELETE_QUESTION, names); }
std::string host_trash_question(const std::vector<std::string>& names) {
    return over_names(HOST_TRASH_QUESTION, names);
}
std::string host_trash_failed_notice(const std::vector<std::string>& names) {
    return over_names(HOST_TRASH_FAILED, names);
}

std::string nothing_deleted_notice() { return ui_text("app", NOTHING_DELETED); }
std::string delete_failed_notice() { return ui_text("app", DELETE_FAILED); }
