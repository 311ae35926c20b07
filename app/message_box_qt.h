// The message seam's window face: every message and question of the program shows as a
// message box with its text, title and icon; questions offer Yes and No with No as the
// default button. The box belongs to the window the user is working in (the modal one
// when one is open). A message from another thread (the copy worker) is shown by the
// GUI thread while the caller waits for the answer.
#pragma once

#include "common/message_seam.h"

#include <QMessageBox>

#include <memory>

class QWidget;

class MessageBoxSink : public MessageSink {
public:
    MsgResult show(const Message& message) override;
};

// The box for `message`, not yet shown (the sink runs it modally).
std::unique_ptr<QMessageBox> make_message_box(const Message& message, QWidget* owner);
// The seam's answer for a button of the box.
MsgResult message_result(int button);
// The window a box should belong to right now: the modal window, else the active one.
QWidget* message_owner();
