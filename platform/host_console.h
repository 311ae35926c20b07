// The terminal side of obtool: arguments, the console, column widths, and a catch for
// text that a routine prints into a FILE*. A POSIX and a Windows side, as host_file.h.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace host {

// The program's arguments as UTF-8 (Windows hands programs its ANSI code page in
// argv; the console and the paths here are UTF-8). Also sets the console up for
// UTF-8 output where it needs that.
std::vector<std::string> utf8_arguments(int argc, char** argv);

bool stdin_is_terminal();
bool stderr_is_terminal();

// Columns a terminal gives `text` (UTF-8): a Chinese character takes two.
size_t display_width(const std::string& text);

// A FILE* whose output is kept in memory until take() hands it over.
class TextCapture {
public:
    TextCapture();
    ~TextCapture();
    TextCapture(const TextCapture&) = delete;
    TextCapture& operator=(const TextCapture&) = delete;
    std::FILE* stream() const { return stream_; }  // null when none could be made
    // What was written since the last take(), and the catch empties.
    std::string take();

private:
    void open();
    void close();
    std::FILE* stream_ = nullptr;
    char* text_ = nullptr;
    size_t length_ = 0;
};

}  // namespace host
