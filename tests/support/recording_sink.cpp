#include "support/recording_sink.h"

RecordingSink::RecordingSink() : previous_(set_message_sink(this)) {}

RecordingSink::~RecordingSink() { set_message_sink(previous_); }

MsgResult RecordingSink::show(const Message& message) {
    shown.push_back(message);
    if (message.buttons != MsgButtons::YesNo) return MsgResult::Ok;
    if (answers.empty()) return MsgResult::No;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
}
