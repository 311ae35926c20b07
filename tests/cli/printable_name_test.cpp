// Escaping of card names before they reach a terminal.
#include "common/printable_name.h"
#include "platform/host_folder.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintableName, PlainAndUtf8NamesStayAsTheyAre) {
    EXPECT_EQ(printable_name("game (2).nds"), "game (2).nds");
    EXPECT_EQ(printable_name("\xe4\xb8\xad\xe6\x96\x87.sav"), "\xe4\xb8\xad\xe6\x96\x87.sav");
    EXPECT_EQ(printable_name("\xf0\x9f\x8e\xae"), "\xf0\x9f\x8e\xae");  // four-byte form
}

TEST(PrintableName, BytesThatSteerATerminalAreEscaped) {
    EXPECT_EQ(printable_name("a\tb\nc\rd"), "a\\tb\\nc\\rd");
    EXPECT_EQ(printable_name("\x1b[2J\x07\x7f"), "\\x1B[2J\\x07\\x7F");
    EXPECT_EQ(printable_name("back\\slash"), "back\\\\slash");  // an escape is never name bytes
    EXPECT_EQ(printable_name("\xc2\x9b" "1m"), "\\xC2\\x9B1m");      // C1 CSI in UTF-8
}

TEST(PrintableName, BytesThatAreNotUtf8AreEscapedOneByOne) {
    EXPECT_EQ(printable_name("\x9b" "1m"), "\\x9B1m");                  // a lone 8-bit CSI
    EXPECT_EQ(printable_name("\xe4\xb8"), "\\xE4\\xB8");                // cut short
    EXPECT_EQ(printable_name("\xc0\xaf"), "\\xC0\\xAF");                // overlong "/"
    EXPECT_EQ(printable_name("\xed\xa0\x80"), "\\xED\\xA0\\x80");       // a surrogate
    EXPECT_EQ(printable_name("\xb0\xa1.nds"), "\\xB0\\xA1.nds");        // a double-byte code page
}

}  // namespace

TEST(PrintableName, HostPathsKeepTheHostsOwnSeparators) {
    EXPECT_EQ(printable_host_path("dir/游戏\n.nds"), "dir/游戏\\n.nds");
    if (std::string(host::path_separators()).find('\\') != std::string::npos)
        EXPECT_EQ(printable_host_path("C:\\存档\\a\x1B.sav"), "C:\\存档\\a\\x1B.sav");  // Windows
    else
        EXPECT_EQ(printable_host_path("C:\\存档\\a\x1B.sav"), "C:\\\\存档\\\\a\\x1B.sav");  // a name byte here
}
