#include "platform/host_console.h"

#include <unistd.h>

#include <cstdlib>
#include <cwchar>

namespace host {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool stdin_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

size_t display_width(const std::string& text) {
    std::mbstate_t state{};
    const char* src = text.c_str();
    const size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (n == size_t(-1)) return text.size();
    std::wstring wide(n, L'\0');
    state = std::mbstate_t{};
    src = text.c_str();
    std::mbsrtowcs(wide.data(), &src, n, &state);
    const int width = ::wcswidth(wide.c_str(), wide.size());
    return width < 0 ? text.size() : size_t(width);
}

TextCapture::TextCapture() { open(); }

TextCapture::~TextCapture() {
    close();
    std::free(text_);
}

void TextCapture::open() { stream_ = ::open_memstream(&text_, &length_); }

void TextCapture::close() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
}

std::string TextCapture::take() {
    close();
    std::string all = text_ ? std::string(text_, length_) : std::string();
    std::free(text_);
    text_ = nullptr;
    length_ = 0;
    open();
    return all;
}

}  // namespace host
