// The texts of the two panes' delete commands: the question that names the files it
// is about to delete, and the notices when nothing or not everything went.
#pragma once

#include "common/ui_text.h"

#include <string>
#include <vector>

constexpr const char* DELETE_QUESTION = UI_TEXT_NOOP("app", "确实要删除这些文件吗？");
constexpr const char* NOTHING_DELETED = UI_TEXT_NOOP("app", "所选的行都不是文件，没有删除任何文件。");
// A card file that is still there after its delete (the card refused a write).
constexpr const char* DELETE_FAILED =
    UI_TEXT_NOOP("app", "删除文件失败，请重试；如仍失败，SD卡可能需要检查或格式化");
// The host pane moves what it deletes to the desktop's trash.
constexpr const char* HOST_TRASH_QUESTION = UI_TEXT_NOOP("app", "确实要把这些文件移到回收站吗？");
constexpr const char* HOST_TRASH_FAILED = UI_TEXT_NOOP("app", "下列文件未能移到回收站：");
// Names listed in the question before the rest is summed up.
constexpr size_t DELETE_QUESTION_NAMES = 5;

// The question over the names of the files to delete: the first few names, one a
// line, then "等 N 个文件" (N counting all of them) when there are more.
std::string delete_question(const std::vector<std::string>& names);
std::string host_trash_question(const std::vector<std::string>& names);
// The failure notice over the names of what stayed, listed like the question's.
std::string host_trash_failed_notice(const std::vector<std::string>& names);
std::string nothing_deleted_notice();
std::string delete_failed_notice();
