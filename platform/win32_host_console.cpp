#include "platform/host_console.h"

#include "platform/win32_text.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace host {

namespace {

// Code points a console shows two columns wide: Hangul Jamo, the CJK blocks, Hangul
// syllables, compatibility ideographs, vertical and full-width forms, and the
// supplementary ideograph planes.
bool is_wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool is_combining(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F);
}

bool is_terminal(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(win32::narrow(wide[i]));
    LocalFree(wide);
    return out;
}

bool stdin_is_terminal() { return is_terminal(STD_INPUT_HANDLE); }

bool stderr_is_terminal() { return is_terminal(STD_ERROR_HANDLE); }

size_t display_width(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return text.size();  // not UTF-8: count bytes
        char32_t c = n == 1 ? b : char32_t(b & (0x7F >> n));
        for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        width += is_combining(c) ? 0 : is_wide(c) ? 2 : 1;
        i += n;
    }
    return width;
}

TextCapture::TextCapture() { open(); }

TextCapture::~TextCapture() { close(); }

void TextCapture::open() {
    // A temporary file that the C runtime deletes when it is closed ("D") and keeps in
    // memory while it can ("T").
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"obt", 0, name)) return;
    stream_ = _wfopen(name, L"w+bTD");
}

void TextCapture::close() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
}

std::string TextCapture::take() {
    std::string all;
    if (stream_) {
        std::fflush(stream_);
        std::rewind(stream_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stream_)) > 0) all.append(buffer, n);
    }
    close();
    open();
    return all;
}

}  // namespace host
