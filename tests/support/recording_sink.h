// A message sink for tests: records every message box and question, and answers
// questions with a scripted reply. Installed for its lifetime.
#pragma once

#include "common/message_seam.h"

#include <deque>
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

    // Questions take their answers from `answers` in order, then the constructor's.
    MsgResult show(const Message& message) override {
        messages.push_back(message);
        if (message.buttons != MsgButtons::YesNo) return MsgResult::Ok;
        if (answers.empty()) return answer_;
        const MsgResult answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<Message> messages;
    std::deque<MsgResult> answers;

private:
    MsgResult answer_;
    MessageSink* previous_ = nullptr;
};

}  // namespace testcards
