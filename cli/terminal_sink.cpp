#include "cli/terminal_sink.h"

#include <cctype>

bool answer_is_yes(const std::string& answer) {
    size_t b = 0, e = answer.size();
    while (b < e && std::isspace(static_cast<unsigned char>(answer[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(answer[e - 1]))) --e;
    std::string word = answer.substr(b, e - b);
    for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
    return word == "y" || word == "yes" || word == "是";
}

MsgResult TerminalSink::show(const Message& message) {
    const std::string title = message.title.empty() ? "" : "[" + message.title + "] ";
    if (message.buttons == MsgButtons::Ok) {
        std::fprintf(out_, "%s%s\n", title.c_str(), message.text.c_str());
        std::fflush(out_);
        return MsgResult::Ok;
    }
    std::fprintf(out_, "%s%s [y/N] ", title.c_str(), message.text.c_str());
    if (yes_) {
        std::fputs("y (--yes)\n", out_);
        std::fflush(out_);
        return MsgResult::Yes;
    }
    if (!interactive_) {
        std::fputs("n (no terminal; --yes answers yes)\n", out_);
        std::fflush(out_);
        return MsgResult::No;
    }
    std::fflush(out_);
    std::string line;
    for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) line += char(c);
    return answer_is_yes(line) ? MsgResult::Yes : MsgResult::No;
}

ScopedTerminalSink::ScopedTerminalSink(bool yes, bool interactive)
    : sink_(yes, interactive), previous_(set_message_sink(&sink_)) {}

ScopedTerminalSink::~ScopedTerminalSink() { set_message_sink(previous_); }
