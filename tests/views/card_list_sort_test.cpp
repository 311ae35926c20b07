#include "views/card_list_sort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> sorted(const std::vector<std::string>& texts, bool ascending) {
    std::vector<std::string> out;
    for (size_t i : header_sort_order(texts, ascending)) out.push_back(texts[i]);
    return out;
}

}  // namespace

TEST(HeaderSort, ComparesBytesWithAsciiLettersFolded) {
    EXPECT_TRUE(header_text_less("abc", "ABD"));
    EXPECT_TRUE(header_text_less("ABC", "abd"));
    EXPECT_FALSE(header_text_less("ABC", "abc"));
    EXPECT_FALSE(header_text_less("abc", "ABC"));
    EXPECT_TRUE(header_text_less("ab", "abc"));           // a prefix comes first
    // Folding goes to lower case, so '_' (0x5F, between 'Z' and 'a') comes before
    // every letter of either case.
    EXPECT_TRUE(header_text_less("_", "Z"));
    EXPECT_TRUE(header_text_less("_", "a"));
    EXPECT_TRUE(header_text_less("[", "a"));
    EXPECT_FALSE(header_text_less("z", "_"));
    // Bytes compare unsigned: UTF-8 text after every ASCII text.
    EXPECT_TRUE(header_text_less("zzz", "\xE4\xB8\xAD"));
}

TEST(HeaderSort, SizeColumnSortsAsText) {
    EXPECT_EQ(sorted({"640 KB", "10.0 MB", "2 KB"}, true),
              (std::vector<std::string>{"10.0 MB", "2 KB", "640 KB"}));
}

TEST(HeaderSort, EmptyTextsLastAscendingAndFirstDescending) {
    const std::vector<std::string> types = {"", "nds 文件", "", " 文件", "sav 文件"};
    EXPECT_EQ(sorted(types, true),
              (std::vector<std::string>{" 文件", "nds 文件", "sav 文件", "", ""}));
    EXPECT_EQ(sorted(types, false),
              (std::vector<std::string>{"", "", "sav 文件", "nds 文件", " 文件"}));
    EXPECT_FALSE(header_text_less("", ""));
    EXPECT_TRUE(header_text_less("x", ""));
    EXPECT_FALSE(header_text_less("", "x"));
}

TEST(HeaderSort, EqualTextsKeepTheirOrder) {
    const std::vector<std::string> texts = {"b", "A", "a", "B"};
    EXPECT_EQ(header_sort_order(texts, true), (std::vector<size_t>{1, 2, 0, 3}));
    EXPECT_EQ(header_sort_order(texts, false), (std::vector<size_t>{0, 3, 1, 2}));
}

TEST(HeaderSortState, TogglesPerColumnAndRestartsOnAnother) {
    HeaderSortState state;
    EXPECT_EQ(state.column(), -1);
    EXPECT_TRUE(state.click(1));    // first click: ascending
    EXPECT_FALSE(state.click(1));   // second: descending
    EXPECT_TRUE(state.click(1));    // third: ascending again
    EXPECT_FALSE(state.click(1));
    EXPECT_TRUE(state.click(2));    // another column starts ascending
    EXPECT_EQ(state.column(), 2);
    EXPECT_TRUE(state.click(0));
    state.reset();
    EXPECT_EQ(state.column(), -1);
    EXPECT_TRUE(state.click(0));    // after new rows, the same column starts ascending
}
