// The language rule, the English lookup the core and obtool use, and the window's
// Qt-free texts and sizes: the delete question, the free-space line, the first size.
#include "views/card_rows.h"
#include "views/delete_question.h"
#include "views/window_size.h"
#include "common/ui_text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

UiLanguage language_of(std::map<std::string, std::string> env) {
    static std::map<std::string, std::string> current;
    current = std::move(env);
    return language_from_locale([](const char* name) -> const char* {
        const auto it = current.find(name);
        return it == current.end() ? nullptr : it->second.c_str();
    });
}

// Restores the program's own language after each test.
class UiText : public ::testing::Test {
protected:
    void TearDown() override { set_ui_language(UiLanguage::Chinese); }
};

TEST_F(UiText, TheLocaleChoosesTheLanguageChineseWhereNoneIsSet) {
    EXPECT_EQ(language_of({}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LANG", "C.UTF-8"}}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LANG", "POSIX"}}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LANG", "zh_CN.UTF-8"}}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LANG", "zh_TW.UTF-8"}}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LANG", "en_US.UTF-8"}}), UiLanguage::English);
    EXPECT_EQ(language_of({{"LANG", "de_DE.UTF-8"}}), UiLanguage::English);
    // LC_ALL before LC_MESSAGES before LANG; empty values count as unset.
    EXPECT_EQ(language_of({{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}), UiLanguage::Chinese);
    EXPECT_EQ(language_of({{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}), UiLanguage::English);
    EXPECT_EQ(language_of({{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}), UiLanguage::English);

    UiLanguage chosen = UiLanguage::Chinese;
    EXPECT_TRUE(parse_ui_language("en", &chosen));
    EXPECT_EQ(chosen, UiLanguage::English);
    EXPECT_TRUE(parse_ui_language("zh", &chosen));
    EXPECT_EQ(chosen, UiLanguage::Chinese);
    EXPECT_FALSE(parse_ui_language("fr", &chosen));
    EXPECT_FALSE(parse_ui_language("", &chosen));
}

TEST_F(UiText, EnglishComesFromTheTableAndUnknownTextsStayAsTheyAre) {
    EXPECT_STREQ(ui_text("maintenance", "格式化完成"), "格式化完成");
    set_ui_language(UiLanguage::English);
    EXPECT_STREQ(ui_text("maintenance", "格式化完成"), "Format complete");
    EXPECT_STREQ(ui_text("app", "这不是Orbelle格式的存储设备"), "This is not an Orbelle storage device");
    // The context counts: the same text elsewhere is not found.
    EXPECT_STREQ(ui_text("nowhere", "格式化完成"), "格式化完成");
    EXPECT_STREQ(ui_text("app", "没有这个文本"), "没有这个文本");
    // Every text of the table has its English (the table is made from orbelle_en.ts).
    for (unsigned i = 0; i < UI_TEXT_TABLE_SIZE; ++i)
        EXPECT_STRNE(UI_TEXT_TABLE[i].english, "") << UI_TEXT_TABLE[i].context << ": " << UI_TEXT_TABLE[i].source;
}

TEST_F(UiText, ArgumentsFillInOnePass) {
    EXPECT_EQ(with_args("等 %1 个文件", "7"), "等 7 个文件");
    EXPECT_EQ(with_args("%2 / %1", "a", "b"), "b / a");
    EXPECT_EQ(with_args("%1 and %2", "%2", "x"), "%2 and x");
    EXPECT_EQ(with_args("100%", "a"), "100%");
}

TEST_F(UiText, TheDeleteQuestionNamesTheFirstFilesThenCountsThemAll) {
    EXPECT_EQ(delete_question({"a.nds"}), "确实要删除这些文件吗？\n\na.nds");
    const std::vector<std::string> seven{"1", "2", "3", "4", "5", "6", "7"};
    EXPECT_EQ(delete_question(seven), "确实要删除这些文件吗？\n\n1\n2\n3\n4\n5\n等 7 个文件");
    set_ui_language(UiLanguage::English);
    EXPECT_EQ(delete_question(seven),
              "Do you really want to delete these files?\n\n1\n2\n3\n4\n5\n… 7 files in all");
    EXPECT_EQ(nothing_deleted_notice(), "None of the selected rows is a file; nothing was deleted.");
}

TEST_F(UiText, FreeSpaceSumsTheFreeRowsAndFindsTheLargest) {
    CardRow file, free1, free2;
    file.kind = CardRowKind::File;
    file.bytes = 5000;
    free1.kind = free2.kind = CardRowKind::FreeSpace;
    free1.bytes = 786432;
    free2.bytes = 10485760;
    const FreeSummary summary = free_summary({free1, file, free2});
    EXPECT_TRUE(summary.is_volume);
    EXPECT_EQ(summary.total_bytes, 786432u + 10485760u);
    EXPECT_EQ(summary.largest_bytes, 10485760u);
    EXPECT_FALSE(free_summary(no_card_rows()).is_volume);
    EXPECT_EQ(no_card_rows().size(), 2u);
    EXPECT_EQ(no_card_rows()[0].caption, "没有找到SD卡");
    // Host sizes past 4 GiB keep the card list's units.
    EXPECT_EQ(SizeText64(5ull << 30), "5120.0 MB");
    EXPECT_EQ(SizeText64(1025), SizeText(1025));
}

TEST_F(UiText, TheFirstWindowSizeFitsTheScreen) {
    const WindowSize full_hd = first_window_size(1920, 1050);
    EXPECT_EQ(full_hd.width, 1152);
    EXPECT_EQ(full_hd.height, 735);
    const WindowSize small = first_window_size(800, 600);
    EXPECT_EQ(small.width, 720);
    EXPECT_EQ(small.height, 480);
    const WindowSize tiny = first_window_size(640, 400);   // never past the screen
    EXPECT_EQ(tiny.width, 640);
    EXPECT_EQ(tiny.height, 400);
}

TEST_F(UiText, TheTypeTextIsTheCardListsAndKnowsNdsAndSav) {
    bool known = false;
    EXPECT_EQ(type_text_of("GAME.NDS", &known), "nds 文件");
    EXPECT_TRUE(known);
    EXPECT_EQ(type_text_of("notes.txt", &known), "txt 文件");
    EXPECT_FALSE(known);
    set_ui_language(UiLanguage::English);
    EXPECT_EQ(type_text_of("a.sav", &known), "sav file");
    EXPECT_TRUE(known);
}

}  // namespace
