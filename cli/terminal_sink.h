// obtool's message sink: messages go to the terminal, questions are asked there.
// With --yes every question is answered Yes; without a terminal on standard input and
// without --yes the answer is No, so a script never overwrites by accident.
#pragma once

#include "app/message_seam.h"

#include <cstdio>
#include <string>

class TerminalSink : public MessageSink {
public:
    TerminalSink(bool yes, bool interactive, std::FILE* in = stdin, std::FILE* out = stderr)
        : yes_(yes), interactive_(interactive), in_(in), out_(out) {}
    MsgResult show(const Message& message) override;

private:
    bool yes_;
    bool interactive_;
    std::FILE* in_;
    std::FILE* out_;
};

// Installs a TerminalSink for one command and puts the previous sink back afterwards.
class ScopedTerminalSink {
public:
    ScopedTerminalSink(bool yes, bool interactive);
    ~ScopedTerminalSink();
    ScopedTerminalSink(const ScopedTerminalSink&) = delete;
    ScopedTerminalSink& operator=(const ScopedTerminalSink&) = delete;

private:
    TerminalSink sink_;
    MessageSink* previous_;
};

// Whether a typed answer means Yes: y, yes (any case) or 是.
bool answer_is_yes(const std::string& answer);
