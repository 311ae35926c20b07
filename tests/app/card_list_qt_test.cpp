// The card list: caption order, pictures, header-click sorting, and what the main
// window shows of a card.
#include "app/card_list_qt.h"
#include "app/image_list_qt.h"
#include "app/mainDlg.h"
#include "device/drive_layer.h"
#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "support/test_cards.h"

#include <QHeaderView>
#include <QLocale>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

CardRow file_row(const std::string& name, const std::string& size, const std::string& type,
                 int picture) {
    CardRow row;
    row.kind = CardRowKind::File;
    row.caption = name;
    row.size_text = size;
    row.type_text = type;
    row.picture = picture;
    return row;
}

CardRow free_row(const std::string& size) {
    CardRow row;
    row.kind = CardRowKind::FreeSpace;
    row.caption = FREE_SPACE_CAPTION;
    row.size_text = size;
    row.picture = image_list::NOTE_PAD;
    return row;
}

// Rows in the order the contents view adds them (by cluster).
std::vector<CardRow> sample_rows() {
    return {free_row("640 KB"),
            file_row("readme", "1 KB", " 文件", 6),
            file_row("GAME.NDS", "10.0 MB", "nds 文件", 0),
            free_row("10.0 MB"),
            file_row("中文.txt", "2 KB", "txt 文件", 6),
            file_row("alpha.sav", "512 KB", "sav 文件", 1),
            file_row("Alpha.sav", "512 KB", "sav 文件", 1),
            file_row("1st.nds", "3.5 MB", "nds 文件", 0)};
}

int position(const QStringList& list, const char* text) {
    return int(list.indexOf(QString::fromUtf8(text)));
}

}  // namespace

TEST(CardList, RowsStandInCaptionOrderOfTheLocale) {
    CardList list;
    list.setRows(sample_rows());
    const QStringList names = list.columnTexts(0);
    ASSERT_EQ(names.size(), 8);
    // Free-space rows stand together ahead of every file that begins with a letter, a
    // digit or a Chinese character.
    EXPECT_EQ(names[0], FREE_SPACE_CAPTION);
    EXPECT_EQ(names[1], FREE_SPACE_CAPTION);
    // Case-sensitive: both spellings stay, next to each other.
    EXPECT_EQ(std::abs(position(names, "alpha.sav") - position(names, "Alpha.sav")), 1);
    EXPECT_LT(position(names, "alpha.sav"), position(names, "GAME.NDS"));
    EXPECT_LT(position(names, "GAME.NDS"), position(names, "readme"));
    if (QLocale::system().language() == QLocale::C) {
        // No locale configured: the plain linguistic order (lower case first).
        EXPECT_EQ(names, (QStringList{FREE_SPACE_CAPTION, FREE_SPACE_CAPTION, "1st.nds", "alpha.sav",
                                      "Alpha.sav", "GAME.NDS", "readme", "中文.txt"}));
    }
}

TEST(CardList, MessageRowsShowTheFormatHintFirst) {
    CardRow a, b;
    a.kind = b.kind = CardRowKind::Message;
    a.caption = NOT_A_VOLUME_ROW;
    b.caption = FORMAT_HINT_ROW;
    CardList list;
    list.setRows({a, b});
    EXPECT_EQ(list.columnTexts(0),
              (QStringList{QString::fromUtf8(FORMAT_HINT_ROW), QString::fromUtf8(NOT_A_VOLUME_ROW)}));
    EXPECT_EQ(list.columnTexts(1), (QStringList{"", ""}));
}

TEST(CardList, RowsCarryTheirPicturesAndTexts) {
    CardList list;
    list.setRows(sample_rows());
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        int expected = 6;
        if (item->text(0) == FREE_SPACE_CAPTION) expected = image_list::NOTE_PAD;
        else if (item->text(2) == "nds 文件") expected = image_list::CONSOLE;
        else if (item->text(2) == "sav 文件") expected = image_list::DISKETTE;
        EXPECT_EQ(item->icon(0).cacheKey(), image_list::icon(expected).cacheKey()) << i;
        EXPECT_TRUE(item->textAlignment(1) & Qt::AlignRight);
        EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
    }
    EXPECT_EQ(list.iconSize(), QSize(17, 17));
    // The name column grows with its content but never below 220 pixels.
    EXPECT_GE(list.header()->sectionSize(0), 220);
    EXPECT_GE(list.header()->sectionSize(1), 56);
    EXPECT_EQ(list.header()->sectionSize(2), 64);
}

