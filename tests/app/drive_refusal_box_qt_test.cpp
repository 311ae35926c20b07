// The boxes of a refused drive open as the window shows them: the unmount question
// with No as the default, and the refusals as error boxes that say what to do.
#include "app/message_box_qt.h"
#include "common/ui_text.h"
#include "device/drive_messages.h"
#include "device/drive_refusal.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace drive_layer;

namespace {

// Renders the box; with OB_SCREENSHOT_DIR set, into NAME.png there for a person to look at.
void render(QMessageBox& box, const char* name) {
    box.show();
    QCoreApplication::processEvents();
    const QPixmap picture = box.grab();
    box.hide();
    EXPECT_FALSE(picture.isNull());
    if (const char* dir = std::getenv("OB_SCREENSHOT_DIR"))
        EXPECT_TRUE(picture.save(QString(dir) + "/" + name + ".png", "PNG"));
}

}  // namespace

TEST(DriveRefusalBoxes, UnmountQuestionDefaultsToNo) {
    const Message question{fill_message(drive_msg::ASK_UNMOUNT, "/dev/sdb", join_mount_points({"/media/u/CARD", "/media/u/DATA"})),
                           drive_msg::TITLE, MsgIcon::Question, MsgButtons::YesNo};
    auto box = make_message_box(question, nullptr);
    EXPECT_TRUE(box->text().contains("/media/u/CARD、/media/u/DATA"));
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));
    render(*box, "unmount-question");
}

TEST(DriveRefusalBoxes, RefusalsAreErrorBoxesNamingTheDevice) {
    for (OpenProblem p : {OpenProblem::Mounted, OpenProblem::SystemDisk, OpenProblem::Busy, OpenProblem::NotAuthorized,
                          OpenProblem::Dismissed, OpenProblem::NoAgent, OpenProblem::NoUdisks, OpenProblem::Failed}) {
        const OpenRefusal r{p, "/dev/sdb", {"/media/u/CARD"}, "why"};
        const std::string text = refusal_text(r);
        EXPECT_NE(text.find("/dev/sdb"), std::string::npos) << text;
        EXPECT_EQ(text.find("%s"), std::string::npos) << text;
        if (p == OpenProblem::NoAgent) {
            auto box = make_message_box({text, drive_msg::TITLE, MsgIcon::Error, MsgButtons::Ok}, nullptr);
            EXPECT_EQ(box->icon(), QMessageBox::Critical);
            render(*box, "no-agent");
        }
    }
}

TEST(DriveRefusalBoxes, EnglishWindowsGetEnglishRefusals) {
    set_ui_language(UiLanguage::English);
    const OpenRefusal r{OpenProblem::Mounted, "/dev/sdb", {"/media/u/CARD", "/media/u/DATA"}, ""};
    const std::string text = refusal_text(r);
    const std::string unmounted = fill_message(drive_msg::UNMOUNTED, "/media/u/CARD");
    set_ui_language(UiLanguage::Chinese);
    EXPECT_EQ(text, "Device /dev/sdb has mounted file systems: /media/u/CARD, /media/u/DATA. To keep them intact, "
                    "nothing is written to this device; unmount them first.");
    EXPECT_EQ(unmounted, "Unmounted /media/u/CARD");
}
