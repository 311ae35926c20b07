// A message sink for tests: records every message box and question, and answers
// questions with a scripted reply. Installed for its lifetime.
#pragma once

#include "app/message_seam.h"

#include <vector>

namespace testcards {

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