TEST(CardList, HeaderClicksSortByColumnTextAndToggle) {
    CardList list;
    list.setRows(sample_rows());

    list.header()->sectionClicked(1);   // "大小" ascending, as text
    QStringList sizes = list.columnTexts(1);
    EXPECT_LT(sizes.indexOf("10.0 MB"), sizes.indexOf("640 KB"));
    EXPECT_EQ(sizes, (QStringList{"1 KB", "10.0 MB", "10.0 MB", "2 KB", "3.5 MB", "512 KB",
                                  "512 KB", "640 KB"}));
    EXPECT_EQ(list.header()->sortIndicatorSection(), 1);
    EXPECT_EQ(list.header()->sortIndicatorOrder(), Qt::AscendingOrder);

    list.header()->sectionClicked(1);   // second click: descending
    sizes = list.columnTexts(1);
    EXPECT_EQ(sizes.first(), "640 KB");
    EXPECT_EQ(sizes.last(), "1 KB");
    list.header()->sectionClicked(1);   // third: ascending again
    EXPECT_EQ(list.columnTexts(1).first(), "1 KB");

    list.header()->sectionClicked(2);   // "类型": empty texts last ascending
    QStringList types = list.columnTexts(2);
    EXPECT_EQ(types.first(), " 文件");
    EXPECT_EQ(types[6], "");
    EXPECT_EQ(types[7], "");
    list.header()->sectionClicked(2);   // and first descending
    types = list.columnTexts(2);
    EXPECT_EQ(types[0], "");
    EXPECT_EQ(types[1], "");
    EXPECT_EQ(types[2], "txt 文件");

    list.header()->sectionClicked(0);   // names byte order, ASCII case folded
    EXPECT_EQ(list.columnTexts(0),
              (QStringList{"1st.nds", FREE_SPACE_CAPTION, FREE_SPACE_CAPTION, "alpha.sav",
                           "Alpha.sav", "GAME.NDS", "readme", "中文.txt"}));

    // New rows: caption order again, and the next click starts ascending.
    list.setRows(sample_rows());
    EXPECT_EQ(list.columnTexts(0)[0], FREE_SPACE_CAPTION);
    EXPECT_FALSE(list.header()->isSortIndicatorShown());
    list.header()->sectionClicked(1);
    EXPECT_EQ(list.columnTexts(1).first(), "1 KB");
}

TEST(CardList, SelectedCaptionsKeepTheCardsNameBytes) {
    const std::string gbk_name = "\xB2\xE2\xCA\xD4.nds";   // not UTF-8
    CardList list;
    list.setRows({file_row(gbk_name, "1 KB", "nds 文件", 0), file_row("b.sav", "1 KB", "sav 文件", 1),
                  free_row("1.0 MB")});
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        list.topLevelItem(i)->setSelected(list.topLevelItem(i)->text(0) != "b.sav");
    const std::vector<std::string> names = list.selectedCaptions();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), gbk_name), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), std::string(FREE_SPACE_CAPTION)), names.end());
}

// --- The main window's card list on a card -------------------------------------------

namespace {

void put_card_file(const std::string& name, uint32_t bytes) {
    const std::vector<uint8_t> data = testcards::pattern_bytes(bytes, bytes);
    cAFFile file;
    ASSERT_TRUE(file.open(name, "w+", bytes)) << name;
    ASSERT_EQ(file.write(data.data(), bytes), bytes) << name;
    file.close();
}

}  // namespace

TEST(CardListOnACard, ShowsFilesAndFreeRunsButNotTheSideFiles) {
    drive_layer::drive_table().clear();
    testcards::blank_card(1, 64u << 20);
    ASSERT_TRUE(volume().mount(1));
    const uint32_t cluster = 131072;
    put_card_file("GAME.NDS", 4 * cluster);         // clusters 0..3
    put_card_file("gap.bin", 6 * cluster);          // 4..9, deleted below
    put_card_file("save_info.dat", 100);            // 10, never shown
    put_card_file("readme", 100);                   // 11
    put_card_file("中文.sav", 2 * cluster);          // 12..13
    ASSERT_TRUE(delete_file("gap.bin"));
    const uint32_t rest = volume().cluster_count() - 14;

    TForm1 form;
    form.Timer1->stop();
    form.ShowCardContents(1);
    CardList* list = form.RzListView1;
    const QStringList names = list->columnTexts(0);
    ASSERT_EQ(names.size(), 5) << names.join(",").toStdString();
    EXPECT_EQ(names[0], FREE_SPACE_CAPTION);
    EXPECT_EQ(names[1], FREE_SPACE_CAPTION);
    EXPECT_FALSE(names.contains("save_info.dat"));
    const QStringList free_sizes = {list->columnTexts(1)[0], list->columnTexts(1)[1]};
    EXPECT_TRUE(free_sizes.contains("768 KB"));
    EXPECT_TRUE(free_sizes.contains(QString::fromStdString(SizeText(rest * cluster))));

    auto row = [&](const char* name) {
        const int i = int(names.indexOf(QString::fromUtf8(name)));
        EXPECT_GE(i, 0) << name;
        return list->topLevelItem(std::max(i, 0));
    };
    EXPECT_EQ(row("GAME.NDS")->text(1), "512 KB");
    EXPECT_EQ(row("GAME.NDS")->text(2), "nds 文件");
    EXPECT_EQ(row("GAME.NDS")->icon(0).cacheKey(), image_list::icon(image_list::CONSOLE).cacheKey());
    EXPECT_EQ(row("readme")->text(2), " 文件");
    EXPECT_EQ(row("readme")->icon(0).cacheKey(), image_list::icon(image_list::SHEET).cacheKey());
    EXPECT_EQ(row("中文.sav")->text(1), "256 KB");
    EXPECT_EQ(row("中文.sav")->icon(0).cacheKey(), image_list::icon(image_list::DISKETTE).cacheKey());
    EXPECT_LT(names.indexOf("GAME.NDS"), names.indexOf("readme"));

    // A card taken out shows the two message rows at the next showing.
    drive_layer::drive_table().detach(1);
    form.ShowCardContents(1);
    EXPECT_EQ(list->columnTexts(0),
              (QStringList{QString::fromUtf8(FORMAT_HINT_ROW), QString::fromUtf8(NOT_A_VOLUME_ROW)}));
    drive_layer::drive_table().clear();
}
