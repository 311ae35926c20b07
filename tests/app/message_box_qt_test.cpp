// The message seam: boxes with the right icon, buttons and default, answers from the
// GUI thread also for other threads, the recording sink of the tests, and errors
// raised while an event is handled.
#include "app/application_qt.h"
#include "app/message_box_qt.h"
#include "support/recording_sink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

// Presses a button of the next message box that opens: the default one unless told.
void answer_next_box(QMessageBox::StandardButton button = QMessageBox::NoButton,
                     QThread** box_thread = nullptr) {
    // Waits for the box rather than guessing when it comes: a box asked for by another
    // thread may take a while on a busy machine. One that never comes is a failure.
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (clock->elapsed() < 30000) return;
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no message box came";
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (box_thread) *box_thread = box->thread();
        QAbstractButton* press = button == QMessageBox::NoButton
                                     ? static_cast<QAbstractButton*>(box->defaultButton())
                                     : box->button(button);
        ASSERT_NE(press, nullptr);
        press->click();
    });
    timer->start();
}

class ThrowingObject : public QObject {
public:
    bool throw_plain_value = false;
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++handled;
        if (throw_plain_value) throw 42;
        throw std::runtime_error("磁盘读取错误");
    }
};

}  // namespace

TEST(MessageBox, QuestionsOfferYesAndNoWithNoAsDefault) {
    auto box = make_message_box({"mario.nds已经存在，要覆盖吗？", "", MsgIcon::Question, MsgButtons::YesNo},
                                nullptr);
    EXPECT_EQ(box->text(), "mario.nds已经存在，要覆盖吗？");
    EXPECT_EQ(box->windowTitle(), "");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));

    auto warning = make_message_box(
        {"确实要删除这些文件吗？", "Orbelle Manager", MsgIcon::Warning, MsgButtons::YesNo}, nullptr);
    EXPECT_EQ(warning->icon(), QMessageBox::Warning);
    EXPECT_EQ(warning->windowTitle(), "Orbelle Manager");
    EXPECT_EQ(warning->defaultButton(), warning->button(QMessageBox::No));
}

TEST(MessageBox, InformationErrorAndPlainBoxesOfferOk) {
    const std::pair<MsgIcon, QMessageBox::Icon> icons[] = {
        {MsgIcon::Information, QMessageBox::Information},
        {MsgIcon::Error, QMessageBox::Critical},
        {MsgIcon::Warning, QMessageBox::Warning},
        {MsgIcon::None, QMessageBox::NoIcon}};
    for (const auto& [icon, expected] : icons) {
        auto box = make_message_box({"格式化完成", "Orbelle Manager", icon, MsgButtons::Ok}, nullptr);
        EXPECT_EQ(box->icon(), expected);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    }
    // Texts are shown as they are, never as markup.
    auto box = make_message_box({"<b>x</b>", "", MsgIcon::None, MsgButtons::Ok}, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(message_result(QMessageBox::Yes), MsgResult::Yes);
    EXPECT_EQ(message_result(QMessageBox::No), MsgResult::No);
    EXPECT_EQ(message_result(QMessageBox::Ok), MsgResult::Ok);
}

TEST(MessageBox, SinkShowsTheBoxAndReturnsTheAnswer) {
    MessageBoxSink sink;
    MessageSink* previous = set_message_sink(&sink);
    answer_next_box();                               // Enter: the default button
    EXPECT_FALSE(ask_yes_no("确实要删除这些文件吗？"));
    answer_next_box(QMessageBox::Yes);
    EXPECT_TRUE(ask_yes_no("确实要删除这些文件吗？"));
    answer_next_box();
    show_info("更新成功");
    set_message_sink(previous);
}

TEST(MessageBox, AnotherThreadsMessageIsShownByTheGuiThread) {
    MessageBoxSink sink;
    QThread* box_thread = nullptr;
    answer_next_box(QMessageBox::Yes, &box_thread);
    std::atomic<bool> finished{false};
    MsgResult answer = MsgResult::Ok;
    std::thread worker([&] {
        answer = sink.show({"拷贝失败，请检查磁盘的剩余空间", "", MsgIcon::None, MsgButtons::YesNo});
        finished = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(answer, MsgResult::Yes);
    EXPECT_EQ(box_thread, QApplication::instance()->thread());
}

TEST(RecordingSinkTest, RecordsAndAnswersFromItsScript) {
    testcards::RecordingSink sink;
    EXPECT_FALSE(ask_yes_no("q1"));                  // empty script: No, the default
    sink.answers = {MsgResult::Yes, MsgResult::No};
    EXPECT_TRUE(ask_yes_no("q2", ""));
    EXPECT_FALSE(ask_yes_no("q3"));
    show_error("格式化失败");
    ASSERT_EQ(sink.messages.size(), 4u);
    EXPECT_EQ(sink.messages[1].title, "");
    EXPECT_EQ(sink.messages[3].text, "格式化失败");
    EXPECT_EQ(sink.messages[3].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[3].icon, MsgIcon::Error);
}

TEST(EventErrors, AreShownUnderTheProgramTitleAndTheLoopGoesOn) {
    ASSERT_NE(dynamic_cast<OrbelleApplication*>(QApplication::instance()), nullptr);
    testcards::RecordingSink sink;
    ThrowingObject target;
    QEvent first(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&target, &first));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "磁盘读取错误");
    EXPECT_EQ(sink.messages[0].title, "Orbelle Manager");
    EXPECT_EQ(sink.messages[0].icon, MsgIcon::Error);

    // A posted event through the running loop, and something thrown that is no error.
    target.throw_plain_value = true;
    QApplication::postEvent(&target, new QEvent(QEvent::User));
    QApplication::processEvents();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "");
    EXPECT_EQ(target.handled, 2);
}
