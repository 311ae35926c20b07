// A message sink for tests: it records every message and question the program shows
// and answers questions from a script (No when the script is empty, like the default
// button). Installed for its lifetime, the previous sink restored afterwards.
#pragma once

#include "app/message_seam.h"

#include <deque>
#include <vector>

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
