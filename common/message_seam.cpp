#include "common/message_seam.h"

#include <cstdio>

namespace {

class PrintingSink : public MessageSink {
public:
    MsgResult show(const Message& m) override {
        std::printf("[%s] %s\n", m.title.c_str(), m.text.c_str());
        std::fflush(stdout);
        return m.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
};

PrintingSink printing_sink;
MessageSink* current_sink = &printing_sink;

}  // namespace

MessageSink* set_message_sink(MessageSink* sink) {
    MessageSink* previous = current_sink;
    current_sink = sink ? sink : &printing_sink;
    return previous;
}

MsgResult show_message(const Message& message) { return current_sink->show(message); }

void show_info(const std::string& text, const std::string& title) {
    show_message({text, title, MsgIcon::Information, MsgButtons::Ok});
}

void show_error(const std::string& text, const std::string& title) {
    show_message({text, title, MsgIcon::Error, MsgButtons::Ok});
}

bool ask_yes_no(const std::string& text, const std::string& title) {
    return show_message({text, title, MsgIcon::Question, MsgButtons::YesNo}) == MsgResult::Yes;
}
