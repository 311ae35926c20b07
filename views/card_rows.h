// The rows of the card contents view, computed without any widget: obtool prints them
// and the main window's card list shows them.
#pragma once

#include "common/ui_text.h"

#include "obfs/directory.h"

#include <cstdint>
#include <string>
#include <vector>

enum class CardRowKind { File, FreeSpace, Message };

struct CardRow {
    CardRowKind kind = CardRowKind::File;
    std::string caption;     // column "文件名"
    std::string size_text;   // column "大小"
    std::string type_text;   // column "类型"
    int picture = 0;         // index into the card list's picture list
    uint32_t bytes = 0;      // file size or run length (for obtool -l)
    int slot = -1;           // directory slot of a file row
    uint32_t first_cluster = 0xFFFFFFFFu;
    uint32_t last_cluster = 0xFFFFFFFFu;
};

constexpr const char* FREE_SPACE_CAPTION = "<< FREE SPACE >>";
constexpr const char* NOT_A_VOLUME_ROW = UI_TEXT_NOOP("app", "这不是Orbelle格式的存储设备");
constexpr const char* FORMAT_HINT_ROW = UI_TEXT_NOOP("app", "如果要使用它，请在工具菜单中选择格式化");
// The two message rows while no card drive is listed at all.
constexpr const char* NO_CARD_ROW = UI_TEXT_NOOP("app", "没有找到SD卡");
constexpr const char* NO_CARD_HINT_ROW = UI_TEXT_NOOP("app", "请插入SD卡读卡器，或以 --drive N=映像文件 启动本程序");
// The box of a card command while no card drive is listed.
constexpr const char* NO_CARD_NOTICE =
    UI_TEXT_NOOP("app", "没有找到SD卡。\n请插入SD卡读卡器，或以 --drive N=映像文件 启动本程序。");

std::string SizeText(uint32_t bytes);
// SizeText for host files, which may pass 4 GiB: the same units and format.
std::string SizeText64(uint64_t bytes);
// The type text of a file name: its extension followed by " 文件" (in the user's
// language); `known` tells whether the card list has a picture of its own for it.
std::string type_text_of(const std::string& name, bool* known = nullptr);
// True for the cart's side files that the view never shows.
bool is_hidden_side_file(const std::string& name);

// Mounts the volume on `drive` and returns its rows in the order they are added (the
// caller sorts by caption); the two message rows when the drive holds no volume.
std::vector<CardRow> card_rows(uint8_t drive);

// The two message rows shown while no card drive is listed.
std::vector<CardRow> no_card_rows();

// The card's free space as its free-space rows show it: the sum and the largest run.
struct FreeSummary {
    uint64_t total_bytes = 0;
    uint64_t largest_bytes = 0;
    bool is_volume = false;   // false when the rows are message rows
};
FreeSummary free_summary(const std::vector<CardRow>& rows);

// The card list's order: ascending by caption in the collation of the current
// LC_COLLATE locale (case-sensitive; the program sets the user's locale at start-up).
// Rows with equal captions, such as the free-space rows, keep the order they had.
bool caption_before(const std::string& a, const std::string& b);
void sort_rows_by_caption(std::vector<CardRow>& rows);
