#include "common/message_seam.h"

#include "common/ui_text.h"

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

MsgResult show_message(const Message& message) {
    // A box whose whole text is a text of the translation file shows in the user's
    // language even where its caller did not look it up (texts already looked up, or
    // made of several parts, are not found and pass unchanged).
    if (ui_language() == UiLanguage::Chinese) return current_sink->show(message);
    Message shown = message;
    shown.text = ui_text_any_context(message.text.c_str());
    return current_sink->show(shown);
}

void show_info(const std::string& text, const std::string& title) {
    show_message({text, title, MsgIcon::Information, MsgButtons::Ok});
}

void show_error(const std::string& text, const std::string& title) {
    show_message({text, title, MsgIcon::Error, MsgButtons::Ok});
}

bool ask_yes_no(const std::string& text, const std::string& title) {
    return show_message({text, title, MsgIcon::Question, MsgButtons::YesNo}) == MsgResult::Yes;
}
