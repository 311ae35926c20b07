// The check's boxes as the window draws them, for a card whose names carry terminal
// controls and for one laid out other than the formatter's: the text shows escaped, in
// lines, with nothing of a name running into the next line. With OB_PICTURES_DIR set,
// each box is also written there as a PNG for a look by eye.
#include "app/message_box_qt.h"
#include "device/sector_io.h"
#include "maintenance/card_check_command.h"
#include "obfs/obfs.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Draws every box the command shows and answers its questions with No.
class DrawingSink : public MessageSink {
public:
    explicit DrawingSink(const char* file) : file_(file) { previous_ = set_message_sink(this); }
    ~DrawingSink() override { set_message_sink(previous_); }
    MsgResult show(const Message& m) override {
        texts.push_back(m.text);
        auto box = make_message_box(m, nullptr);
        box->show();
        QApplication::processEvents();
        const QPixmap picture = box->grab();
        EXPECT_FALSE(picture.isNull());
        if (const char* dir = std::getenv("OB_PICTURES_DIR")) {
            EXPECT_TRUE(picture.save(QDir(dir).filePath(file_), "PNG"));
        }
        box->hide();
        return MsgResult::No;
    }
    std::vector<std::string> texts;

private:
    const char* file_;
    MessageSink* previous_ = nullptr;
};

class CheckBoxDrawn : public ::testing::Test {
protected:
    void SetUp() override { card = testcards::blank_card(1, 64u << 20); }
    void TearDown() override {
        disk_close();
        drive_layer::drive_table().clear();
    }
    std::shared_ptr<drive_layer::FakeDrive> card;
};

TEST_F(CheckBoxDrawn, NamesWithTerminalControlsShowEscaped) {
    testcards::CardSurgery s(*card);
    s.entry(0, "evil\x1b[2J\nsecond line.nds", 0, 0, 10, true, 0x1234);
    s.entry(1, "evil\x1b[2J\nsecond line.nds", 1, 1, 10);
    DrawingSink sink("check-escaped-names.png");
    EXPECT_EQ(check_card_command(1), CardCheckOutcome::Kept);
    ASSERT_EQ(sink.texts.size(), 1u);
    EXPECT_NE(sink.texts[0].find("evil\\x1B[2J\\nsecond line.nds"), std::string::npos) << sink.texts[0];
    EXPECT_EQ(sink.texts[0].find('\x1b'), std::string::npos);
}

TEST_F(CheckBoxDrawn, ALayoutOtherThanTheFormattersIsAnErrorBox) {
    testcards::CardSurgery(*card).superblock([](Superblock& sb) { sb.data_start += OBFS_CLUSTER_SECTORS; });
    DrawingSink sink("check-layout-departs.png");
    EXPECT_EQ(check_card_command(1), CardCheckOutcome::NoVolume);
    ASSERT_EQ(sink.texts.size(), 1u);
}

}  // namespace
