#include "app/message_box_qt.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

namespace {

QMessageBox::Icon box_icon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

MsgResult run_box(const Message& message) {
    std::unique_ptr<QMessageBox> box = make_message_box(message, message_owner());
    return message_result(box->exec());
}

}  // namespace

std::unique_ptr<QMessageBox> make_message_box(const Message& message, QWidget* owner) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(QString::fromStdString(message.title));
    box->setText(QString::fromStdString(message.text));
    box->setIcon(box_icon(message.icon));
    box->setTextFormat(Qt::PlainText);
    if (message.buttons == MsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

MsgResult message_result(int button) {
    switch (button) {
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: return MsgResult::Ok;
    }
}

QWidget* message_owner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

MsgResult MessageBoxSink::show(const Message& message) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return message.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    if (QThread::currentThread() == app->thread()) return run_box(message);
    // Widgets belong to the GUI thread: hand the box over and wait for the answer.
    MsgResult result = MsgResult::Ok;
    QMetaObject::invokeMethod(app, [&] { result = run_box(message); },
                              Qt::BlockingQueuedConnection);
    return result;
}
