// The message seam: every message box and question the program shows goes through
// here. The GUI installs a sink that shows real message boxes; obtool installs one
// that prints and asks on the terminal; tests install one that records and answers.
#pragma once

#include <string>

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo };          // YesNo questions default to No
enum class MsgResult { Ok, Yes, No };

struct Message {
    std::string text;
    std::string title;     // "Orbelle Manager", or empty for the copy boxes
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MsgResult show(const Message& message) = 0;
};

// Installs a sink (nullptr restores the default, which prints the message on standard
// output and answers Ok, or No to a question). Returns the previous sink.
MessageSink* set_message_sink(MessageSink* sink);
// Shows a message through the sink; a text that the translation file holds whole is
// shown in the user's language.
MsgResult show_message(const Message& message);

// Shorthands with the program's title.
constexpr const char* APP_TITLE = "Orbelle Manager";
void show_info(const std::string& text, const std::string& title = APP_TITLE);
void show_error(const std::string& text, const std::string& title = APP_TITLE);
bool ask_yes_no(const std::string& text, const std::string& title = APP_TITLE);
