// Every text of the window, its dialogs and boxes has its English in
// translations/orbelle_en.ts. The texts are collected from the sources afresh (as
// scripts/lupdate.sh does for the real file) into a copy, so a text added to the code
// and not yet to the file fails here, by name. (Texts shown without a mark for lupdate
// are caught in the windows by translations_qt_test.cpp.)
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string between(const std::string& text, const std::string& open, const std::string& close,
                    size_t from = 0) {
    const size_t start = text.find(open, from);
    if (start == std::string::npos) return {};
    const size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? std::string() : text.substr(start + open.size(), end - start - open.size());
}

struct Untranslated {
    std::string context, source;
};

// Messages whose translation is missing, empty or unfinished.
std::vector<Untranslated> untranslated(const std::string& ts) {
    std::vector<Untranslated> found;
    size_t context_at = 0;
    while ((context_at = ts.find("<context>", context_at)) != std::string::npos) {
        const size_t context_end = ts.find("</context>", context_at);
        const std::string context = ts.substr(context_at, context_end - context_at);
        const std::string name = between(context, "<name>", "</name>");
        size_t message_at = 0;
        while ((message_at = context.find("<message", message_at)) != std::string::npos) {
            const size_t message_end = context.find("</message>", message_at);
            const std::string message = context.substr(message_at, message_end - message_at);
            const std::string english = between(message, ">", "</translation>", message.find("<translation"));
            const bool vanished = message.find("type=\"vanished\"") != std::string::npos ||
                                  message.find("type=\"obsolete\"") != std::string::npos;
            if (!vanished && (message.find("<translation") == std::string::npos ||
                              message.find("type=\"unfinished\"") != std::string::npos || english.empty()))
                found.push_back({name, between(message, "<source>", "</source>")});
            message_at = message_end;
        }
        context_at = context_end;
    }
    return found;
}

TEST(Translations, EveryTextOfTheProgramHasItsEnglish) {
    testcards::TempDir dir;
    const std::string copy = dir.file("orbelle_en.ts");
    const std::string real = std::string(OB_SOURCE_DIR) + "/translations/orbelle_en.ts";
    {
        std::ofstream out(copy, std::ios::binary);
        out << read_text(real);
    }
    const std::string command = "'" + std::string(OB_SOURCE_DIR) + "/scripts/lupdate.sh' '" + copy + "' 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "lupdate is not installed (qt6-l10n-tools)";
    ASSERT_EQ(status, 0) << command;

    const std::string collected = read_text(copy);
    ASSERT_NE(collected.find("<source>格式化SD卡</source>"), std::string::npos) << "lupdate found no texts";
    for (const Untranslated& text : untranslated(collected))
        ADD_FAILURE() << "no English translation for \"" << text.source << "\" (context " << text.context
                      << "): add this line before </TS> in translations/orbelle_en.ts:\n"
                      << "<context><name>" << text.context << "</name><message><source>" << text.source
                      << "</source><translation>ENGLISH</translation></message></context>";
}

TEST(Translations, TheTableKeepsOneLineAdditionsAndVanishedTextsButNotUnfinishedOnes) {
    testcards::TempDir dir;
    {
        std::ofstream ts(dir.file("t.ts"), std::ios::binary);
        ts << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TS version=\"2.1\" language=\"en\">\n"
              "<context>\n    <name>app</name>\n    <message>\n        <source>刷新</source>\n"
              "        <translation>Refresh</translation>\n    </message>\n    <message>\n"
              "        <source>新的</source>\n        <translation type=\"unfinished\"></translation>\n"
              "    </message>\n    <message>\n        <source>旧的 &amp; \"引号\"</source>\n"
              "        <translation type=\"vanished\">Old &amp; \"quoted\"\nline</translation>\n    </message>\n"
              "</context>\n"
              "<context><name>maintenance</name><message><source>整理SD卡</source>"
              "<translation>Tidy SD card</translation></message></context>\n</TS>\n";
    }
    const std::string command = "cmake -DTS='" + dir.file("t.ts") + "' -DOUT='" + dir.file("t.cpp") + "' -P '" +
                                OB_SOURCE_DIR + "/cmake/ts_to_table.cmake'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string table = read_text(dir.file("t.cpp"));
    EXPECT_NE(table.find(R"({"app", "刷新", "Refresh"})"), std::string::npos) << table;
    EXPECT_NE(table.find(R"({"app", "新的", ""})"), std::string::npos) << table;
    EXPECT_NE(table.find(R"({"app", "旧的 & \"引号\"", "Old & \"quoted\"\nline"})"), std::string::npos) << table;
    EXPECT_NE(table.find(R"({"maintenance", "整理SD卡", "Tidy SD card"})"), std::string::npos) << table;
    EXPECT_NE(table.find("UI_TEXT_TABLE_SIZE = 4;"), std::string::npos) << table;
}

}  // namespace
