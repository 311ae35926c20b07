// Message sinks for tests: they record every message box and question the program
// shows and answer the questions. Each is installed for its lifetime, the previous
// sink restored afterwards.
#pragma once

#include "app/message_seam.h"

#include <deque>
#include <vector>

// Answers questions from a script (No when the script is empty, like the default
// button).
class RecordingSink : public MessageSink {
public:
    RecordingSink();
    ~RecordingSink() override;
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    MsgResult show(const Message& message) override;

    std::vector<Message> shown;
    std::deque<MsgResult> answers;   // taken in order by YesNo questions

private:
    MessageSink* previous_;
};

namespace testcards {

// Answers every question with one fixed reply.
class RecordingSink : public MessageSink {
public:
    explicit RecordingSink(MsgResult answer = MsgResult::No) : answer_(answer) {
        previous_ = set_message_sink(this);
    }
    ~RecordingSink() override { set_message_sink(previous_); }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    MsgResult show(const Message& message) override {
        messages.push_back(message);
        return message.buttons == MsgButtons::YesNo ? answer_ : MsgResult::Ok;
    }

    std::vector<Message> messages;

private:
    MsgResult answer_;
    MessageSink* previous_ = nullptr;
};

}  // namespace testcards
